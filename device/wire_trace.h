#pragma once
// The opt-in wire trace: every byte a traced link writes or reads goes to stderr as one line
// with its direction, the bytes in hex and the milliseconds since the previous trace line. It
// never reaches the information log. Whether a link is traced is a value the front end hands
// to it (-v, or VORLOADER_TRACE=1 read once at start).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace device {

enum class WireTrace { Off, On };

// On when VORLOADER_TRACE is "1": read once, by a front end at start.
WireTrace WireTraceFromEnvironment();

// "vor-trace +12ms COM3 tx 5: BF 00 00 00 00"; with no bytes, "vor-trace +12ms COM3 rx 0: -".
// Without a port name the name and its blank are left out.
std::string FormatTraceLine(long long deltaMs, std::string_view direction,
                            std::span<const std::uint8_t> bytes, std::string_view port = {});

// Writes one line to stderr: the bytes of a transfer, or a link event ("open COM3 at 57600",
// "close"). `port` names the link, so that the lines of several links at once can be told
// apart. From any thread: lines never mix.
void WriteTraceBytes(std::string_view port, std::string_view direction, std::span<const std::uint8_t> bytes);
void WriteTraceEvent(std::string_view port, std::string_view text);

}  // namespace device
