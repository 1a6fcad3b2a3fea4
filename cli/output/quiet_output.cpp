#include "cli/output/quiet_output.h"

namespace cli {

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::vector<std::string> QuietResultLines(Command command, int status, const std::vector<std::string>& held) {
  switch (command) {
    case Command::Ports:
      // The first line is the count.
      if (held.size() <= 1) return {};
      return {held.begin() + 1, held.end()};
    case Command::Check:
      // The report follows the product count of the catalogue.
      for (std::size_t i = 0; i < held.size(); ++i)
        if (EndsWith(held[i], " Product definitions Found."))
          return {held.begin() + static_cast<std::ptrdiff_t>(i) + 1, held.end()};
      return {};
    case Command::History:
      return held;  // the table is the result
    case Command::Connect:
    case Command::RawBoot:
      if (status < 0 || status >= kExitNoWorkflow || held.empty()) return {};
      return {held.back()};
    case Command::Station:
      return {};  // its result lines are written as each device ends
  }
  return {};
}

}  // namespace cli
