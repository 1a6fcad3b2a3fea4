// vorloader-cli: the loader's workflows in a terminal, for benches, production lines and scripts.

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/command/command_line.h"
#include "cli/command/commands.h"
#include "cli/command/permission_hint.h"
#include "cli/output/quiet_output.h"
#include "cli/output/terminal_text.h"
#include "cli/output/terminal_view.h"
#include "cli/signals/interrupt.h"
#include "device/port_problems.h"
#include "device/serial_port.h"

namespace {

std::size_t StderrColumns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
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
    std::fputs(cli::UsageText().c_str(), stdout);
    return 0;
  }
  if (parsed.line.version) {
    std::fputs(cli::VersionText().c_str(), stdout);
    return 0;
  }

  // The link reads the switch on every transfer; set before any port is opened.
  if (parsed.line.verbose) ::setenv("VORLOADER_TRACE", "1", 1);

  // The serial ports are driven by blocking waits on this thread, which Qt supports only on
  // a thread it knows: the application object makes the main thread one. No event loop runs.
  QCoreApplication application(argc, argv);

  // A reader that goes away (a pipe into head) must not end the program mid-workflow: the
  // lines it would have read are dropped instead.
  ::signal(SIGPIPE, SIG_IGN);
  cli::InstallInterruptHandler();

  cli::TerminalSetup setup;
  // The bar redraws its line with an erase sequence, which a dumb terminal does not know.
  const char* term = std::getenv("TERM");
  setup.errShowsTyping = ::isatty(STDERR_FILENO) != 0;
  setup.errIsTerminal = setup.errShowsTyping && !(term != nullptr && std::string(term) == "dumb");
  setup.inIsTerminal = ::isatty(STDIN_FILENO) != 0;
  setup.answers = parsed.line.answers;
  setup.quiet = parsed.line.quiet;
  setup.interrupts = &cli::ProcessInterrupts();
  setup.columns = StderrColumns;
  cli::TerminalView view(setup);

  const auto systemPorts = device::MakeSystemPortOpener();
  cli::ObservingPortOpener opener(*systemPorts);

  int status = cli::RunCommand(parsed.line, view, opener);
  view.EndProgress();
  // Enumeration has said why a port it could not open is missing; the fix is given once.
  const std::string hint = cli::PermissionHint(opener, opener.deniedPorts());
  if (!hint.empty() && !view.Noted(device::PermissionFix())) view.Note(hint);
  // Several sessions say themselves which were stopped and which were cut while programmed.
  if (cli::ProcessInterrupts().stopRequested() && !cli::ProcessInterrupts().several()) {
    if (cli::ProcessInterrupts().stoppedInTransfer())
      view.Note("vorloader-cli: stopped while the device was being programmed; it may need a raw boot");
    status = cli::ProcessInterrupts().exitStatus();
  }
  if (parsed.line.quiet && !cli::SeveralPorts(parsed.line)) {
    for (const std::string& line : cli::QuietResultLines(parsed.line.command, status, view.heldLog()))
      std::fputs((cli::PrintableText(line) + "\n").c_str(), stdout);
    std::fflush(stdout);
  }
  return status;
}
