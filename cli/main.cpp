// vorloader-cli: the loader's workflows in a terminal, for benches, production lines and scripts.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/command/command_line.h"
#include "cli/command/command_result.h"
#include "cli/command/commands.h"
#include "cli/command/help_text.h"
#include "cli/command/permission_hint.h"
#include "cli/command/profile_options.h"
#include "cli/command/record_db_options.h"
#include "cli/output/bar_view.h"
#include "cli/output/terminal_text.h"
#include "cli/signals/interrupt.h"
#include "device/port_problems.h"
#include "device/wire_trace.h"
#include "platform/serial_port.h"
#include "platform/stop_signals.h"
#include "platform/terminal.h"

namespace {

std::size_t StderrColumns() {
  const std::size_t columns = platform::TerminalColumns(platform::StandardStream::kError);
  return columns > 0 ? columns : 80;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const cli::ParseResult parsed = cli::ParseCommandLine(args);
  if (!parsed.ok()) {
    std::fputs((parsed.error + "\n").c_str(), stderr);
    return cli::kExitUsage;
  }
  if (parsed.line.help) {
    std::fputs(cli::HelpText().c_str(), stdout);
    return 0;
  }
  if (parsed.line.version) {
    std::fputs(cli::VersionText().c_str(), stdout);
    return 0;
  }

  // The station profile under the command line, and who runs the loader and what for.
  cli::CommandLine command = parsed.line;
  const cli::ProfileApplied profile = cli::ApplyProfile(command, app::ProcessEnvironment());
  if (!profile.ok()) {
    std::fputs((profile.error + "\n").c_str(), stderr);
    return cli::kExitUsage;
  }
  command.site = profile.site;
  // The record database the command line, the profile or the environment names, chosen before anything runs.
  const cli::RecordDbChoice recordDb = cli::ChooseRecordDb(command, app::ProcessEnvironment());
  if (!recordDb.error.empty()) {
    std::fputs((recordDb.error + "\n").c_str(), stderr);
    return cli::kExitUsage;
  }
  command.recordDb = recordDb.conninfo;
  // The wire trace: -v, or VORLOADER_TRACE=1 read here once; every session's link is given it.
  command.verbose = command.verbose || device::WireTraceFromEnvironment() == device::WireTrace::On;

  // Whatever the serial ports need for the life of the program; no event loop runs.
  const platform::SerialRuntime serialRuntime(argc, argv);

  // A reader that goes away (a pipe into head) must not end the program mid-workflow: the
  // lines it would have read are dropped instead.
  platform::IgnoreBrokenPipe();
  cli::InstallInterruptHandler();

  cli::TerminalSetup setup;
  // The bar redraws its line with an erase sequence, which a dumb terminal does not know.
  setup.errShowsTyping = platform::IsTerminal(platform::StandardStream::kError);
  setup.errIsTerminal = platform::RedrawsLines(platform::StandardStream::kError);
  setup.inIsTerminal = platform::IsTerminal(platform::StandardStream::kInput);
  setup.answers = parsed.line.answers;
  setup.quiet = parsed.line.quiet;
  setup.interrupts = &cli::ProcessInterrupts();
  setup.columns = StderrColumns;
  cli::BarView view(setup);

  const auto systemPorts = platform::MakeSystemPortOpener();
  cli::ObservingPortOpener opener(*systemPorts);

  // Where every session of the command writes its records; delivery to the database starts here.
  cli::RunRecords records(command, app::ProcessEnvironment());
  cli::CommandResult result = cli::RunCommand(command, view, opener, records);
  int& status = result.status;
  view.EndProgress();
  records.End(view);
  // Enumeration has said why a port it could not open is missing; the fix is given once.
  const std::string hint = cli::PermissionHint(opener, opener.deniedPorts());
  if (!hint.empty() && !view.Noted(device::PermissionFix())) view.Note(hint);
  // Several sessions say themselves which were stopped and which were cut while programmed.
  if (cli::ProcessInterrupts().stopRequested() && !cli::ProcessInterrupts().several()) {
    if (cli::ProcessInterrupts().stoppedInTransfer())
      view.Note("vorloader-cli: stopped while the device was being programmed; it may need a raw boot");
    status = cli::ProcessInterrupts().exitStatus();
  }
  if (command.quiet && !cli::SeveralPorts(command)) {
    for (const std::string& line : cli::QuietResultLines(command.command, result))
      std::fputs((cli::PrintableText(line) + "\n").c_str(), stdout);
    std::fflush(stdout);
  }
  return status;
}
