#include "cli/command/command_result.h"

#include "common/load_result.h"

namespace cli {

std::vector<std::string> QuietResultLines(Command command, const CommandResult& result) {
  switch (command) {
    case Command::Ports: {
      std::vector<std::string> lines;
      for (const PortEntry& port : result.ports) lines.push_back(port.comName());
      return lines;
    }
    case Command::Check:
      return result.status >= kExitNoWorkflow ? std::vector<std::string>{} : result.fileCheck;
    case Command::History:
    case Command::Sync:
    case Command::Report:
      return result.table;  // the table, or the count delivered, is the result
    case Command::Connect:
    case Command::RawBoot: {
      // A workflow's result, 17 among them; not the front end's own statuses (16, 64, signals).
      const LoadResultInfo* info = FindLoadResult(result.status);
      if (info == nullptr) return {};
      return {std::string(info->logMessage)};
    }
    case Command::Station:
      return {};  // its result lines are written as each device ends
  }
  return {};
}

}  // namespace cli
