#pragma once
// The opt-in wire trace: with VORLOADER_TRACE=1 every byte the link writes or reads goes to
// stderr as one line with its direction, the bytes in hex and the milliseconds since the
// previous trace line. It never reaches the information log.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace device {

bool WireTraceEnabled();

// "vor-trace +12ms COM3 tx 5: BF 00 00 00 00"; with no bytes, "vor-trace +12ms COM3 rx 0: -".
// Without a port name the name and its blank are left out.
std::string FormatTraceLine(long long deltaMs, std::string_view direction,
                            std::span<const std::uint8_t> bytes, std::string_view port = {});

// Write one line to stderr when tracing is on: the bytes of a transfer, or a link event
// ("open COM3 at 57600", "close"). `port` names the link, so that the lines of several
// links at once can be told apart.
void TraceBytes(std::string_view port, std::string_view direction, std::span<const std::uint8_t> bytes);
void TraceEvent(std::string_view port, std::string_view text);

}  // namespace device
