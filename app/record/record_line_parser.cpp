#include "app/record/record_line_parser.h"

#include <bitset>
#include <cstdint>
#include <limits>
#include <string>

namespace app {

namespace {

// A JSON value of the kinds a record holds.
struct Value {
  enum Kind { Null, String, Number } kind = Null;
  std::string text;                     // String: Latin-1 bytes
  std::optional<std::int64_t> integer;  // Number: set when it is a whole number that fits
};

class LineReader {
 public:
  explicit LineReader(std::string_view line) : m_line(line) {}

  bool AtEnd() {
    SkipSpace();
    return m_pos == m_line.size();
  }

  bool Take(char c) {
    SkipSpace();
    if (m_pos < m_line.size() && m_line[m_pos] == c) {
      ++m_pos;
      return true;
    }
    return false;
  }

  bool ReadValue(Value& v) {
    SkipSpace();
    if (m_pos >= m_line.size()) return false;
    const char c = m_line[m_pos];
    if (c == '"') {
      v.kind = Value::String;
      return ReadString(v.text);
    }
    if (c == 'n') {
      v.kind = Value::Null;
      if (m_line.substr(m_pos, 4) != "null") return false;
      m_pos += 4;
      return true;
    }
    v.kind = Value::Number;
    return ReadNumber(v.integer);
  }

  bool ReadString(std::string& out) {
    SkipSpace();
    if (m_pos >= m_line.size() || m_line[m_pos] != '"') return false;
    ++m_pos;
    out.clear();
    while (m_pos < m_line.size()) {
      const auto c = static_cast<unsigned char>(m_line[m_pos]);
      if (c == '"') {
        ++m_pos;
        return true;
      }
      if (c < 0x20) return false;
      std::uint32_t code = 0;
      if (c == '\\') {
        if (!ReadEscape(code)) return false;
      } else if (!ReadUtf8(code)) {
        return false;
      }
      out += code <= 0xFF ? static_cast<char>(code) : '?';
    }
    return false;
  }

 private:
  std::string_view m_line;
  std::size_t m_pos = 0;

  void SkipSpace() {
    while (m_pos < m_line.size() &&
           (m_line[m_pos] == ' ' || m_line[m_pos] == '\t' || m_line[m_pos] == '\r' || m_line[m_pos] == '\n'))
      ++m_pos;
  }

  bool ReadHex4(std::uint32_t& value) {
    if (m_line.size() - m_pos < 4) return false;
    value = 0;
    for (int k = 0; k < 4; ++k) {
      const char h = m_line[m_pos++];
      std::uint32_t digit = 0;
      if (h >= '0' && h <= '9')
        digit = static_cast<std::uint32_t>(h - '0');
      else if (h >= 'a' && h <= 'f')
        digit = static_cast<std::uint32_t>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F')
        digit = static_cast<std::uint32_t>(h - 'A' + 10);
      else
        return false;
      value = value << 4 | digit;
    }
    return true;
  }

  // At a backslash: the character it stands for.
  bool ReadEscape(std::uint32_t& code) {
    ++m_pos;
    if (m_pos >= m_line.size()) return false;
    switch (m_line[m_pos++]) {
      case '"':
        code = '"';
        return true;
      case '\\':
        code = '\\';
        return true;
      case '/':
        code = '/';
        return true;
      case 'b':
        code = '\b';
        return true;
      case 'f':
        code = '\f';
        return true;
      case 'n':
        code = '\n';
        return true;
      case 'r':
        code = '\r';
        return true;
      case 't':
        code = '\t';
        return true;
      case 'u':
        break;
      default:
        return false;
    }
    if (!ReadHex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return false;  // a low surrogate alone
    if (code >= 0xD800 && code <= 0xDBFF) {
      std::uint32_t low = 0;
      if (m_line.substr(m_pos, 2) != "\\u") return false;
      m_pos += 2;
      if (!ReadHex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    return true;
  }

  // One UTF-8 sequence, shortest form only, no surrogates.
  bool ReadUtf8(std::uint32_t& code) {
    const auto lead = static_cast<unsigned char>(m_line[m_pos++]);
    std::size_t more = 0;
    std::uint32_t least = 0;
    if (lead < 0x80) {
      code = lead;
      return true;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1, code = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2, code = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3, code = lead & 0x07u, least = 0x10000;
    } else {
      return false;
    }
    if (m_line.size() - m_pos < more) return false;
    for (std::size_t k = 0; k < more; ++k) {
      const auto c = static_cast<unsigned char>(m_line[m_pos++]);
      if ((c & 0xC0) != 0x80) return false;
      code = code << 6 | (c & 0x3Fu);
    }
    return code >= least && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
  }

  std::size_t Digits() {
    const std::size_t start = m_pos;
    while (m_pos < m_line.size() && m_line[m_pos] >= '0' && m_line[m_pos] <= '9') ++m_pos;
    return m_pos - start;
  }

  // A JSON number; `integer` is set when it has no fraction or exponent and fits.
  bool ReadNumber(std::optional<std::int64_t>& integer) {
    integer.reset();
    const std::size_t start = m_pos;
    const bool negative = m_pos < m_line.size() && m_line[m_pos] == '-';
    if (negative) ++m_pos;
    const std::size_t intStart = m_pos;
    const std::size_t intDigits = Digits();
    if (intDigits == 0 || (intDigits > 1 && m_line[intStart] == '0')) return false;
    bool whole = true;
    if (m_pos < m_line.size() && m_line[m_pos] == '.') {
      ++m_pos;
      if (Digits() == 0) return false;
      whole = false;
    }
    if (m_pos < m_line.size() && (m_line[m_pos] == 'e' || m_line[m_pos] == 'E')) {
      ++m_pos;
      if (m_pos < m_line.size() && (m_line[m_pos] == '+' || m_line[m_pos] == '-')) ++m_pos;
      if (Digits() == 0) return false;
      whole = false;
    }
    // 18 digits always fit a signed 64-bit number; records never need more.
    if (whole && intDigits <= 18) {
      std::int64_t value = 0;
      for (std::size_t k = intStart; k < intStart + intDigits; ++k) value = value * 10 + (m_line[k] - '0');
      integer = negative ? -value : value;
    }
    return m_pos > start;
  }
};

enum Field {
  kTime,
  kWorkflow,
  kPort,
  kPath,
  kDeviceId,
  kProduct,
  kVersionBefore,
  kVersionAfter,
  kFile,
  kSha256,
  kCode,
  kResult,
  kDurationMs,
  kLoader,
  kRunId,
  kStation,
  kFieldCount
};

constexpr std::string_view kFieldNames[kFieldCount] = {
    "time", "workflow", "port", "path",   "device_id",   "product", "version_before", "version_after",
    "file", "sha256",   "code", "result", "duration_ms", "loader",  "run_id",         "station"};

int FieldOf(std::string_view key) {
  for (int f = 0; f < kFieldCount; ++f)
    if (kFieldNames[f] == key) return f;
  return -1;
}

bool SetText(std::string& out, const Value& v) {
  if (v.kind != Value::String) return false;
  out = v.text;
  return true;
}

bool SetOptionalText(std::optional<std::string>& out, const Value& v) {
  if (v.kind == Value::Null) {
    out.reset();
    return true;
  }
  if (v.kind != Value::String) return false;
  out = v.text;
  return true;
}

bool SetField(RunRecord& r, int field, const Value& v) {
  switch (field) {
    case kTime:
      return SetText(r.time, v);
    case kWorkflow:
      return SetText(r.workflow, v);
    case kPort:
      return SetText(r.port, v);
    case kPath:
      return SetText(r.path, v);
    case kProduct:
      return SetOptionalText(r.product, v);
    case kVersionBefore:
      return SetOptionalText(r.versionBefore, v);
    case kVersionAfter:
      return SetOptionalText(r.versionAfter, v);
    case kFile:
      return SetOptionalText(r.file, v);
    case kSha256:
      return SetOptionalText(r.sha256, v);
    case kResult:
      return SetText(r.result, v);
    case kLoader:
      return SetText(r.loader, v);
    case kRunId:
      return SetText(r.runId, v);
    case kStation:
      return SetText(r.station, v);
    case kDeviceId:
      if (v.kind == Value::Null) return true;
      if (!v.integer || *v.integer < 0 || *v.integer > std::numeric_limits<std::uint32_t>::max())
        return false;
      r.deviceId = static_cast<std::uint32_t>(*v.integer);
      return true;
    case kCode:
      if (!v.integer || *v.integer < 0 || *v.integer > 255) return false;
      r.code = static_cast<int>(*v.integer);
      return true;
    case kDurationMs:
      if (!v.integer || *v.integer < 0) return false;
      r.durationMs = *v.integer;
      return true;
    default:
      return false;
  }
}

}  // namespace

std::optional<RunRecord> ParseRecordLine(std::string_view line) {
  LineReader in(line);
  RunRecord record;
  std::bitset<kFieldCount> seen;
  if (!in.Take('{')) return std::nullopt;
  if (!in.Take('}')) {
    do {
      std::string key;
      Value value;
      if (!in.ReadString(key) || !in.Take(':') || !in.ReadValue(value)) return std::nullopt;
      const int field = FieldOf(key);
      if (field < 0) continue;  // a field of a later loader
      const auto bit = static_cast<std::size_t>(field);
      if (seen[bit] || !SetField(record, field, value)) return std::nullopt;
      seen[bit] = true;
    } while (in.Take(','));
    if (!in.Take('}')) return std::nullopt;
  }
  if (!in.AtEnd()) return std::nullopt;
  for (int f : {kTime, kWorkflow, kPort, kCode, kResult})
    if (!seen[static_cast<std::size_t>(f)]) return std::nullopt;
  return record;
}

}  // namespace app
