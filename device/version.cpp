// Firmware versions compared in exact hundredths. Versions are decimal texts ("1.70", "2.9");
// binary floating point would turn 2.01 into 200.999... and call it 2.00, so the digits are
// read as integers instead.

#include "device/version.h"

#include <string>

namespace device {
namespace {

// Beyond this the integer part saturates: no real version comes near it, and the product
// with 100 stays far inside the range of long long.
constexpr long long kIntegerCap = 1'000'000'000'000'000LL;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

long long VersionHundredths(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  long long whole = 0;
  bool anyDigit = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    anyDigit = true;
    whole = whole >= kIntegerCap ? kIntegerCap : whole * 10 + (text[i] - '0');
  }
  if (whole > kIntegerCap) whole = kIntegerCap;

  long long hundredths = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    long long scale = 10;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      anyDigit = true;
      hundredths += (text[i] - '0') * scale;  // digits past the hundredths add nothing
      scale /= 10;
    }
  }
  if (!anyDigit) return 0;
  const long long value = whole * 100 + hundredths;
  return negative ? -value : value;
}

}  // namespace device
