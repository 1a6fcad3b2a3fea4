#include "cli/output/terminal_text.h"

namespace cli {

namespace {

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence of two or more bytes at `i`, or 0. Its
// continuation bytes are text, not C1 controls.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) return 0;
  const auto second = static_cast<unsigned char>(text[i + 1]);
  // Overlong forms, UTF-16 surrogates and code points beyond U+10FFFF are not UTF-8.
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second > 0x8F))
    return 0;
  return length;
}

}  // namespace

std::string PrintableText(std::string_view text, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (keepLineBreaks && (c == '\r' || c == '\n')) {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += '\n';
    } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) {
      out += '?';
    } else if (const std::size_t length = Utf8SequenceAt(text, i); length > 0) {
      const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
      if (c1)
        out += '?';
      else
        out.append(text.substr(i, length));
      i += length - 1;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace cli
