#include "app/options.h"

#include <cctype>

namespace app {

void Options::ApplyBits() {
  m_bOffline = (m_nOptions & 1) != 0;
  m_bAllowOlder = (m_nOptions & 2) != 0;
  m_bAllowReload = (m_nOptions & 4) != 0;
  m_bKeepUntagged = (m_nOptions & 8) != 0;
}

int ParseOptionArgument(const std::string& args) {
  const std::size_t p = args.find("--x");
  if (p == std::string::npos) return 0;
  // "%d" on at most three characters: blanks, an optional sign, then digits.
  const std::string field = args.substr(p + 3, 3);
  std::size_t i = 0;
  while (i < field.size() && std::isspace(static_cast<unsigned char>(field[i]))) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  int value = 0;
  bool any = false;
  for (; i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])); ++i) {
    value = value * 10 + (field[i] - '0');
    any = true;
  }
  if (!any) return 0;
  return negative ? -value : value;
}

std::string JoinArguments(int argc, const char* const* argv) {
  std::string out;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) out += ' ';
    out += argv[i];
  }
  return out;
}

}  // namespace app
