// The live progress line: layout at different widths, the time-left estimate, redraw pacing.

#include "cli/output/progress_bar.h"

#include <gtest/gtest.h>

#include <string>

namespace cli {
namespace {

struct LineCase {
  StreamProgress p;
  std::optional<double> secondsLeft;
  std::size_t width;
  std::string line;
};

class ProgressLine : public ::testing::TestWithParam<LineCase> {};

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
  EXPECT_EQ(EstimateSecondsLeft({100, 1000, 10.0}, 100, 1.0), std::nullopt);  // nothing sent since
  EXPECT_EQ(EstimateSecondsLeft({200, 1000, 20.0}, 100, 0.0), std::nullopt);  // no time passed
  EXPECT_DOUBLE_EQ(*EstimateSecondsLeft({300, 1000, 30.0}, 100, 2.0), 7.0);   // 100 B/s, 700 left
  EXPECT_DOUBLE_EQ(*EstimateSecondsLeft({1000, 1000, 100.0}, 100, 2.0), 0.0);
  EXPECT_EQ(EstimateSecondsLeft({0, 0, 0.0}, 0, 1.0), std::nullopt);
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
