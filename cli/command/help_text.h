#pragma once
// What `vorloader-cli --help` prints: the usage summary where the manual is a man page, the
// manual itself where there are no man pages (Windows).

#include <string>

namespace cli {

std::string HelpText();

}  // namespace cli
