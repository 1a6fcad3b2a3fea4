#include "window/command_line.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>

namespace window {

namespace {

// The toolkit's own options (it takes them out of the command line itself), with or without
// a second dash; those that take a value take the next argument.
struct ToolkitOption {
  std::string_view name;
  bool takesValue;
};

constexpr std::array<ToolkitOption, 17> kToolkitOptions{{
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"display", true},
    {"geometry", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"style", true},
    {"stylesheet", true},
    {"session", true},
    {"reverse", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
    {"widgetcount", false},
}};

const ToolkitOption* FindToolkitOption(std::string_view arg) {
  if (arg.starts_with("--"))
    arg.remove_prefix(2);
  else if (arg.starts_with("-"))
    arg.remove_prefix(1);
  else
    return nullptr;
  const std::string_view name = arg.substr(0, arg.find('='));
  for (const ToolkitOption& option : kToolkitOptions)
    if (option.name == name) return &option;
  return nullptr;
}

std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text) out += std::isprint(static_cast<unsigned char>(c)) != 0 ? c : '?';
  return out;
}

std::string Fault(std::string_view what, std::string_view argument = {}) {
  std::string text = "vorloader: " + std::string(what);
  if (!argument.empty()) text += " '" + Printable(argument) + "'";
  return text + " (see vorloader --help)";
}

// The value of --x: "--x8", "--x=8" or "--x" followed by "8". Only a whole decimal number of
// at most three digits whose bits are known is taken, so the value means what it says.
bool ReadBits(std::string_view value, int& bits) {
  if (value.empty() || value.size() > 3) return false;
  if (!std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
  bits = std::stoi(std::string(value));
  return (bits & ~app::kKnownOptionBits) == 0;
}

// "--name VALUE" or "--name=VALUE": the value, advancing `i` past it; nullopt when `args[i]`
// is not this option, or (with the fault set in `r`) when its value is missing or empty.
std::optional<std::string> ValueOf(const std::vector<std::string>& args, std::size_t& i,
                                   std::string_view name, std::string_view needs, WindowParse& r) {
  const std::string_view arg = args[i];
  std::optional<std::string> value;
  if (arg == name && i + 1 < args.size())
    value = args[++i];
  else if (arg == name)
    value = std::string();
  else if (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=')
    value = std::string(arg.substr(name.size() + 1));
  if (value && value->empty()) {
    r.error = Fault(std::string(name) + " needs " + std::string(needs));
    return std::nullopt;
  }
  return value;
}

}  // namespace

WindowParse ParseWindowCommandLine(const std::vector<std::string>& args) {
  WindowParse r;
  WindowCommandLine& line = r.line;
  bool xGiven = false;
  std::string profileFile;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.help = true;
      return r;
    }
    if (arg == "--version" || arg == "-V") {
      line.version = true;
      return r;
    }
    if (arg.starts_with("--x")) {
      if (xGiven) {
        r.error = Fault("--x may be given only once; also got", arg);
        return r;
      }
      xGiven = true;
      std::string_view value = arg.substr(3);
      if (value.starts_with("=")) value.remove_prefix(1);
      if (value.empty() && arg.size() == 3 && i + 1 < args.size()) value = args[++i];
      int bits = 0;
      if (value.empty()) {
        r.error = Fault("--x needs a number");
        return r;
      }
      if (!ReadBits(value, bits)) {
        r.error = Fault("--x takes the bits 1, 2, 4 and 8 (a number 0 to 15), not", value);
        return r;
      }
      line.options |= bits;
      line.optionsGiven = true;
    } else if (const int bit = app::NamedOptionBit(arg); bit != 0) {
      line.options |= bit;
      line.optionsGiven = true;
    } else if (arg == "--station") {
      line.station = true;
    } else if (const std::optional<std::string> value = ValueOf(args, i, "--profile", "a file name", r)) {
      profileFile = *value;
    } else if (const std::optional<std::string> name = ValueOf(args, i, "--operator", "a name", r)) {
      line.operatorName = *name;
    } else if (const std::optional<std::string> order = ValueOf(args, i, "--work-order", "a text", r)) {
      line.workOrder = *order;
    } else if (const ToolkitOption* toolkit = FindToolkitOption(arg)) {
      if (toolkit->takesValue && arg.find('=') == std::string_view::npos) {
        if (i + 1 >= args.size()) {
          r.error = Fault("this option needs a value:", arg);
          return r;
        }
        ++i;
      }
    } else if (!r.ok()) {
      return r;
    } else if (arg.starts_with("-")) {
      r.error = Fault("unknown option", arg);
      return r;
    } else {
      r.error = Fault("takes no arguments but options; got", arg);
      return r;
    }
  }
  if ((!profileFile.empty() || !line.operatorName.empty() || !line.workOrder.empty()) && !line.station) {
    r.error = Fault("--profile, --operator and --work-order apply to --station only");
    return r;
  }
  if (!profileFile.empty()) {
    app::ProfileReading reading = app::ReadProfileFile(profileFile);
    if (!reading.ok()) {
      r.error = Fault("--profile " + Printable(reading.error));
      return r;
    }
    line.profile = std::move(reading.profile);
    // A relative record file lies beside the profile, wherever the window is started from.
    if (line.profile->record && std::filesystem::path(line.profile->record->text).is_relative())
      line.profile->record->text =
          (std::filesystem::path(profileFile).parent_path() / line.profile->record->text).string();
  }
  return r;
}

app::Options DecodedOptions(int bits) {
  return app::Options(bits);
}

}  // namespace window
