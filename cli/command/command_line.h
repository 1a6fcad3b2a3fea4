#pragma once
// The terminal front end's command line: one command, the option number of --x, how message
// boxes are answered, and the port to start with.

#include <memory>
#include <string>
#include <vector>

#include "cli/output/answers.h"
namespace app {
struct SiteControl;
}

namespace cli {

enum class Command { Connect, RawBoot, Check, Ports, History, Sync, Station, Report };

// One --port: a COM name's number, or a device path.
struct PortArgument {
  int number = 0;    // n of COMn (1..32); 0 for a path
  std::string path;  // the device path as given; empty for a COM name
  bool operator==(const PortArgument&) const = default;
};

// The most records `history N` shows.
inline constexpr int kMaxHistoryCount = 100000;

struct CommandLine {
  Command command = Command::Connect;
  int options = 0;            // the number after --x, with the bits of the named options
  bool optionsGiven = false;  // --x or a named option was given
  Answers answers = Answers::Ask;
  // Every --port in the order given; with more than one, one session per port runs at once.
  std::vector<PortArgument> ports;
  bool allPorts = false;  // --all-ports: a session on every listed port
  // Every --skip-port: ports --all-ports leaves out.
  std::vector<PortArgument> skipPorts;
  bool quiet = false;    // -q: only the result on standard output, no status lines
  bool verbose = false;  // -v: the wire trace on standard error
  // The run records: --record FILE (empty when not given) and the N of `history [N]`.
  std::string recordFile;
  int historyCount = 20;  // 1..kMaxHistoryCount
  // --record-db CONNINFO: the record database (empty when not given; see cli/command/record_db_options.h).
  std::string recordDb;
  // `report`: --since and --until as given (checked: app::ParseWhen reads them), --by's word
  // (checked: app::ParseGrouping reads it) and --html's file; empty when not given.
  std::string reportSince;
  std::string reportUntil;
  std::string reportBy;
  std::string reportHtml;
  // --profile FILE (empty when not given; its settings are merged in by ApplyProfile, see
  // cli/command/profile_options.h), --operator NAME and --work-order TEXT.
  std::string profileFile;
  std::string operatorName;
  std::string workOrder;
  // What every session of the run is given of the above (ApplyProfile makes it); null: none.
  std::shared_ptr<const app::SiteControl> site;
  bool help = false;
  bool version = false;
};

struct ParseResult {
  CommandLine line;
  std::string error;  // one line naming the fault; empty when the command line is good
  bool ok() const { return error.empty(); }
};

// Exit statuses that are the front end's own (the workflows' result codes are 0..15 and 17).
inline constexpr int kExitMissingFiles = 1;
inline constexpr int kExitNoWorkflow = 16;
inline constexpr int kExitUsage = 64;
inline constexpr int kExitInterrupted = 130;  // 128 + SIGINT; other signals give 128 + their number

inline constexpr int kMaxPortNumber = 32;

// `args` are the arguments after the program name. --help and --version end the parse where
// they stand, as does the first fault. --x is read from the arguments joined by blanks exactly
// as the window reads it (app::ReadOptionArgument); a command line on which that reading would
// differ from what the arguments say (digits beyond the three read, "--x" inside another
// argument, a second --x) is refused rather than read otherwise.
// With --profile the rules that depend on ports, options and records (station needs a port,
// ...) wait until the profile is merged in: ApplyProfile checks them then (CombinationFault).
ParseResult ParseCommandLine(const std::vector<std::string>& args);

// The fault of a command line whose options do not go together, as a usage error line; empty
// when they do.
std::string CombinationFault(const CommandLine& line);

// A usage error line for `what`, as every other one reads.
std::string UsageFault(const std::string& what);

// More than one device at once: several --port, --all-ports, or a station (one device after
// another on each of its ports, each port with its own session).
inline bool SeveralPorts(const CommandLine& line) {
  return line.allPorts || line.ports.size() > 1 || line.command == Command::Station;
}

// "COM" (any case) followed by 1..32; 0 when `text` is not such a name.
int ParsePortName(const std::string& text);

std::string UsageText();
std::string VersionText();

}  // namespace cli
