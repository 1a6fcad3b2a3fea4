#include "app/profile/station_profile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/options.h"
#include "image/sha256.h"

// One translation unit reads TOML: the library is used header-only and without exceptions, so
// a profile's fault comes back as a value with its place.
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

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

// The TOML reader tests characters outside quoted texts and comments against every kind of
// blank, and for some non-ASCII characters that test is undefined behaviour. A profile needs
// neither those characters there (TOML allows none of them outside quotes and comments) nor
// multi-line texts (whose line-ending backslash runs the same test inside the quotes): both
// are refused before the reader sees the text. So is a quote where no quoted text can begin
// (inside a bare word, which the reader would read on past the quote).
std::optional<Fault> OutsideWhatTheReaderTakes(std::string_view text) {
  enum class In { Bare, Basic, Literal, Comment } in = In::Bare;
  int line = 1;
  char before = '\n';  // outside quotes: the last character that is not a blank
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      in = In::Bare;  // a comment ends; a one-line text left open is the reader's fault
      before = '\n';
      continue;
    }
    switch (in) {
      case In::Bare:
        if (c == '#') {
          in = In::Comment;
        } else if (c == '"' || c == '\'') {
          // A key at the start of a line or after a dot; a value after "=", "[", "," or "{".
          if (std::string_view("\n.=[,{").find(before) == std::string_view::npos)
            return Fault{line, "a quote stands where no quoted text can begin"};
          if (text.substr(i, 3) == std::string(3, c))
            return Fault{line, "multi-line texts (\"\"\" or ''') are not used in a profile"};
          in = c == '"' ? In::Basic : In::Literal;
          before = c;
        } else if (static_cast<unsigned char>(c) >= 0x80) {
          return Fault{line, "a character that is not ASCII stands outside quotes"};
        } else if (c != ' ' && c != '\t' && c != '\r') {
          before = c;
        }
        break;
      case In::Basic:
        if (c == '\\' && i + 1 < text.size() && text[i + 1] != '\n')
          ++i;  // an escaped character, a quote among them
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
  if (const std::optional<Fault> fault = OutsideWhatTheReaderTakes(text)) {
    reading.error = Place(source, fault->line) + ": " + fault->what;
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
