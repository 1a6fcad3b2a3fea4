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
      return result.table;  // the table, or the count delivered, is the result
    case Command::Connect:
    case Command::RawBoot: {
      if (result.status < 0 || result.status >= kExitNoWorkflow) return {};
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
