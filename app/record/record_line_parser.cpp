#include "app/record/record_line_parser.h"

#include <bitset>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <type_traits>
#include <variant>

#include "app/record/record_fields.h"

namespace app {

std::string Utf8ToLatin1(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    std::size_t length = 1;
    if (c >= 0xF0)
      length = 4;
    else if (c >= 0xE0)
      length = 3;
    else if (c >= 0xC0)
      length = 2;
    if (length == 2 && c <= 0xC3 && i + 1 < utf8.size())
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
    else if (length == 1)
      out += static_cast<char>(c);
    else
      out += '?';
    i += length;
  }
  return out;
}

namespace {

using Json = nlohmann::json;
using record_fields::kFields;

// A value as the library read it, before it is given to its field.
struct Value {
  enum Kind { Null, Bool, Integer, Unsigned, Float, Text } kind = Null;
  bool flag = false;
  std::int64_t integer = 0;
  std::uint64_t whole = 0;
  std::string text;  // UTF-8
};

// An integer value within [low, high], or nothing.
std::optional<std::int64_t> IntegerIn(const Value& v, std::int64_t low, std::int64_t high) {
  std::int64_t n = 0;
  if (v.kind == Value::Integer)
    n = v.integer;
  else if (v.kind == Value::Unsigned &&
           v.whole <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
    n = static_cast<std::int64_t>(v.whole);
  else
    return std::nullopt;
  if (n < low || n > high) return std::nullopt;
  return n;
}

bool SetField(RunRecord& r, const record_fields::Member& member, const Value& v) {
  return std::visit(
      [&](auto field) -> bool {
        auto& out = r.*field;
        using T = std::decay_t<decltype(out)>;
        if constexpr (std::is_same_v<T, std::string>) {
          if (v.kind != Value::Text) return false;
          out = Utf8ToLatin1(v.text);
        } else if constexpr (std::is_same_v<T, std::optional<std::string>>) {
          if (v.kind == Value::Null) return true;
          if (v.kind != Value::Text) return false;
          out = Utf8ToLatin1(v.text);
        } else if constexpr (std::is_same_v<T, std::optional<bool>>) {
          if (v.kind == Value::Null) return true;
          if (v.kind != Value::Bool) return false;
          out = v.flag;
        } else if constexpr (std::is_same_v<T, std::optional<std::uint32_t>>) {
          if (v.kind == Value::Null) return true;
          const auto n = IntegerIn(v, 0, std::numeric_limits<std::uint32_t>::max());
          if (!n) return false;
          out = static_cast<std::uint32_t>(*n);
        } else if constexpr (std::is_same_v<T, int>) {
          const auto n = IntegerIn(v, record_fields::kLowestCode, record_fields::kHighestCode);
          if (!n) return false;
          out = static_cast<int>(*n);
        } else {
          static_assert(std::is_same_v<T, std::int64_t>);
          const auto n = IntegerIn(v, 0, std::numeric_limits<std::int64_t>::max());
          if (!n) return false;
          out = *n;
        }
        return true;
      },
      member);
}

// Reads the line's events as the library's parser hands them over: one flat object whose
// values are texts, numbers, booleans or null. Returning false ends the parse.
class RecordReader : public nlohmann::json_sax<Json> {
 public:
  RunRecord record;
  std::bitset<kFields.size()> seen;
  bool refused = false;

  bool null() override { return Take(Value{}); }
  bool boolean(bool val) override {
    Value v;
    v.kind = Value::Bool;
    v.flag = val;
    return Take(v);
  }
  bool number_integer(number_integer_t val) override {
    Value v;
    v.kind = Value::Integer;
    v.integer = val;
    return Take(v);
  }
  bool number_unsigned(number_unsigned_t val) override {
    Value v;
    v.kind = Value::Unsigned;
    v.whole = val;
    return Take(v);
  }
  bool number_float(number_float_t /*val*/, const string_t& /*text*/) override {
    Value v;
    v.kind = Value::Float;
    return Take(v);
  }
  bool string(string_t& val) override {
    Value v;
    v.kind = Value::Text;
    v.text = std::move(val);
    return Take(v);
  }
  bool binary(binary_t& /*val*/) override { return Refuse(); }
  bool start_object(std::size_t /*elements*/) override {
    if (m_depth != 0) return Refuse();
    ++m_depth;
    return true;
  }
  bool key(string_t& val) override {
    m_field = -1;
    for (std::size_t f = 0; f < kFields.size(); ++f)
      if (kFields[f].name == val) m_field = static_cast<int>(f);
    return true;
  }
  bool end_object() override {
    --m_depth;
    return true;
  }
  bool start_array(std::size_t /*elements*/) override { return Refuse(); }
  bool end_array() override { return Refuse(); }
  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& /*ex*/) override {
    return Refuse();
  }

 private:
  int m_depth = 0;
  int m_field = -1;

  bool Refuse() {
    refused = true;
    return false;
  }

  bool Take(const Value& v) {
    if (m_depth != 1) return Refuse();  // a bare value is no record
    if (m_field < 0) return true;       // a field of a later loader
    const auto bit = static_cast<std::size_t>(m_field);
    if (seen[bit] || !SetField(record, kFields[bit].member, v)) return Refuse();
    seen[bit] = true;
    return true;
  }
};

}  // namespace

std::optional<RunRecord> ParseRecordLine(std::string_view line) {
  RecordReader reader;
  const bool parsed = Json::sax_parse(line.begin(), line.end(), &reader, nlohmann::json::input_format_t::json,
                                      /*strict=*/true, /*ignore_comments=*/false);
  if (!parsed || reader.refused) return std::nullopt;
  for (std::size_t f = 0; f < kFields.size(); ++f)
    if (kFields[f].required && !reader.seen[f]) return std::nullopt;
  return std::move(reader.record);
}

}  // namespace app
