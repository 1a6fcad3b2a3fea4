// A workflow's steps run in order until one fails or a stop is asked for.

#include "app/step_runner.h"

#include <gtest/gtest.h>

#include <string>

namespace app {
namespace {

TEST(StepRunner, RunsStepsUntilTheFirstFailureOrAStop) {
  struct Case {
    const char* name;
    LoadResult second;  // what the second step returns
    bool stopInSecond;  // the second step asks to stop
    LoadResult want;
    std::string ran;
  } cases[] = {
      {"all good", RESULT_OK, false, RESULT_OK, "123"},
      {"second fails", RESULT_ERASE_FAILED, false, RESULT_ERASE_FAILED, "12"},
      {"stop inside a step ends before the next", RESULT_OK, true, RESULT_STOPPED, "12"},
      {"a stop outranks the code of the step it cut short", RESULT_BAD_READ, true, RESULT_STOPPED, "12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::stop_source stop;
    std::string ran;
    const LoadResult got = StepRunner(stop.get_token())
                               .Then([&] { return ran += '1', RESULT_OK; })
                               .Then([&] {
                                 ran += '2';
                                 if (c.stopInSecond) stop.request_stop();
                                 return c.second;
                               })
                               .Then([&] { return ran += '3', RESULT_OK; })
                               .result();
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(ran, c.ran);
  }
}

TEST(StepRunner, AStopBeforeTheFirstStepRunsNothing) {
  std::stop_source stop;
  stop.request_stop();
  bool ran = false;
  EXPECT_EQ(StepRunner(stop.get_token()).Then([&] { return ran = true, RESULT_OK; }).result(),
            RESULT_STOPPED);
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace app
