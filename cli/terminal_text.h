#pragma once
// Text from devices and catalogues reaches the terminal as data: control bytes would move the
// cursor or change the terminal's state, so they are shown as '?' instead.

#include <string>
#include <string_view>

namespace cli {

// `text` with every control byte (0x00-0x1F, 0x7F) replaced by '?'. With `keepLineBreaks`,
// "\r\n", "\r" and "\n" become one "\n" each instead.
std::string PrintableText(std::string_view text, bool keepLineBreaks = false);

}  // namespace cli
