#include "cli/command/command_line.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <string_view>

#include "app/options.h"
#include "app/report/report_time.h"
#include "app/report/yield_report.h"
#include "cli/output/terminal_text.h"

#ifndef VOR_VERSION
#error "VOR_VERSION must name the program version"
#endif

namespace cli {

namespace {

constexpr std::string_view kProgram = "vorloader-cli";

struct CommandName {
  std::string_view name;
  Command command;
};

constexpr std::array<CommandName, 8> kCommands{{
    {"connect", Command::Connect},
    {"raw-boot", Command::RawBoot},
    {"check", Command::Check},
    {"ports", Command::Ports},
    {"history", Command::History},
    {"sync", Command::Sync},
    {"station", Command::Station},
    {"report", Command::Report},
}};

std::string Fault(std::string_view what, const std::string& argument) {
  return std::string(kProgram) + ": " + std::string(what) + " '" + PrintableText(argument) +
         "' (see vorloader-cli --help)";
}

std::string Fault(std::string_view what) {
  return std::string(kProgram) + ": " + std::string(what) + " (see vorloader-cli --help)";
}

// A decimal number of at most nine digits, nothing else.
std::optional<int> ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// "--name VALUE" or "--name=VALUE": the value, advancing `i` past it; nullopt when `arg` is
// not this option. `missing` is set when the option stands last without its value.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i,
                                       std::string_view name, bool& missing) {
  const std::string& arg = args[i];
  if (arg == name) {
    if (i + 1 >= args.size()) {
      missing = true;
      return std::string();
    }
    return args[++i];
  }
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=')
    return arg.substr(name.size() + 1);
  return std::nullopt;
}

}  // namespace

int ParsePortName(const std::string& text) {
  if (text.size() < 4) return 0;
  for (std::size_t k = 0; k < 3; ++k)
    if (std::toupper(static_cast<unsigned char>(text[k])) != "COM"[k]) return 0;
  const std::optional<int> n = ParseDecimal(std::string_view(text).substr(3));
  if (!n || *n < 1 || *n > kMaxPortNumber || text[3] == '0') return 0;
  return *n;
}

namespace {

// Where the window's reading of --x sits among the arguments: the argument "--x" starts in
// and the one its number ends in.
struct OptionPlace {
  app::OptionReading reading;
  std::size_t first = 0;   // index of the argument holding "--x"
  std::size_t last = 0;    // index of the argument the number ends in
  bool atStart = false;    // "--x" begins that argument
  bool endsWhole = false;  // the number ends where an argument ends
};

OptionPlace PlaceOption(const std::vector<std::string>& args) {
  std::string joined;
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) joined += ' ';
    starts.push_back(joined.size());
    joined += args[i];
  }
  OptionPlace place;
  place.reading = app::ReadOptionArgument(joined);
  if (!place.reading.found) return place;
  auto indexOf = [&](std::size_t offset) {
    std::size_t i = 0;
    while (i + 1 < starts.size() && starts[i + 1] <= offset) ++i;
    return i;
  };
  place.first = indexOf(place.reading.at);
  place.atStart = starts[place.first] == place.reading.at;
  place.last = place.reading.end > 0 ? indexOf(place.reading.end - 1) : place.first;
  if (place.last < place.first) place.last = place.first;
  place.endsWhole =
      place.reading.readable && place.reading.end == starts[place.last] + args[place.last].size();
  return place;
}

// The text the user gave as --x's value, for messages: the rest of "--x8" or "--x=8", or the
// argument after a bare "--x".
std::string OptionValueText(const std::vector<std::string>& args, std::size_t first) {
  std::string text = args[first].substr(3);
  if (!text.empty() && text.front() == '=') text.erase(0, 1);
  if (text.empty() && first + 1 < args.size()) return args[first + 1];
  return text;
}

// One --port or --skip-port value into `into`; false after setting the fault.
bool AddPortArgument(std::string_view option, const std::string& value, bool missing,
                     std::vector<PortArgument>& into, ParseResult& r) {
  const std::string name(option);
  if (missing) {
    r.error = Fault(name + " needs a port name such as COM1 or a device path");
    return false;
  }
  PortArgument given;
  if (value.find('/') != std::string::npos) {
    given.path = value;
  } else {
    given.number = ParsePortName(value);
    if (given.number == 0) {
      r.error = Fault(name + " needs a port name COM1 to COM32 or a device path, not", value);
      return false;
    }
  }
  if (std::find(into.begin(), into.end(), given) != into.end()) {
    r.error = Fault(name + " names a port twice:", value);
    return false;
  }
  into.push_back(given);
  return true;
}

// A --since or --until time into `into`; false after setting the fault.
bool TakeWhen(std::string_view option, const std::string& value, bool missing, std::string& into,
              ParseResult& r) {
  constexpr std::string_view kForms =
      " needs a time YYYY-MM-DD or YYYY-MM-DDTHH:MM (local time; Z at the end for UTC)";
  const std::string wanted = std::string(option) + std::string(kForms);
  if (missing) {
    r.error = Fault(wanted);
    return false;
  }
  if (!app::ParseWhen(value)) {
    r.error = Fault(wanted + ", not", value);
    return false;
  }
  into = value;
  return true;
}

// Whether --since names an earlier instant than --until (both given and readable).
bool SinceBeforeUntil(const CommandLine& line) {
  const app::LocalZone zone = app::SystemZone();
  const std::optional<app::WhenText> since = app::ParseWhen(line.reportSince);
  const std::optional<app::WhenText> until = app::ParseWhen(line.reportUntil);
  return since && until && app::InstantOf(*since, zone) < app::InstantOf(*until, zone);
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
  ParseResult r;
  CommandLine& line = r.line;
  bool commandGiven = false;
  bool sawYes = false;
  bool sawNo = false;
  bool countGiven = false;
  const OptionPlace x = PlaceOption(args);

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const std::size_t at = i;
    bool missing = false;

    if (arg == "--help" || arg == "-h") {
      line.help = true;
      return r;
    }
    if (arg == "--version" || arg == "-V") {
      line.version = true;
      return r;
    }
    if (x.reading.found && i == x.first) {
      // The window reads the first "--x" wherever it stands; here it has to be an option.
      if (!x.atStart) {
        r.error = Fault("--x must begin an argument; the window would read it from", arg);
        return r;
      }
      const std::string value = OptionValueText(args, i);
      if (!x.reading.readable && value.empty()) {
        r.error = Fault("--x needs a number");
        return r;
      }
      if (!x.endsWhole) {
        r.error = Fault("--x needs a decimal number of at most three digits, not", value);
        return r;
      }
      if ((x.reading.value & ~app::kKnownOptionBits) != 0) {
        r.error = Fault("--x takes the bits 1, 2, 4 and 8 (a number 0 to 15), not", value);
        return r;
      }
      line.options |= x.reading.value;
      line.optionsGiven = true;
      i = x.last;
    } else if (arg.rfind("--x", 0) == 0) {
      r.error = Fault("--x may be given only once; also got", arg);
      return r;
    } else if (const int bit = app::NamedOptionBit(arg); bit != 0) {
      line.options |= bit;
      line.optionsGiven = true;
    } else if (arg == "--yes") {
      sawYes = true;
    } else if (arg == "--no") {
      sawNo = true;
    } else if (arg == "-q" || arg == "--quiet") {
      line.quiet = true;
    } else if (arg == "-v" || arg == "--verbose") {
      line.verbose = true;
    } else if (auto port = OptionValue(args, i, "--port", missing)) {
      if (!AddPortArgument("--port", *port, missing || (x.reading.found && i == x.first), line.ports, r))
        return r;
    } else if (auto skip = OptionValue(args, i, "--skip-port", missing)) {
      if (!AddPortArgument("--skip-port", *skip, missing || (x.reading.found && i == x.first), line.skipPorts,
                           r))
        return r;
    } else if (arg == "--all-ports") {
      line.allPorts = true;
    } else if (auto file = OptionValue(args, i, "--record", missing)) {
      // Given apart, an option where the name was forgotten ("--record --offline") would be
      // dropped unseen, and a name holding "--x" would be the window's option number.
      const bool apart = i != at;
      if (missing || file->empty() || (apart && file->front() == '-')) {
        r.error = Fault("--record needs a file name");
        return r;
      }
      if (apart && x.reading.found && i == x.first) {
        r.error = Fault("--x must begin an argument; the window would read it from", *file);
        return r;
      }
      line.recordFile = *file;
    } else if (auto conninfo = OptionValue(args, i, "--record-db", missing)) {
      if (missing || conninfo->empty() || (i != at && conninfo->front() == '-')) {
        r.error = Fault("--record-db needs a connection string such as service=vorloader");
        return r;
      }
      // As with --record: the window would take a "--x" inside the string as its option.
      if (x.reading.found && i == x.first) {
        r.error = Fault("--x must begin an argument; the window would read it from", *conninfo);
        return r;
      }
      line.recordDb = *conninfo;
    } else if (auto since = OptionValue(args, i, "--since", missing)) {
      if (!TakeWhen("--since", *since, missing, line.reportSince, r)) return r;
    } else if (auto until = OptionValue(args, i, "--until", missing)) {
      if (!TakeWhen("--until", *until, missing, line.reportUntil, r)) return r;
    } else if (auto by = OptionValue(args, i, "--by", missing)) {
      if (missing || !app::ParseGrouping(*by)) {
        r.error = missing ? Fault("--by needs hour, day, station, product, operator or work-order")
                          : Fault("--by needs hour, day, station, product, operator or work-order, not", *by);
        return r;
      }
      line.reportBy = *by;
    } else if (auto html = OptionValue(args, i, "--html", missing)) {
      // As --record: "--html --by day" has forgotten the file.
      if (missing || html->empty() || (i != at && html->front() == '-')) {
        r.error = Fault("--html needs a file name");
        return r;
      }
      line.reportHtml = *html;
    } else if (auto profile = OptionValue(args, i, "--profile", missing)) {
      if (missing || profile->empty() || (i != at && profile->front() == '-')) {
        r.error = Fault("--profile needs a file name");
        return r;
      }
      if (i != at && x.reading.found && i == x.first) {
        r.error = Fault("--x must begin an argument; the window would read it from", *profile);
        return r;
      }
      line.profileFile = *profile;
    } else if (auto name = OptionValue(args, i, "--operator", missing)) {
      if (missing || name->empty() || (i != at && name->front() == '-')) {
        r.error = Fault("--operator needs a name");
        return r;
      }
      if (x.reading.found && i == x.first) {
        r.error = Fault("--x must begin an argument; the window would read it from", *name);
        return r;
      }
      line.operatorName = *name;
    } else if (auto order = OptionValue(args, i, "--work-order", missing)) {
      if (missing || order->empty() || (i != at && order->front() == '-')) {
        r.error = Fault("--work-order needs a text");
        return r;
      }
      if (x.reading.found && i == x.first) {
        r.error = Fault("--x must begin an argument; the window would read it from", *order);
        return r;
      }
      line.workOrder = *order;
    } else if (commandGiven && line.command == Command::History && !countGiven &&
               std::none_of(kCommands.begin(), kCommands.end(),
                            [&](const CommandName& c) { return arg == c.name; })) {
      const std::optional<int> n = ParseDecimal(arg);
      const bool digits = !arg.empty() && std::all_of(arg.begin(), arg.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
      });
      if (digits && (!n || *n > kMaxHistoryCount)) {
        r.error = Fault("history shows at most " + std::to_string(kMaxHistoryCount) + " records, not", arg);
        return r;
      }
      if (!n || *n < 1) {
        r.error = Fault("history needs a positive number of records, not", arg);
        return r;
      }
      line.historyCount = *n;
      countGiven = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      r.error = Fault("unknown option", arg);
      return r;
    } else {
      const CommandName* found = nullptr;
      for (const CommandName& c : kCommands)
        if (arg == c.name) found = &c;
      if (found == nullptr) {
        r.error = Fault("unknown command", arg);
        return r;
      }
      if (commandGiven) {
        r.error = Fault("only one command may be given; also got", arg);
        return r;
      }
      commandGiven = true;
      line.command = found->command;
    }
  }

  if (sawYes && sawNo) {
    r.error = Fault("--yes and --no cannot be used together");
    return r;
  }
  line.answers = sawYes ? Answers::Yes : sawNo ? Answers::No : Answers::Ask;
  const bool device = line.command == Command::Connect || line.command == Command::RawBoot ||
                      line.command == Command::Station;
  if (!line.profileFile.empty() && line.command != Command::Connect && line.command != Command::Station)
    r.error = Fault("--profile applies to connect and station only");
  else if (!line.operatorName.empty() && !device)
    r.error = Fault("--operator applies to connect, raw-boot and station only");
  else if (!line.workOrder.empty() && !device)
    r.error = Fault("--work-order applies to connect, raw-boot and station only");
  else if (line.profileFile.empty())
    r.error = CombinationFault(line);
  return r;
}

std::string UsageFault(const std::string& what) {
  return Fault(what);
}

std::string CombinationFault(const CommandLine& line) {
  std::string error;
  const bool station = line.command == Command::Station;
  if (station && line.answers != Answers::Yes)
    // A station asks nobody: every device plugged in is programmed as --yes decides.
    error = Fault("station needs --yes");
  else if (station && line.ports.empty() && !line.allPorts)
    error = Fault("station needs --port (one or more) or --all-ports");
  else if ((!line.ports.empty() || line.allPorts) && line.command != Command::Connect &&
           line.command != Command::RawBoot && !station)
    error = Fault(line.allPorts ? "--all-ports applies to connect and station only"
                                : "--port applies to connect, raw-boot and station only");
  else if (!line.skipPorts.empty() && !line.allPorts)
    error = Fault("--skip-port applies to --all-ports only");
  else if (line.allPorts && !line.ports.empty())
    error = Fault("--all-ports and --port cannot be used together");
  else if (SeveralPorts(line) && line.command == Command::RawBoot)
    error = Fault("raw-boot takes one port only");
  else if (SeveralPorts(line) && line.answers == Answers::Ask)
    // Nobody can answer a box per device at one keyboard.
    error = Fault("with more than one port, --yes or --no is required");
  else if (!line.recordFile.empty() && (line.command == Command::Check || line.command == Command::Ports))
    error = Fault("--record applies to connect, raw-boot, station, history, sync and report only");
  else if (!line.recordDb.empty() && (line.command == Command::Check || line.command == Command::Ports))
    error = Fault("--record-db applies to connect, raw-boot, station, history, sync and report only");
  else if (line.command != Command::Report && !(line.reportSince.empty() && line.reportUntil.empty() &&
                                                line.reportBy.empty() && line.reportHtml.empty()))
    error = Fault("--since, --until, --by and --html apply to report only");
  else if (!line.reportSince.empty() && !line.reportUntil.empty() && !SinceBeforeUntil(line))
    error = Fault("--since must be before --until");
  return error;
}

std::string UsageText() {
  return R"(Usage: vorloader-cli [--x N] [OPTIONS] [--yes | --no] [--port COMn | --port PATH] [--record FILE] [COMMAND]
       vorloader-cli [OPTIONS] (--yes | --no) (--port P --port P ... | --all-ports) connect
       vorloader-cli [OPTIONS] --yes (--port P ... | --all-ports [--skip-port P ...]) station
       vorloader-cli [OPTIONS] --yes --profile FILE [--operator NAME] [--work-order TEXT] station
       vorloader-cli [--record FILE] [--record-db CONNINFO] history [N]
       vorloader-cli [--record FILE] [--record-db CONNINFO] sync
       vorloader-cli [--record FILE] [--record-db CONNINFO] report [--since WHEN]
                     [--until WHEN] [--by hour|day|station|product|operator|work-order]
                     [--html FILE]

Loads firmware into a VORnet device on a serial port, from a terminal.

Commands:
  connect      (the default) list the ports, refresh the catalogue, check the
               firmware files, then connect to the device and offer to program it
  raw-boot     the same preparation, then reprogram a device that only answers in
               its bootloader: switch it off, confirm, and switch it on
  check        refresh the catalogue and check the firmware files; no port is used.
               On standard error, a table of each file with its product, version
               and SHA-256 (the value a profile's [[approved]] entry names)
  ports        list the serial ports that open, then (on standard error) what is
               known of each: device path, USB ID, maker, product, serial number
  history [N]  show the last N run records (default 20): time, port, device ID,
               product, version before -> after, result; with a record database,
               its last N records of every station, with a station column
  sync         deliver the run records not yet in the record database; says how
               many were delivered, refused (set aside in FILE.refused with the
               reason) and remain
  report       the yield of the run records of a period (the record file, or with
               a record database every station's records), one row per group and
               a total: runs, runs without a device, devices, then the devices by
               the outcome of their last run (programmed, failed, refused,
               stopped), yield = programmed / (programmed + failed + stopped),
               first-pass yield = devices programmed by their first run / devices
               whose first run was not a refusal, median and 95th percentile run
               time of the programmed runs (s), the three most frequent failures
  station      a production station, until stopped: the same preparation once,
               then each port (--port, or --all-ports) waits for a device, programs
               every device plugged in once (as connect --yes would) and waits for
               it to leave; one result line per device ("COM3: ID 11456 (VORnet Amp)
               V1.20 -> V1.30: -Device Programed OK."). A named port not there yet is
               waited for; with --all-ports, ports that appear later join. Each port
               says what it waits for when that changes ("COM3: waiting for a device",
               "COM3: device left; waiting for a device"). The first stop signal lets
               the devices being programmed finish, then exits 0 (a device not yet
               erased is declined, never erased); a second cuts them (128 + the
               signal); a third ends the program once the records of the devices
               cut are written (at most 3 s). A summary ends the run

Options:
  --x N        option bits: 1 offline, 2 offer to load an older image, 4 offer to
               reload the same version, 8 keep firmware files without a version tag
               (read as the window reads it: --x8, --x 8 and --x=8 alike; given once)
  --offline         the same as bit 1: nothing is downloaded
  --allow-older     bit 2: offer to load an older image than the device has
  --allow-reload    bit 4: offer to reload the version the device has
  --keep-untagged   bit 8: keep firmware files without a readable version tag
               (the named options and --x add up: --offline --x 4 is --x 5)
  --yes        answer Yes to every question
  --no         answer No to every question (information boxes are acknowledged)
  --port COMn  start with port COMn (1..32) instead of the first one listed
  --port PATH  start with the listed port that is this device (/dev/ttyUSB0,
               /dev/serial/by-id/...; links are followed)
               Given more than once (connect only, with --yes or --no), every named
               port is programmed at once, each by its own session on its own port;
               lines are prefixed with the port ("COM3: ") and a summary ends the run
  --all-ports  connect: a session on every listed port at once (--yes or --no);
               station: every port, also those that appear later
  --skip-port P  leave port P (COMn or a device path) out of --all-ports (repeatable)
  -q, --quiet  standard output: only the result (the workflow's result line, the
               file check's report, the COMn lines); no status lines
  -v, --verbose  the wire trace on standard error (as VORLOADER_TRACE=1)
  --record FILE  the run record file for this run (see VORLOADER_HISTORY)
  --record-db CONNINFO  also deliver run records to this PostgreSQL database (a
               libpq connection string or URI, without a password: use ~/.pgpass
               or a service file); the default is $VORLOADER_RECORD_DB. The
               table is made once by packaging/sql/vorloader_runs.sql (never by
               the loader); a record the database refuses is set aside in
               FILE.refused
  --since WHEN, --until WHEN  report: the runs from WHEN (included) until WHEN
               (not included); WHEN is YYYY-MM-DD (its midnight) or
               YYYY-MM-DDTHH:MM[:SS], local time, or UTC with Z at its end
  --by G       report: one row per hour, day (local time), station, product,
               operator or work-order
  --html FILE  report: also write the report as one HTML page (no script, nothing
               fetched; bar charts of the devices programmed and failed per hour
               and of the failures by result; prints on A4)
  --profile FILE  connect, station: the station profile, a TOML file with the
               line's name, ports (ports = ["COM3"], or all-ports = true with
               skip-ports), option bits (offline, allow-older, allow-reload,
               keep-untagged = true, or x = N), record, record-db,
               operator-required, operator, work-order and [[approved]] images
               (sha256 required; version and product optional). Options given
               here override it (ports, and the option bits, as a whole). With
               an approved list, a device whose image is not on it is not
               programmed (E17, exit status 17). An unreadable profile or an
               unknown key is a usage error naming the line
  --operator NAME  who programs the devices, named in every record (else
               $VORLOADER_OPERATOR, else the profile's); a profile with
               operator-required = true does not start without one
  --work-order TEXT  what the devices are programmed for, named in every record
  -h, --help   show this help and exit
  -V, --version  show the version and exit

Without --yes or --no, questions are asked when standard input is a terminal and
answered No otherwise.

The information log goes to standard output; status lines ("port:", "device:",
"main:"), details ("note:") and questions ("?", "!") go to standard error.

Exit status:
  0..15  connect, raw-boot: the workflow's result (0 programmed; 15 cancelled); with
         several ports, 0 when every device was programmed, else the code of the
         first port (in the order given, or listed) that was not
  17     connect: the station profile does not approve the device's image
         ("E17-Image not approved by the profile."); nothing was erased
  0      station: stopped by one stop signal, its devices being programmed finished
  0, 1   check: every firmware file is good / some are missing
  0, 1   history: the records were shown (or there are none) / the file cannot be read
  0, 1   sync: no record remains to deliver (refused ones are set aside) / some
         remain
  0, 1   report: the report was made (also for a period without runs) / the
         records cannot be read or the page cannot be written
  16     no workflow ran (no port listed, no product database, or a port named
         with --port held by another program: it says which process holds it)
  64     usage error (also --port naming a port that is not there)
  130    interrupted (Ctrl-C); 143 stopped by SIGTERM, 129 by SIGHUP

Each connect or raw-boot run on a port (stopped ones too) appends one JSON line
to the run record file: --record FILE, else $VORLOADER_HISTORY (set and empty: no
records), else $XDG_STATE_HOME/vorloader/history.jsonl (~/.local/state/...).
With a record database named, a background worker delivers each record to it;
records it cannot take yet stay pending beside the file and go later.

Environment: VORLOADER_PROGRAMDATA, VORLOADER_COM_DIR, VORLOADER_UPDATE_URL,
VORLOADER_TRACE, VORLOADER_HISTORY, VORLOADER_RECORD_DB, VORLOADER_OPERATOR
(see vorloader-cli(1)).
)";
}

std::string VersionText() {
  return std::string(kProgram) + " " + VOR_VERSION + "\n";
}

}  // namespace cli
