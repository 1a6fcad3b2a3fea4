#include "app/options.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct OptionCase {
  std::string args;
  int value;
  bool offline, older, reload, untagged;
};

class OptionParsing : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionParsing, ReadsTheFirstXOptionIntoTheFourFlags) {
  const OptionCase& c = GetParam();
  const app::Options o(app::ParseOptionArgument(c.args));
  EXPECT_EQ(o.bits(), c.value) << c.args;
  EXPECT_EQ(o.offline(), c.offline) << c.args;
  EXPECT_EQ(o.allowOlder(), c.older) << c.args;
  EXPECT_EQ(o.allowReload(), c.reload) << c.args;
  EXPECT_EQ(o.keepUntagged(), c.untagged) << c.args;
}

INSTANTIATE_TEST_SUITE_P(
    ArgumentStrings, OptionParsing,
    ::testing::Values(
        OptionCase{"--x8", 8, false, false, false, true}, OptionCase{"--x15", 15, true, true, true, true},
        OptionCase{"--x 4", 4, false, false, true, false},     // blank before the number
        OptionCase{"--x12345", 123, true, true, false, true},  // three characters only
        OptionCase{"--x-1", -1, true, true, true, true}, OptionCase{"--xab", 0, false, false, false, false},
        OptionCase{"--X1", 0, false, false, false, false},      // case-sensitive
        OptionCase{"--x2 --x4", 2, false, true, false, false},  // first occurrence only
        OptionCase{"", 0, false, false, false, false}, OptionCase{"--x", 0, false, false, false, false},
        OptionCase{"foo--x1", 1, true, false, false, false},   // anywhere in the string
        OptionCase{"--x  7", 7, true, true, true, false},      // "  7": blanks skipped
        OptionCase{"--x   7", 0, false, false, false, false},  // the digit is past 3 characters
        OptionCase{"--x+5", 5, true, false, true, false},
        OptionCase{"--x=8", 8, false, false, false, true},      // "=" as in --name=value
        OptionCase{"--x=12345", 123, true, true, false, true},  // three characters after "="
        OptionCase{"--x==8", 0, false, false, false, false},    // one "=" only
        OptionCase{"--x=", 0, false, false, false, false},
        OptionCase{"--x24", 24, false, false, false, true}));  // bit 4 has no effect

TEST(OptionArguments, SaysWhereTheNumberWasRead) {
  const app::OptionReading none = app::ReadOptionArgument("--yes");
  EXPECT_FALSE(none.found);
  const app::OptionReading spaced = app::ReadOptionArgument("--yes --x 12 check");
  EXPECT_TRUE(spaced.found && spaced.readable);
  EXPECT_EQ(spaced.value, 12);
  EXPECT_EQ(spaced.at, 6u);
  EXPECT_EQ(spaced.end, 12u);  // just past "12"
  const app::OptionReading cut = app::ReadOptionArgument("--x12345");
  EXPECT_EQ(cut.end, 6u);  // the window reads "123" and no further
  const app::OptionReading letters = app::ReadOptionArgument("--xab");
  EXPECT_TRUE(letters.found);
  EXPECT_FALSE(letters.readable);
  EXPECT_EQ(letters.value, 0);
}

TEST(OptionArguments, NamedOptionsAreTheFourBits) {
  EXPECT_EQ(app::NamedOptionBit("--offline"), app::kOptionOffline);
  EXPECT_EQ(app::NamedOptionBit("--allow-older"), app::kOptionAllowOlder);
  EXPECT_EQ(app::NamedOptionBit("--allow-reload"), app::kOptionAllowReload);
  EXPECT_EQ(app::NamedOptionBit("--keep-untagged"), app::kOptionKeepUntagged);
  for (const char* other : {"--Offline", "--offline=1", "offline", "--x", ""})
    EXPECT_EQ(app::NamedOptionBit(other), 0) << other;
}

TEST(OptionArguments, JoinsArgumentsAfterTheProgramName) {
  const char* argv[] = {"vorloader", "--x", "4", "extra"};
  EXPECT_EQ(app::JoinArguments(4, argv), "--x 4 extra");
  EXPECT_EQ(app::JoinArguments(1, argv), "");
}

}  // namespace
