#include "device/wire_trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace device {
namespace {

using TraceClock = std::chrono::steady_clock;

std::mutex g_traceMutex;
TraceClock::time_point g_lastLine;
bool g_anyLine = false;

// Milliseconds since the previous trace line (0 for the first); call with the mutex held.
long long TakeDelta() {
  const TraceClock::time_point now = TraceClock::now();
  const long long delta =
      g_anyLine ? std::chrono::duration_cast<std::chrono::milliseconds>(now - g_lastLine).count() : 0;
  g_lastLine = now;
  g_anyLine = true;
  return delta;
}

void WriteLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace

WireTrace WireTraceFromEnvironment() {
  const char* v = std::getenv("VORLOADER_TRACE");
  return v != nullptr && std::strcmp(v, "1") == 0 ? WireTrace::On : WireTrace::Off;
}

std::string FormatTraceLine(long long deltaMs, std::string_view direction,
                            std::span<const std::uint8_t> bytes, std::string_view port) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line = "vor-trace +" + std::to_string(deltaMs) + "ms ";
  if (!port.empty()) {
    line += port;
    line += ' ';
  }
  line += direction;
  line += ' ';
  line += std::to_string(bytes.size());
  line += ':';
  if (bytes.empty()) line += " -";
  for (std::uint8_t b : bytes) {
    line += ' ';
    line += kHex[b >> 4];
    line += kHex[b & 0x0F];
  }
  return line;
}

void WriteTraceBytes(std::string_view port, std::string_view direction, std::span<const std::uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(g_traceMutex);
  WriteLine(FormatTraceLine(TakeDelta(), direction, bytes, port));
}

void WriteTraceEvent(std::string_view port, std::string_view text) {
  std::lock_guard<std::mutex> lock(g_traceMutex);
  std::string line = "vor-trace +" + std::to_string(TakeDelta()) + "ms ";
  if (!port.empty()) {
    line += port;
    line += ' ';
  }
  line += "-- ";
  line += text;
  WriteLine(line);
}

}  // namespace device
