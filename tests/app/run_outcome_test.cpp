// The one classification of how a run ended, and the counts built on it.

#include <gtest/gtest.h>

#include <string>

#include "app/production_line.h"
#include "common/load_result.h"

namespace {

TEST(RunOutcome, EveryResultCodeHasItsOutcome) {
  struct Case {
    int code;
    RunOutcome outcome;
  } cases[] = {
      {RESULT_STOPPED, RunOutcome::Stopped},
      {RESULT_OK, RunOutcome::Programmed},
      {RESULT_PORT_OPEN_FAILED, RunOutcome::Failed},
      {RESULT_NO_SINGLE_DEVICE, RunOutcome::Failed},
      {RESULT_BAD_WRITE, RunOutcome::Failed},
      {RESULT_BAD_READ, RunOutcome::Failed},
      {RESULT_BAD_CHECKSUM, RunOutcome::Failed},
      {RESULT_FOREIGN_DEVICE, RunOutcome::Failed},
      {RESULT_AUTH_FAILED, RunOutcome::Failed},
      {RESULT_NO_HEX_FILE, RunOutcome::Failed},
      {RESULT_SAME_VERSION, RunOutcome::Refused},
      {RESULT_DEVICE_NEWER, RunOutcome::Refused},
      {RESULT_HEX_OPEN_FAILED, RunOutcome::Failed},
      {RESULT_BAD_DEVICE_CODE, RunOutcome::Failed},
      {RESULT_ERASE_FAILED, RunOutcome::Failed},
      {RESULT_PROGRAM_FAILED, RunOutcome::Failed},
      {RESULT_USER_CANCELLED, RunOutcome::Refused},
      {RESULT_NOT_APPROVED, RunOutcome::Refused},
      // Codes outside the table (a later loader's record, a damaged line) are failures.
      {-2, RunOutcome::Failed},
      {16, RunOutcome::Failed},
      {18, RunOutcome::Failed},
      {255, RunOutcome::Failed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OutcomeOfResult(c.code), c.outcome) << "code " << c.code;
    // A run on a line: the stop flag wins over any code it carries.
    app::LineOutcome line;
    line.code = c.code;
    EXPECT_EQ(line.outcome(), c.outcome) << "code " << c.code;
    line.stopped = true;
    EXPECT_EQ(line.outcome(), RunOutcome::Stopped) << "code " << c.code;
  }
  // Every row of the table is refused exactly when it is marked a refusal.
  for (const LoadResultInfo& row : kLoadResults) {
    if (row.code != RESULT_OK) {
      EXPECT_EQ(OutcomeOfResult(row.code) == RunOutcome::Refused, row.refusal) << row.name;
    }
  }
}

TEST(RunOutcome, NamesAreTheWordsOfTheReports) {
  EXPECT_EQ(OutcomeName(RunOutcome::Programmed), "programmed");
  EXPECT_EQ(OutcomeName(RunOutcome::Refused), "refused");
  EXPECT_EQ(OutcomeName(RunOutcome::Failed), "failed");
  EXPECT_EQ(OutcomeName(RunOutcome::Stopped), "stopped");
}

TEST(RunOutcome, LineCountsFollowTheOutcomeAndCountAStopAsFailed) {
  app::LineCounts counts;
  for (int code : {0, 0, 9, 10, 15, 13, 2, 200}) {
    app::LineOutcome o;
    o.code = code;
    counts.Add(o);
  }
  app::LineOutcome stopped;
  stopped.stopped = true;
  counts.Add(stopped);
  EXPECT_EQ(counts.devices, 9);
  EXPECT_EQ(counts.programmed, 2);
  EXPECT_EQ(counts.refused, 3);
  EXPECT_EQ(counts.failed, 4);
}

}  // namespace
