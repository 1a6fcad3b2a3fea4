#include "cli/terminal_text.h"

namespace cli {

std::string PrintableText(std::string_view text, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (keepLineBreaks && (c == '\r' || c == '\n')) {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += '\n';
    } else if (c < 0x20 || c == 0x7F) {
      out += '?';
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace cli
