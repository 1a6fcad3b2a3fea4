// Feeds arbitrary bytes through the text filter in front of the terminal: whatever comes in,
// no control character may come out.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/output/terminal_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  for (bool keepLineBreaks : {false, true}) {
    const std::string out = cli::PrintableText(in, keepLineBreaks);
    if (out.size() > in.size()) __builtin_trap();
    for (std::size_t i = 0; i < out.size(); ++i) {
      const auto c = static_cast<unsigned char>(out[i]);
      if ((c < 0x20 && !(keepLineBreaks && c == '\n')) || c == 0x7F) __builtin_trap();
      // A C1 control as a UTF-8 character.
      if (c == 0xC2 && i + 1 < out.size() && static_cast<unsigned char>(out[i + 1]) >= 0x80 &&
          static_cast<unsigned char>(out[i + 1]) <= 0x9F)
        __builtin_trap();
      // Bytes 0x80-0x9F may only be continuation bytes of a multi-byte character.
      const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 1;
      bool sequence = length > 1 && i + length <= out.size();
      for (std::size_t k = 1; sequence && k < length; ++k)
        sequence = (static_cast<unsigned char>(out[i + k]) & 0xC0) == 0x80;
      if (sequence)
        i += length - 1;
      else if (c >= 0x80 && c <= 0x9F)
        __builtin_trap();
    }
  }
  return 0;
}
