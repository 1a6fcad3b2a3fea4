#include "cli/command/help_text.h"

#include "cli/command/command_line.h"

namespace cli {

std::string HelpText() {
  return UsageText();
}

}  // namespace cli
