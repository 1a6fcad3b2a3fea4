// The live progress line: layout at different widths, the time-left estimate, redraw pacing.

#include "cli/output/progress_bar.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "common/time_left.h"

namespace cli {
namespace {

struct LineCase {
  StreamProgress p;
  std::optional<double> secondsLeft;
  std::size_t width;
  std::string line;
};

class ProgressLine : public ::testing::TestWithParam<LineCase> {};

// The one "m:ss left" both front ends show: to the nearest second, hours from an hour on, and
// unknown for what cannot be told or lies beyond a day.
TEST(TimeLeftText, RoundsToTheNearestSecondEverywhere) {
  const struct {
    std::optional<double> seconds;
    const char* text;
  } cases[] = {
      {std::nullopt, "--:-- left"},
      {0.0, "0:00 left"},
      {0.4, "0:00 left"},
      {0.5, "0:01 left"},
      {29.4, "0:29 left"},
      {59.6, "1:00 left"},
      {3599.4, "59:59 left"},
      {3599.5, "1:00:00 left"},
      {3725.0, "1:02:05 left"},
      {86400.0, "24:00:00 left"},
      {86400.5, "--:-- left"},
      {-2.0, "0:00 left"},
      {std::numeric_limits<double>::quiet_NaN(), "--:-- left"},
      {std::numeric_limits<double>::infinity(), "--:-- left"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TimeLeftText(c.seconds), c.text) << (c.seconds ? std::to_string(*c.seconds) : "none");
}

TEST_P(ProgressLine, Renders) {
  const LineCase& c = GetParam();
  const std::string line = RenderProgressLine(c.p, c.secondsLeft, c.width);
  EXPECT_EQ(line, c.line);
  EXPECT_LE(line.size(), c.width);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgressLine,
    ::testing::Values(
        // The bar takes what the numbers leave of the width.
        LineCase{
            {0, 1000, 0.0}, std::nullopt, 60, "[-------------------------]   0.0%  0/1000 bytes  --:-- left"},
        LineCase{{400, 1000, 40.0}, 3.4, 60, "[#########---------------]  40.0%  400/1000 bytes  0:03 left"},
        LineCase{
            {1000, 1000, 100.0}, 0.0, 60, "[#######################] 100.0%  1000/1000 bytes  0:00 left"},
        LineCase{{1, 4, 25.0}, 3725.0, 60, "[######--------------------]  25.0%  1/4 bytes  1:02:05 left"},
        // Wide terminals get a bar of at most 40 columns.
        LineCase{{50, 100, 50.0},
                 75.0,
                 200,
                 "[####################--------------------]  50.0%  50/100 bytes  1:15 left"},
        // An estimate beyond a day says nothing.
        LineCase{
            {1, 1000000, 0.0}, 200000.0, 60, "[----------------------]   0.0%  1/1000000 bytes  --:-- left"},
        // Too narrow for a bar: the numbers alone, then the percent alone.
        LineCase{{400, 1000, 40.0}, 3.0, 40, " 40.0%  400/1000 bytes  0:03 left"},
        LineCase{{400, 1000, 40.0}, 3.0, 30, "40.0%"}, LineCase{{1000, 1000, 100.0}, 0.0, 4, "100."}));

TEST(ProgressLine, PercentComesFromTheByteCounts) {
  // A total of 0 falls back to the reported percent, clamped.
  EXPECT_NE(RenderProgressLine({0, 0, 250.0}, std::nullopt, 80).find("100.0%"), std::string::npos);
  EXPECT_NE(RenderProgressLine({5, 0, 42.0}, std::nullopt, 80).find(" 42.0%"), std::string::npos);
}

TEST(ProgressLine, EstimatesTimeLeftFromTheRateSinceTheStart) {
  // A port that cannot tell its line rate: the rate seen so far.
  EXPECT_EQ(EstimateTimeLeft({100, 1000, 10.0}, 100, 1.0).seconds, std::nullopt);  // nothing sent since
  EXPECT_EQ(EstimateTimeLeft({200, 1000, 20.0}, 100, 0.0).seconds, std::nullopt);  // no time passed
  EXPECT_DOUBLE_EQ(*EstimateTimeLeft({300, 1000, 30.0}, 100, 2.0).seconds, 7.0);   // 100 B/s, 700 left
  EXPECT_DOUBLE_EQ(*EstimateTimeLeft({1000, 1000, 100.0}, 100, 2.0).seconds, 0.0);
  EXPECT_EQ(EstimateTimeLeft({0, 0, 0.0}, 0, 1.0).seconds, std::nullopt);
}

// What the port still holds has not left: share and time left count the line alone, at its rate.
TEST(ProgressLine, CountsWhatHasLeftOnTheLineAtTheLineRate) {
  // 10000 handed over, 2000 still in the port's buffer, 9600 bit/s: 960 bytes a second.
  const StreamProgress p{10000, 20000, 50.0, 8000, 9600};
  const TimeLeft estimate = EstimateTimeLeft(p, 0, 1.0);  // the rate seen so far plays no part
  EXPECT_DOUBLE_EQ(estimate.share, 0.4);
  EXPECT_DOUBLE_EQ(*estimate.seconds, 12000.0 / 960.0);
  // All handed over, some still queued: not yet done.
  const TimeLeft end = EstimateTimeLeft({20000, 20000, 100.0, 19040, 9600});
  EXPECT_DOUBLE_EQ(*end.seconds, 1.0);
  EXPECT_LT(end.share, 1.0);
  ProgressBar bar;
  bar.Update({20000, 20000, 100.0, 19040, 9600}, ProgressBar::Clock::now());
  EXPECT_FALSE(bar.finished());
  EXPECT_NE(bar.Line(80).find(" 95.2%  19040/20000 bytes  0:01 left"), std::string::npos) << bar.Line(80);
  bar.Update({20000, 20000, 100.0, 20000, 9600}, ProgressBar::Clock::now());
  EXPECT_TRUE(bar.finished());
}

TEST(ProgressBar, RedrawsAtMostTenTimesASecondButAlwaysFirstAndLast) {
  using namespace std::chrono_literals;
  ProgressBar bar;
  const auto t0 = ProgressBar::Clock::time_point{} + 1h;
  EXPECT_TRUE(bar.Update({50, 1000, 5.0}, t0));
  EXPECT_FALSE(bar.Update({100, 1000, 10.0}, t0 + 10ms));
  EXPECT_TRUE(bar.Update({150, 1000, 15.0}, t0 + 120ms));
  EXPECT_FALSE(bar.Update({200, 1000, 20.0}, t0 + 130ms));
  EXPECT_FALSE(bar.finished());
  EXPECT_TRUE(bar.Update({1000, 1000, 100.0}, t0 + 140ms));
  EXPECT_TRUE(bar.finished());
  // 950 bytes in 140 ms since the first chunk: the line is complete with nothing left.
  EXPECT_NE(bar.Line(80).find("1000/1000 bytes  0:00 left"), std::string::npos);
}

TEST(ProgressBar, LineUsesTheRateSinceTheFirstChunk) {
  using namespace std::chrono_literals;
  ProgressBar bar;
  const auto t0 = ProgressBar::Clock::time_point{} + 1h;
  bar.Update({100, 1000, 10.0}, t0);
  bar.Update({300, 1000, 30.0}, t0 + 2s);  // 100 B/s, 700 bytes left
  EXPECT_NE(bar.Line(80).find("300/1000 bytes  0:07 left"), std::string::npos) << bar.Line(80);
}

}  // namespace
}  // namespace cli
