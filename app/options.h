#pragma once
// The one command-line option, "--x" followed by a decimal number whose bits switch features.

#include <string>

namespace app {

struct Options {
  int m_nOptions = 0;
  bool m_bOffline = false;       // bit 0: no online access
  bool m_bAllowOlder = false;    // bit 1: offer to load an older image
  bool m_bAllowReload = false;   // bit 2: offer to reload the same version
  bool m_bKeepUntagged = false;  // bit 3: keep firmware files without a readable version tag

  // Sets the four flags from the bits of m_nOptions.
  void ApplyBits();
};

// Finds the first "--x" (case-sensitive) in the argument string and reads a decimal integer
// with "%d" semantics from at most the 3 characters after it; 0 when there is none.
int ParseOptionArgument(const std::string& args);

// The argument string (arguments after the program name, joined by blanks).
std::string JoinArguments(int argc, const char* const* argv);

}  // namespace app
