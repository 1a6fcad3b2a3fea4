#include "sim/transcript.h"

#include <cinttypes>

namespace sim {

std::string JsonEscape(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c > 0x7E) {
      out += "\\u00";
      out += kDigits[c >> 4];
      out += kDigits[c & 0x0F];
    } else {
      out += ch;
    }
  }
  return out;
}

Event::Event(std::string_view kind) {
  m_fields = R"("kind":")" + JsonEscape(kind) + "\"";
}

Event& Event::Str(std::string_view key, std::string_view value) {
  m_fields += ",\"" + JsonEscape(key) + "\":\"" + JsonEscape(value) + "\"";
  return *this;
}

Event& Event::Int(std::string_view key, long long value) {
  m_fields += ",\"" + JsonEscape(key) + "\":" + std::to_string(value);
  return *this;
}

Event& Event::Bool(std::string_view key, bool value) {
  m_fields += ",\"" + JsonEscape(key) + "\":" + (value ? "true" : "false");
  return *this;
}

Event& Event::Real(std::string_view key, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", value);
  m_fields += ",\"" + JsonEscape(key) + "\":" + buf;
  return *this;
}

Event& Event::Hex32(std::string_view key, std::uint32_t value) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08" PRIx32, value);
  return Str(key, buf);
}

Transcript::~Transcript() {
  if (m_file != nullptr) std::fclose(m_file);
}

bool Transcript::Open(const std::string& path, Clock::time_point start) {
  m_start = start;
  if (path.empty()) return true;
  m_file = std::fopen(path.c_str(), "w");
  return m_file != nullptr;
}

void Transcript::Write(Clock::time_point now, const Event& event) {
  if (m_file == nullptr) return;
  using Seconds = std::chrono::duration<double>;
  const double t = Seconds(now - m_start).count();
  const double mono = Seconds(now.time_since_epoch()).count();
  std::fprintf(m_file, R"({"t":%.6f,"mono":%.6f,"rate":%d,)", t, mono, m_rate);
  std::fputs(event.Fields().c_str(), m_file);
  std::fputs("}\n", m_file);
  std::fflush(m_file);
}

}  // namespace sim
