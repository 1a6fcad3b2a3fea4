#include "app/profile/station_profile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/options.h"
#include "image/sha256.h"

// One translation unit reads TOML: the library is used header-only and without exceptions, so
// a profile's fault comes back as a value with its place. Its internal assumptions are checked
// in every build: in an optimised build it would otherwise take them as given, and a text that
// breaks one (the checks below keep every known one out) would be undefined behaviour rather
// than a clean stop that a fuzzer finds.
[[noreturn]] static void TomlAssumptionBroken() {
  __builtin_trap();
}
#ifdef NDEBUG
#define VOR_PROFILE_NDEBUG
#undef NDEBUG
#endif
#define TOML_ASSERT(expr) ((expr) ? static_cast<void>(0) : TomlAssumptionBroken())
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>
#ifdef VOR_PROFILE_NDEBUG
#define NDEBUG
#undef VOR_PROFILE_NDEBUG
#endif

namespace app {

namespace {

int LineOf(const toml::source_region& where) {
  return static_cast<int>(where.begin.line);
}

// Every fault ends the reading: the first one found is the one told.
struct Fault {
  int line = 0;
  std::string what;
};

// Control characters would reach records, tables and terminals; a profile has no use for them.
bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
  });
}

std::string Quoted(std::string_view text) {
  std::string shown;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    shown += u < 0x20 || u == 0x7f ? '?' : c;
  }
  return "'" + shown + "'";
}

class Reader {
 public:
  std::optional<Fault> fault;

  bool Bool(const toml::node& node, std::string_view key, bool& into) {
    if (const auto* v = node.as_boolean()) {
      into = v->get();
      return true;
    }
    return Fail(node, std::string(key) + " must be true or false");
  }

  // A one-line text; `empty` says whether "" is allowed.
  bool Text(const toml::node& node, std::string_view key, std::string& into, bool empty = false) {
    const auto* v = node.as_string();
    if (v == nullptr) return Fail(node, std::string(key) + " must be a quoted text");
    if (!empty && v->get().empty()) return Fail(node, std::string(key) + " must not be empty");
    if (HasControl(v->get())) return Fail(node, std::string(key) + " holds a control character");
    into = v->get();
    return true;
  }

  bool Texts(const toml::node& node, std::string_view key, std::vector<ProfileText>& into) {
    const auto* array = node.as_array();
    if (array == nullptr) return Fail(node, std::string(key) + " must be a list of quoted texts");
    for (const toml::node& item : *array) {
      ProfileText text{{}, LineOf(item.source())};
      if (!Text(item, key, text.text)) return false;
      into.push_back(std::move(text));
    }
    return true;
  }

  bool Fail(const toml::node& node, std::string what) { return Fail(LineOf(node.source()), std::move(what)); }
  bool Fail(int line, std::string what) {
    if (!fault) fault = Fault{line, std::move(what)};
    return false;
  }
};

bool IsSha256Hex(std::string_view text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
         });
}

bool ReadApproved(Reader& r, const toml::node& node, std::vector<ApprovedImage>& into) {
  const auto* array = node.as_array();
  if (array == nullptr) return r.Fail(node, "approved must be a list of [[approved]] entries");
  for (const toml::node& item : *array) {
    const auto* entry = item.as_table();
    if (entry == nullptr) return r.Fail(item, "each approved entry must be an [[approved]] table");
    ApprovedImage image;
    image.line = LineOf(item.source());
    bool hasSha = false;
    for (const auto& [key, value] : *entry) {
      const std::string_view name = key.str();
      if (name == "sha256") {
        if (!r.Text(value, "sha256", image.sha256)) return false;
        if (!IsSha256Hex(image.sha256))
          return r.Fail(value, "sha256 must be 64 hex digits, as check and the run record show it");
        std::transform(image.sha256.begin(), image.sha256.end(), image.sha256.begin(),
                       [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
        hasSha = true;
      } else if (name == "version") {
        if (!r.Text(value, "version", image.version)) return false;
      } else if (name == "product") {
        if (!r.Text(value, "product", image.product)) return false;
      } else {
        return r.Fail(LineOf(key.source()), "unknown key " + Quoted(name) + " in [[approved]]");
      }
    }
    if (!hasSha) return r.Fail(image.line, "an [[approved]] entry needs its sha256");
    into.push_back(std::move(image));
  }
  return true;
}

struct OptionKey {
  std::string_view key;
  int bit;
};
constexpr OptionKey kOptionKeys[] = {
    {"offline", kOptionOffline},
    {"allow-older", kOptionAllowOlder},
    {"allow-reload", kOptionAllowReload},
    {"keep-untagged", kOptionKeepUntagged},
};

bool ReadKey(Reader& r, std::string_view name, const toml::key& key, const toml::node& value,
             StationProfile& p, int& nameLine) {
  for (const OptionKey& option : kOptionKeys) {
    if (name != option.key) continue;
    bool on = false;
    if (!r.Bool(value, name, on)) return false;
    if (on) p.options |= option.bit;
    p.optionsGiven = true;
    return true;
  }
  if (name == "name") {
    nameLine = LineOf(value.source());
    return r.Text(value, name, p.name);
  }
  if (name == "ports") return r.Texts(value, name, p.ports);
  if (name == "skip-ports") return r.Texts(value, name, p.skipPorts);
  if (name == "all-ports") return r.Bool(value, name, p.allPorts);
  if (name == "x") {
    const auto* v = value.as_integer();
    if (v == nullptr || v->get() < 0 || (v->get() & ~static_cast<std::int64_t>(kKnownOptionBits)) != 0)
      return r.Fail(value, "x takes the bits 1, 2, 4 and 8 (a number 0 to 15)");
    p.options |= static_cast<int>(v->get());
    p.optionsGiven = true;
    return true;
  }
  if (name == "record" || name == "record-db") {
    ProfileText text{{}, LineOf(value.source())};
    if (!r.Text(value, name, text.text)) return false;
    (name == "record" ? p.record : p.recordDb) = std::move(text);
    return true;
  }
  if (name == "operator-required") return r.Bool(value, name, p.operatorRequired);
  if (name == "operator") return r.Text(value, name, p.operatorName);
  if (name == "work-order") return r.Text(value, name, p.workOrder);
  if (name == "approved") {
    p.approved.emplace();
    return ReadApproved(r, value, *p.approved);
  }
  return r.Fail(LineOf(key.source()), "unknown key " + Quoted(name));
}

// The TOML reader tests characters against every kind of blank in some places (between the
// parts of a line, inside a bare value, after a line-ending backslash in a multi-line text), and
// for some non-ASCII characters that test is undefined behaviour. In a good profile they stand
// only in one-line quoted texts and comments, where no such test is made: so multi-line texts
// are refused, and the reader first reads the text with every non-ASCII byte as "~" (good in
// quotes and comments, a fault anywhere else); only a text that reads well so is read as it is.
int LineOfOffset(std::string_view text, std::size_t offset) {
  return 1 +
         static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

std::optional<Fault> MultiLineText(std::string_view text) {
  for (const std::string_view opener : {std::string_view(R"(""")"), std::string_view("'''")})
    if (const std::size_t at = text.find(opener); at != std::string_view::npos)
      return Fault{LineOfOffset(text, at), R"(multi-line texts (""" or ''') are not used in a profile)"};
  return std::nullopt;
}

std::string AsciiShape(std::string_view text) {
  std::string shape(text);
  for (char& c : shape)
    if (static_cast<unsigned char>(c) >= 0x80) c = '~';
  return shape;
}

// The reader takes the first character of a table's name, after "[" or "[[" and blanks, to be
// the start of a key without looking: anything else is refused here. (A line of a multi-line
// array that begins with "[" is held to the same rule, which good profiles, whose lists hold
// texts and tables, always meet.)
std::optional<Fault> BadTableName(std::string_view text) {
  int line = 1;
  for (std::size_t start = 0; start <= text.size(); ++line) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view row = text.substr(start, end - start);
    std::size_t i = row.find_first_not_of(" \t");
    if (i != std::string_view::npos && row[i] == '[') {
      ++i;
      if (i < row.size() && row[i] == '[') ++i;
      i = std::min(row.find_first_not_of(" \t", i), row.size());
      const char c = i < row.size() ? row[i] : '\n';
      const bool keyStart = std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-' ||
                            c == '"' || c == '\'' || c == ']';
      if (!keyStart)
        return Fault{line, R"(a table name must begin with a letter, digit, "_", "-" or a quote)"};
    }
    start = end + 1;
  }
  return std::nullopt;
}

// The rest of a value that began with a digit or sign, up to the next blank, line end, ",",
// "]", "}" or "#": no "-" or ":" (which would make it a date or time) in it.
bool NumberAlone(std::string_view rest) {
  const std::size_t end = std::min(rest.find_first_of(" \t\r\n,]}#"), rest.size());
  return rest.substr(0, end).find_first_of("-:") == std::string_view::npos;
}

// Two places where the reader takes a value's first character as given without looking, and
// would go wrong on: a "}" right after "[" or "," (blanks, line ends and comments between), and
// the reading of dates and times (which have no place in a profile). Both are refused here.
std::optional<Fault> BraceForAnElement(std::string_view text) {
  enum class In { Bare, Basic, Literal, Comment } in = In::Bare;
  int line = 1;
  char last = '\n';  // the last character outside blanks, line ends and comments
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      if (in == In::Comment) in = In::Bare;
      continue;
    }
    switch (in) {
      case In::Bare:
        if (c == '#')
          in = In::Comment;
        else if (c == '"')
          in = In::Basic;
        else if (c == '\'')
          in = In::Literal;
        else if (c == '}' && (last == '[' || last == ','))
          return Fault{line, "a \"}\" stands where an element of a list belongs"};
        else if ((std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-') &&
                 std::string_view("=[,").find(last) != std::string_view::npos &&
                 !NumberAlone(text.substr(i + 1)))
          return Fault{line, "dates and times are not used in a profile, and a number is digits alone"};
        if (c != ' ' && c != '\t' && c != '\r' && c != '#') last = c;
        break;
      case In::Basic:
        if (c == '\\')
          ++i;
        else if (c == '"')
          in = In::Bare;
        break;
      case In::Literal:
        if (c == '\'') in = In::Bare;
        break;
      case In::Comment:
        break;
    }
  }
  return std::nullopt;
}

bool LineHasNonAscii(std::string_view text, int line) {
  int at = 1;
  for (char c : text) {
    if (c == '\n' && ++at > line) break;
    if (at == line && static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

std::string Place(std::string_view source, int line) {
  std::string place(source);
  if (line > 0) place += " line " + std::to_string(line);
  return place;
}

}  // namespace

ProfileReading ParseStationProfile(std::string_view text, std::string_view source) {
  ProfileReading reading;
  if (text.size() > kMaxProfileBytes) {
    reading.error = Place(source, 0) + ": a profile is at most " + std::to_string(kMaxProfileBytes / 1024) +
                    " KiB; this one is larger";
    return reading;
  }
  if (const std::optional<Fault> fault = MultiLineText(text)) {
    reading.error = Place(source, fault->line) + ": " + fault->what;
    return reading;
  }
  if (const std::optional<Fault> fault = BadTableName(text)) {
    reading.error = Place(source, fault->line) + ": " + fault->what;
    return reading;
  }
  if (const std::optional<Fault> fault = BraceForAnElement(text)) {
    reading.error = Place(source, fault->line) + ": " + fault->what;
    return reading;
  }
  const std::string shape = AsciiShape(text);
  const toml::parse_result shaped = toml::parse(shape, source);
  if (!shaped) {
    const int line = LineOf(shaped.error().source());
    reading.error =
        Place(source, line) + ": " +
        (LineHasNonAscii(text, line) ? std::string("a character that is not ASCII stands outside quotes")
                                     : std::string(shaped.error().description()));
    return reading;
  }
  const toml::parse_result parsed = toml::parse(text, source);
  if (!parsed) {
    const toml::parse_error& e = parsed.error();
    reading.error = Place(source, LineOf(e.source())) + ": " + std::string(e.description());
    return reading;
  }
  Reader r;
  StationProfile p;
  int nameLine = 0;
  for (const auto& [key, value] : parsed.table())
    if (!ReadKey(r, key.str(), key, value, p, nameLine)) break;
  if (!r.fault && p.name.empty()) r.Fail(1, "the profile needs a name (name = \"...\")");
  if (!r.fault && p.allPorts && !p.ports.empty())
    r.Fail(p.ports.front().line, "ports and all-ports = true cannot be used together");
  if (!r.fault && !p.allPorts && !p.skipPorts.empty())
    r.Fail(p.skipPorts.front().line, "skip-ports applies to all-ports = true only");
  if (r.fault) {
    reading.error = Place(source, r.fault->line) + ": " + r.fault->what;
    return reading;
  }
  reading.profile = std::move(p);
  return reading;
}

ProfileReading ReadProfileFile(const std::string& path) {
  ProfileReading reading;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    reading.error = path + ": cannot be read";
    return reading;
  }
  std::string bytes;
  bytes.resize(kMaxProfileBytes + 1);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) {
    reading.error = path + ": cannot be read";
    return reading;
  }
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  reading = ParseStationProfile(bytes, path);
  if (!reading.profile) return reading;
  const std::optional<image::Sha256Digest> digest = image::Sha256Of(bytes);
  if (!digest) {
    reading.profile.reset();
    reading.error = path + ": its SHA-256 could not be computed";
    return reading;
  }
  reading.profile->sha256 = image::Sha256Hex(*digest);
  return reading;
}

}  // namespace app
