#pragma once
// What vorloader settles before the toolkit starts: a bad command line is refused (a usage
// line on standard error, status 64), "--help" and "--version" print and end, and without a desktop session
// to show the window on, the program says so in one line and names the terminal front end, instead of the
// toolkit aborting.

#include <cstdio>
#include <optional>
#include <string>

#include "window/command_line.h"

namespace window {

// The help text, "Usage: vorloader ..." first.
std::string UsageText();

// The exit status when the program ends here (having written to `out` or `err`), nothing
// when the window should start.
// `parsed` is ParseWindowCommandLine's reading of the same arguments.
std::optional<int> EarlyExit(const WindowParse& parsed, int argc, const char* const* argv, std::FILE* out,
                             std::FILE* err);

}  // namespace window
