#pragma once
// Text from devices, catalogues and the command line reaches the terminal as data: control
// bytes would move the cursor or change the terminal's state, so they are shown as '?' instead.

#include <string>
#include <string_view>

namespace cli {

// `text` with every control character replaced by one '?': the C0 bytes 0x00-0x1F, 0x7F, the
// C1 bytes 0x80-0x9F, and the C1 characters in their UTF-8 form (C2 80 to C2 9F). Every other
// byte passes unchanged: UTF-8 text stays readable, and the Latin-1 letters 0xA0-0xFF of a
// device's text go out as they came. With `keepLineBreaks`, "\r\n", "\r" and "\n" become one
// "\n" each instead.
std::string PrintableText(std::string_view text, bool keepLineBreaks = false);

}  // namespace cli
