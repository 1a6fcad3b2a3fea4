#include "app/record/run_record.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <type_traits>
#include <variant>

#include "app/record/record_fields.h"

#ifndef VOR_VERSION
#error "VOR_VERSION must name the program version"
#endif

namespace app {

namespace {

using OrderedJson = nlohmann::ordered_json;

OrderedJson TextValue(std::string_view latin1) {
  return Latin1ToUtf8(latin1);
}

OrderedJson ValueOf(const RunRecord& r, const record_fields::Member& member) {
  return std::visit(
      [&r](auto field) -> OrderedJson {
        const auto& value = r.*field;
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return TextValue(value);
        } else if constexpr (std::is_same_v<T, std::optional<std::string>>) {
          return value ? TextValue(*value) : OrderedJson(nullptr);
        } else if constexpr (std::is_same_v<T, std::optional<std::uint32_t>> ||
                             std::is_same_v<T, std::optional<bool>>) {
          return value ? OrderedJson(*value) : OrderedJson(nullptr);
        } else {
          return value;
        }
      },
      member);
}

// The library writes \b \f \n \r \t as short escapes, and DEL and the C1 controls (U+0080 to
// U+009F, from device texts read as Latin-1) as they are; record lines hold every control
// character and DEL as \u00XX, so that a line reads the same to any tool and shows no control
// character when printed.
std::string UniformEscapes(const std::string& json) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(json.size());
  auto escape = [&out](unsigned char code) {
    out += "\\u00";
    out += kHex[code >> 4];
    out += kHex[code & 0x0F];
  };
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (c == 0x7F) {
      escape(0x7F);
      continue;
    }
    // The dump is UTF-8: 0xC2 then 0x80..0x9F is one C1 control character.
    const auto lead = static_cast<unsigned char>(c);
    if (lead == 0xC2 && i + 1 < json.size()) {
      const auto trail = static_cast<unsigned char>(json[i + 1]);
      if (trail >= 0x80 && trail <= 0x9F) {
        escape(trail);
        ++i;
        continue;
      }
    }
    if (c != '\\' || i + 1 >= json.size()) {
      out += c;
      continue;
    }
    const char next = json[++i];
    const char* shortEscapes = "b\bf\fn\nr\rt\t";
    const char* found = nullptr;
    for (const char* p = shortEscapes; *p != '\0'; p += 2)
      if (*p == next) found = p;
    if (found == nullptr) {
      out += c;
      out += next;
      continue;
    }
    escape(static_cast<unsigned char>(found[1]));
  }
  return out;
}

}  // namespace

std::string Latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (char ch : latin1) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string ToJsonLine(const RunRecord& r) {
  OrderedJson object = OrderedJson::object();
  for (const record_fields::Field& field : record_fields::kFields)
    object[std::string(field.name)] = ValueOf(r, field.member);
  return UniformEscapes(object.dump());
}

std::string UtcTimeText(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(when);
  const auto day = floor<days>(seconds);
  const year_month_day date{day};
  const hh_mm_ss<std::chrono::seconds> clock{seconds - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::string LoaderVersion() {
  return VOR_VERSION;
}

}  // namespace app
