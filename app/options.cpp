#include "app/options.h"

#include <array>
#include <cctype>

namespace app {

namespace {

struct NamedOption {
  std::string_view name;
  int bit;
};

constexpr std::array<NamedOption, 4> kNamedOptions{{
    {"--offline", kOptionOffline},
    {"--allow-older", kOptionAllowOlder},
    {"--allow-reload", kOptionAllowReload},
    {"--keep-untagged", kOptionKeepUntagged},
}};

}  // namespace

Options::Options(int bits)
    : m_nOptions(bits),
      m_bOffline((bits & kOptionOffline) != 0),
      m_bAllowOlder((bits & kOptionAllowOlder) != 0),
      m_bAllowReload((bits & kOptionAllowReload) != 0),
      m_bKeepUntagged((bits & kOptionKeepUntagged) != 0) {}

OptionReading ReadOptionArgument(std::string_view args) {
  OptionReading r;
  const std::size_t p = args.find("--x");
  if (p == std::string_view::npos) return r;
  r.found = true;
  r.at = p;
  std::size_t start = p + 3;
  // "--x=8" is the spelling most programs take for an option's value; it means "--x8".
  if (start < args.size() && args[start] == '=') ++start;
  r.end = start;
  // "%d" on at most three characters: blanks, an optional sign, then digits.
  const std::string_view field = args.substr(start, 3);
  std::size_t i = 0;
  while (i < field.size() && std::isspace(static_cast<unsigned char>(field[i])) != 0) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  int value = 0;
  for (; i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])) != 0; ++i) {
    value = value * 10 + (field[i] - '0');
    r.readable = true;
  }
  if (!r.readable) return r;
  r.value = negative ? -value : value;
  r.end = start + i;
  return r;
}

int ParseOptionArgument(const std::string& args) {
  return ReadOptionArgument(args).value;
}

int NamedOptionBit(std::string_view argument) {
  for (const NamedOption& o : kNamedOptions)
    if (argument == o.name) return o.bit;
  return 0;
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
