#pragma once
// The one command-line option, "--x" followed by a decimal number whose bits switch features,
// and its named forms. The window and the terminal front end read it with the same code, so
// that one command line means the same to both.

#include <cstddef>
#include <string>
#include <string_view>

namespace app {

// The four option bits.
inline constexpr int kOptionOffline = 1;
inline constexpr int kOptionAllowOlder = 2;
inline constexpr int kOptionAllowReload = 4;
inline constexpr int kOptionKeepUntagged = 8;
inline constexpr int kKnownOptionBits =
    kOptionOffline | kOptionAllowOlder | kOptionAllowReload | kOptionKeepUntagged;

// The option's number and the four flags its bits switch, decoded once when it is made.
class Options {
 public:
  Options() = default;  // no option given
  // Higher bits than the four are kept in bits() but have no effect.
  explicit Options(int bits);

  int bits() const { return m_nOptions; }
  // Bit 0: no online access.
  bool offline() const { return m_bOffline; }
  // Bit 1: offer to load an older image.
  bool allowOlder() const { return m_bAllowOlder; }
  // Bit 2: offer to reload the same version.
  bool allowReload() const { return m_bAllowReload; }
  // Bit 3: keep firmware files without a readable version tag.
  bool keepUntagged() const { return m_bKeepUntagged; }

 private:
  int m_nOptions = 0;
  bool m_bOffline = false;
  bool m_bAllowOlder = false;
  bool m_bAllowReload = false;
  bool m_bKeepUntagged = false;
};

// Where and how the option was found in an argument string.
struct OptionReading {
  bool found = false;     // the string holds "--x"
  bool readable = false;  // a number followed it
  int value = 0;          // the number; 0 when none was readable
  std::size_t at = 0;     // offset of "--x"
  std::size_t end = 0;    // offset just past the characters the number was read from
};

// Finds the first "--x" (case-sensitive) in the argument string, skips one "=" right after
// it, and reads a decimal integer with "%d" semantics (blanks skipped, optional sign) from at
// most the 3 characters that follow.
OptionReading ReadOptionArgument(std::string_view args);

// ReadOptionArgument's value alone: 0 when there is no readable option.
int ParseOptionArgument(const std::string& args);

// The bit of a named option ("--offline" 1, "--allow-older" 2, "--allow-reload" 4,
// "--keep-untagged" 8); 0 for any other argument.
int NamedOptionBit(std::string_view argument);

// The argument string (arguments after the program name, joined by blanks).
std::string JoinArguments(int argc, const char* const* argv);

}  // namespace app
