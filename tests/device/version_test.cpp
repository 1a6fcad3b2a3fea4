#include <gtest/gtest.h>

#include <string>

#include "device/steps.h"

namespace device {
namespace {

TEST(VersionHundredths, ReadsTheLongestDecimalPrefixExactly) {
  struct Case {
    std::string text;
    long long want;
  } cases[] = {
      {"2.01", 201},  // binary floating point would make this 200
      {"2.00", 200},   {"2.10", 210},
      {"2.9", 290},    {"1.70", 170},
      {"3", 300},      {"1.999", 199},  // beyond hundredths: truncated
      {"  1.5x", 150}, {"\t1.70\r\n", 170},
      {"+3.25", 325},  {"-1.25", -125},
      {".5", 50},      {"7.", 700},
      {"1..2", 100},   {"1e3", 100},
      {"0x10", 0},     {"", 0},
      {"abc", 0},      {".", 0},
      {"-", 0},        {" ", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(VersionHundredths(c.text), c.want) << '"' << c.text << '"';
}

TEST(VersionHundredths, AbsurdlyLongDigitStringsStayInRange) {
  const std::string huge(5000, '9');
  const long long big = VersionHundredths(huge);
  EXPECT_GT(big, VersionHundredths("999999999.99"));
  EXPECT_EQ(VersionHundredths(huge + ".5"), big + 50);
  EXPECT_EQ(VersionHundredths("-" + huge), -big);
  EXPECT_EQ(VersionHundredths("1." + huge), 199);
}

}  // namespace
}  // namespace device
