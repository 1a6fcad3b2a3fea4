#include "cli/command/station_result_line.h"

#include "app/record/run_record.h"
#include "cli/output/terminal_text.h"

namespace cli {

std::string TerminalStationResultLine(const app::StationOutcome& outcome) {
  return outcome.run.port.comName() + ": " +
         PrintableText(app::Latin1ToUtf8(app::StationResultLine(outcome)));
}

}  // namespace cli
