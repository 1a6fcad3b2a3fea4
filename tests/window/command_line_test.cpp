// vorloader's command line: the option bits combined from --x and the named options, the
// station switch, the toolkit's own options let through, and every other argument refused.

#include "window/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

TEST(WindowCommandLine, CombinesTheOptionBitsAndLetsTheToolkitOptionsThrough) {
  struct Case {
    Args args;
    int options;
    bool station;
  };
  const Case cases[] = {
      {{}, 0, false},
      {{"--x", "8"}, 8, false},
      {{"--x8"}, 8, false},
      {{"--x=6"}, 6, false},
      {{"--x", "015"}, 15, false},
      {{"--offline", "--x", "4"}, 5, false},
      {{"--x", "1", "--offline", "--offline"}, 1, false},  // a bit given twice is one bit
      {{"--allow-older", "--allow-reload", "--keep-untagged"}, 14, false},
      {{"--station", "--x", "2"}, 2, true},
      {{"-platform", "offscreen", "--style=fusion", "-reverse"}, 0, false},
  };
  for (const Case& c : cases) {
    const window::WindowParse r = window::ParseWindowCommandLine(c.args);
    const std::string shown = testing::PrintToString(c.args);
    EXPECT_TRUE(r.ok()) << shown << ": " << r.error;
    EXPECT_EQ(r.line.options, c.options) << shown;
    EXPECT_EQ(r.line.station, c.station) << shown;
    EXPECT_FALSE(r.line.help || r.line.version) << shown;
  }
}

TEST(WindowCommandLine, HelpAndVersionInBothFormsEndTheReading) {
  for (const Args& args : {Args{"-h"}, Args{"--help"}, Args{"--x", "1", "-h", "--bogus"}})
    EXPECT_TRUE(window::ParseWindowCommandLine(args).line.help) << testing::PrintToString(args);
  for (const Args& args : {Args{"-V"}, Args{"--version"}, Args{"--station", "-V", "extra"}})
    EXPECT_TRUE(window::ParseWindowCommandLine(args).line.version) << testing::PrintToString(args);
}

TEST(WindowCommandLine, RefusesWhatItDoesNotKnowWithOneLineNamingTheArgument) {
  struct Case {
    Args args;
    const char* named;  // what the error quotes
  };
  const Case cases[] = {
      {{"--bogus"}, "'--bogus'"},
      {{"-x", "1"}, "'-x'"},
      {{"--x"}, "--x needs a number"},
      {{"--x", "16"}, "'16'"},
      {{"--x", "1000"}, "'1000'"},
      {{"--x", "-1"}, "'-1'"},
      {{"--x=8a"}, "'8a'"},
      {{"--x", "1", "--x", "2"}, "'--x'"},
      {{"connect"}, "'connect'"},
      {{"-platform"}, "'-platform'"},
      {{"--x", "\x1b[31m"}, "'?[31m'"},  // shown without control characters
  };
  for (const Case& c : cases) {
    const window::WindowParse r = window::ParseWindowCommandLine(c.args);
    const std::string shown = testing::PrintToString(c.args);
    ASSERT_FALSE(r.ok()) << shown;
    EXPECT_EQ(r.error.rfind("vorloader: ", 0), 0u) << r.error;
    EXPECT_NE(r.error.find(c.named), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("vorloader --help"), std::string::npos) << r.error;
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
  }
}

TEST(WindowCommandLine, DecodesTheBitsOnce) {
  const app::Options options = window::DecodedOptions(app::kOptionOffline | app::kOptionKeepUntagged);
  EXPECT_EQ(options.bits(), 9);
  EXPECT_TRUE(options.offline());
  EXPECT_FALSE(options.allowOlder());
  EXPECT_FALSE(options.allowReload());
  EXPECT_TRUE(options.keepUntagged());
}

}  // namespace
