#pragma once
// The simulator's transcript: one JSON object per line, flushed line by line, so tests can
// read what the device saw and did while it still runs.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace sim {

using Clock = std::chrono::steady_clock;

// One transcript line under construction: its kind and further fields in order.
class Event {
 public:
  explicit Event(std::string_view kind);
  Event& Str(std::string_view key, std::string_view value);
  Event& Int(std::string_view key, long long value);
  Event& Bool(std::string_view key, bool value);
  Event& Real(std::string_view key, double value);          // six decimals
  Event& Hex32(std::string_view key, std::uint32_t value);  // eight lower-case digits, as a string
  const std::string& Fields() const { return m_fields; }

 private:
  std::string m_fields;  // "kind":"...",...
};

class Transcript {
 public:
  Transcript() = default;
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  // An empty path writes nothing. False when the file cannot be created.
  bool Open(const std::string& path, Clock::time_point start);
  // The line rate that later lines report (0 while the loader has set none we can read).
  void SetRate(int rate) { m_rate = rate; }
  void Write(Clock::time_point now, const Event& event);

 private:
  std::FILE* m_file = nullptr;
  Clock::time_point m_start{};
  int m_rate = 0;
};

// `text` as a JSON string body: quotes, backslashes and control bytes escaped; bytes above
// 0x7F written as \u00XX (labels are single-byte text).
std::string JsonEscape(std::string_view text);

}  // namespace sim
