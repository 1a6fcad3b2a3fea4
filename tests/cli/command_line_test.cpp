// The terminal front end's command line, from a table of argument lists.

#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cli {
namespace {

struct GoodCase {
  std::vector<std::string> args;
  Command command;
  int options;
  Answers answers;
  int port;
};

class GoodCommandLine : public ::testing::TestWithParam<GoodCase> {};

TEST_P(GoodCommandLine, Parses) {
  const GoodCase& c = GetParam();
  const ParseResult r = ParseCommandLine(c.args);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.line.command, c.command);
  EXPECT_EQ(r.line.options, c.options);
  EXPECT_EQ(r.line.answers, c.answers);
  EXPECT_EQ(r.line.port, c.port);
  EXPECT_FALSE(r.line.help);
  EXPECT_FALSE(r.line.version);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GoodCommandLine,
    ::testing::Values(
        GoodCase{{}, Command::Connect, 0, Answers::Ask, 0},
        GoodCase{{"connect"}, Command::Connect, 0, Answers::Ask, 0},
        GoodCase{{"raw-boot"}, Command::RawBoot, 0, Answers::Ask, 0},
        GoodCase{{"check"}, Command::Check, 0, Answers::Ask, 0},
        GoodCase{{"ports"}, Command::Ports, 0, Answers::Ask, 0},
        GoodCase{{"--x", "5", "check"}, Command::Check, 5, Answers::Ask, 0},
        GoodCase{{"check", "--x=12"}, Command::Check, 12, Answers::Ask, 0},
        GoodCase{{"--x", "1", "--x", "2"}, Command::Connect, 2, Answers::Ask, 0},
        GoodCase{{"--yes"}, Command::Connect, 0, Answers::Yes, 0},
        GoodCase{{"--no", "--no", "raw-boot"}, Command::RawBoot, 0, Answers::No, 0},
        GoodCase{{"--port", "COM3"}, Command::Connect, 0, Answers::Ask, 3},
        GoodCase{{"raw-boot", "--port=com32", "--yes"}, Command::RawBoot, 0, Answers::Yes, 32},
        GoodCase{{"--port", "Com1", "--x", "15", "--no", "connect"}, Command::Connect, 15, Answers::No, 1}));

struct BadCase {
  std::vector<std::string> args;
  std::string named;  // what the message must mention
};

class BadCommandLine : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadCommandLine, IsRejectedWithOneLine) {
  const BadCase& c = GetParam();
  const ParseResult r = ParseCommandLine(c.args);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error.rfind("vorloader-cli: ", 0), 0u) << r.error;
  EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
  EXPECT_NE(r.error.find(c.named), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadCommandLine,
    ::testing::Values(
        BadCase{{"--bogus"}, "'--bogus'"}, BadCase{{"-x", "1"}, "'-x'"},
        BadCase{{"--yes", "--no"}, "--yes and --no"}, BadCase{{"--no", "check", "--yes"}, "--yes and --no"},
        BadCase{{"frobnicate"}, "'frobnicate'"}, BadCase{{"check", "ports"}, "'ports'"},
        BadCase{{"--x"}, "--x"}, BadCase{{"--x", "abc"}, "'abc'"}, BadCase{{"--x", "-1"}, "'-1'"},
        BadCase{{"--x", "1234567890"}, "'1234567890'"}, BadCase{{"--port"}, "--port"},
        BadCase{{"--port", "COM0"}, "'COM0'"}, BadCase{{"--port", "COM33"}, "'COM33'"},
        BadCase{{"--port", "COM03"}, "'COM03'"}, BadCase{{"--port", "/dev/ttyS0"}, "'/dev/ttyS0'"},
        BadCase{{"--port", "COM2", "check"}, "--port"}, BadCase{{"ports", "--port", "COM2"}, "--port"},
        // An argument is shown as data: no control bytes reach the terminal.
        BadCase{{"--\x1b[2J"}, "'--?[2J'"}));

TEST(CommandLine, HelpAndVersionEndTheParseWhereTheyStand) {
  EXPECT_TRUE(ParseCommandLine({"--help", "--bogus"}).line.help);
  EXPECT_TRUE(ParseCommandLine({"check", "-h"}).line.help);
  EXPECT_TRUE(ParseCommandLine({"--version", "--yes", "--no"}).line.version);
  EXPECT_TRUE(ParseCommandLine({"-V"}).line.version);
  EXPECT_FALSE(ParseCommandLine({"--bogus", "--help"}).ok());
}

TEST(CommandLine, HelpNamesEveryCommandAndOption) {
  const std::string usage = UsageText();
  for (const char* word :
       {"connect", "raw-boot", "check", "ports", "--x N", "--yes", "--no", "--port COMn", "64"})
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  EXPECT_EQ(VersionText().rfind("vorloader-cli ", 0), 0u);
}

}  // namespace
}  // namespace cli
