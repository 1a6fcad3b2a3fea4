// The terminal front end's command line, from a table of argument lists.

#include "cli/command/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

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
  EXPECT_EQ(r.line.ports.empty() ? 0 : r.line.ports.front().number, c.port);
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
        GoodCase{{"--x8"}, Command::Connect, 8, Answers::Ask, 0},
        GoodCase{{"--x+5"}, Command::Connect, 5, Answers::Ask, 0},
        GoodCase{{"--offline", "check"}, Command::Check, 1, Answers::Ask, 0},
        GoodCase{{"--allow-older", "--allow-reload"}, Command::Connect, 6, Answers::Ask, 0},
        GoodCase{{"--x", "1", "--keep-untagged"}, Command::Connect, 9, Answers::Ask, 0},
        GoodCase{{"--offline", "--x=1"}, Command::Connect, 1, Answers::Ask, 0},  // OR, not a sum
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
        BadCase{{"--port", "COM03"}, "'COM03'"}, BadCase{{"--port", "ttyS0"}, "'ttyS0'"},
        BadCase{{"--x", "1", "--x", "2"}, "only once"}, BadCase{{"--x16"}, "'16'"},
        BadCase{{"--x=-8"}, "'-8'"}, BadCase{{"--x", "0015"}, "'0015'"}, BadCase{{"--x8z"}, "'8z'"},
        BadCase{{"--port", "/dev/a--x1"}, "--port"},
        BadCase{{"--port=/dev/a--x1"}, "--x must begin an argument"}, BadCase{{"--port", "--x1"}, "--port"},
        BadCase{{"--port", "/dev/ttyS0", "ports"}, "--port"}, BadCase{{"--port", "COM2", "check"}, "--port"},
        BadCase{{"ports", "--port", "COM2"}, "--port"},
        // An argument is shown as data: no control bytes reach the terminal.
        BadCase{{"--\x1b[2J"}, "'--?[2J'"}));

TEST(CommandLine, PortTakesADevicePathAndSeveralPortsAreAllKept) {
  ParseResult r = ParseCommandLine({"--port", "/dev/serial/by-id/usb-x-if00-port0", "raw-boot"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.line.ports, (std::vector<PortArgument>{{0, "/dev/serial/by-id/usb-x-if00-port0"}}));
  EXPECT_FALSE(SeveralPorts(r.line));
  r = ParseCommandLine({"--port=/dev/ttyUSB0", "--port", "COM2", "--no"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_TRUE(SeveralPorts(r.line));
  EXPECT_EQ(r.line.ports, (std::vector<PortArgument>{{0, "/dev/ttyUSB0"}, {2, ""}}));
  r = ParseCommandLine({"--all-ports", "--yes", "connect"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_TRUE(r.line.allPorts);
  EXPECT_TRUE(SeveralPorts(r.line));
}

TEST(CommandLine, SeveralPortsNeedAnAnswerForEveryBoxAndConnect) {
  struct Case {
    std::vector<std::string> args;
    const char* fault;  // part of the error
  } cases[] = {
      {{"--port", "COM1", "--port", "COM2"}, "--yes or --no is required"},
      {{"--all-ports"}, "--yes or --no is required"},
      {{"--yes", "--port", "COM1", "--port", "COM2", "raw-boot"}, "raw-boot takes one port only"},
      {{"--yes", "--all-ports", "raw-boot"}, "raw-boot takes one port only"},
      {{"--yes", "--all-ports", "--port", "COM1"}, "cannot be used together"},
      {{"--yes", "--all-ports", "check"}, "--all-ports applies to connect and station only"},
      {{"--yes", "--port", "COM1", "--port", "com1"}, "names a port twice"},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    EXPECT_NE(r.error.find(c.fault), std::string::npos)
        << ::testing::PrintToString(c.args) << ": " << r.error;
  }
}

// A station asks nobody and needs its ports; --skip-port thins --all-ports, for stations and
// production lines alike.
TEST(CommandLine, StationAndSkipPort) {
  ParseResult r = ParseCommandLine({"--yes", "--port", "COM3", "station"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.line.command, Command::Station);
  EXPECT_TRUE(SeveralPorts(r.line));
  r = ParseCommandLine({"--yes", "--all-ports", "--skip-port", "COM1", "--skip-port=/dev/ttyS0", "station"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.line.skipPorts, (std::vector<PortArgument>{{1, ""}, {0, "/dev/ttyS0"}}));
  r = ParseCommandLine({"--no", "--all-ports", "--skip-port", "com2", "connect"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.line.skipPorts, (std::vector<PortArgument>{{2, ""}}));

  struct Case {
    std::vector<std::string> args;
    const char* fault;  // part of the error
  } cases[] = {
      {{"--port", "COM1", "station"}, "station needs --yes"},
      {{"--no", "--port", "COM1", "station"}, "station needs --yes"},
      {{"--yes", "station"}, "station needs --port (one or more) or --all-ports"},
      {{"--yes", "--all-ports", "--port", "COM1", "station"}, "cannot be used together"},
      {{"--yes", "--port", "COM1", "--skip-port", "COM2", "station"},
       "--skip-port applies to --all-ports only"},
      {{"--yes", "--all-ports", "--skip-port", "COM33", "station"},
       "--skip-port needs a port name COM1 to COM32"},
      {{"--yes", "--all-ports", "--skip-port"}, "--skip-port needs a port name"},
      {{"--yes", "--all-ports", "--skip-port", "COM2", "--skip-port", "com2"},
       "--skip-port names a port twice"},
  };
  for (const Case& c : cases) {
    const ParseResult parsed = ParseCommandLine(c.args);
    EXPECT_NE(parsed.error.find(c.fault), std::string::npos)
        << ::testing::PrintToString(c.args) << ": " << parsed.error;
  }
}

TEST(CommandLine, QuietAndVerbose) {
  EXPECT_FALSE(ParseCommandLine({}).line.quiet);
  EXPECT_FALSE(ParseCommandLine({}).line.verbose);
  EXPECT_TRUE(ParseCommandLine({"-q"}).line.quiet);
  EXPECT_TRUE(ParseCommandLine({"check", "--quiet"}).line.quiet);
  EXPECT_TRUE(ParseCommandLine({"-v"}).line.verbose);
  const ParseResult both = ParseCommandLine({"--verbose", "-q", "ports"});
  ASSERT_TRUE(both.ok()) << both.error;
  EXPECT_TRUE(both.line.quiet && both.line.verbose);
}

// The window reads --x from its arguments joined by blanks; the terminal front end must run
// with exactly that number, or refuse the command line, but never read another.
TEST(CommandLine, ReadsTheOptionNumberAsTheWindowDoes) {
  const std::vector<std::vector<std::string>> lines = {
      {},
      {"--x8"},
      {"--x", "8"},
      {"--x=8"},
      {"--x", "15"},
      {"--x15", "check"},
      {"--x", " 7"},
      {"--x", "  7"},
      {"--x+4"},
      {"--x", "-1"},
      {"--x-0"},
      {"--x", "12345"},
      {"--x123"},
      {"--x", "abc"},
      {"--xab"},
      {"--X1"},
      {"--x2", "--x4"},
      {"--x", "2", "--x", "4"},
      {"foo--x1"},
      {"--port", "/dev/a--x3"},
      {"--port=COM1--x3"},
      {"--x"},
      {"--x="},
      {"--x=", "8"},
      {"--x", ""},
      {"--x", "", "8"},
      {"--x", "0"},
      {"--x", "008"},
      {"--x", "0008"},
      {"--x8", "--offline"},
      {"--keep-untagged", "--x", "1"},
      {"--yes", "--x", "4", "--port", "COM3"},
      {"---x1"},
      {"--x\t3"},
      {"--x", "\t3"},
      {"--record", "r--x1", "history"},
      {"--record", "--x1"},
      {"--record", "--offline"},
      {"--record", "r.jsonl", "--x", "4"},
      {"--record-db", "service=vor--x=1", "sync"},
      {"--record-db=service=vor--x1", "history"},
  };
  for (const std::vector<std::string>& args : lines) {
    std::vector<const char*> argv = {"vorloader"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    const app::Options window(
        app::ParseOptionArgument(app::JoinArguments(static_cast<int>(argv.size()), argv.data())));

    const ParseResult cli = ParseCommandLine(args);
    std::string shown;
    for (const std::string& a : args) shown += "[" + a + "]";
    if (!cli.ok()) {
      EXPECT_EQ(cli.error.rfind("vorloader-cli: ", 0), 0u) << shown;
      continue;
    }
    int named = 0;
    for (const std::string& a : args) named |= app::NamedOptionBit(a);
    EXPECT_EQ(cli.line.options, window.bits() | named) << shown;
    const app::Options fromCli(cli.line.options);
    // Named options aside, the four flags are the window's.
    if (named == 0) {
      EXPECT_EQ(fromCli.offline(), window.offline()) << shown;
      EXPECT_EQ(fromCli.allowOlder(), window.allowOlder()) << shown;
      EXPECT_EQ(fromCli.allowReload(), window.allowReload()) << shown;
      EXPECT_EQ(fromCli.keepUntagged(), window.keepUntagged()) << shown;
    }
  }
}

// Which of those the front end accepts: a number the window reads whole, within the four bits.
TEST(CommandLine, RefusesOptionNumbersTheWindowWouldReadDifferently) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
  };
  const std::vector<Case> cases = {
      {{"--x", "8"}, true},      {{"--x=8"}, true},        {{"--x", " 7"}, true},
      {{"--x", "08"}, true},     {{"--x-0"}, true},        {{"--x", "008"}, false},  // the window reads " 00"
      {{"--x", "12345"}, false}, {{"--x123"}, false},      {{"--x", "-1"}, false},
      {{"--x", "  7"}, false},   {{"--x", "   7"}, false}, {{"foo--x1"}, false},
      {{"--x2", "--x4"}, false}, {{"--x"}, false},         {{"--x", ""}, false},
      {{"--x", "", "8"}, true},  {{"---x1"}, false},       {{"--port=a--x1"}, false},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += "[" + a + "]";
    const ParseResult r = ParseCommandLine(c.args);
    EXPECT_EQ(r.ok(), c.ok) << shown << " " << r.error;
  }
}

TEST(CommandLine, HelpAndVersionEndTheParseWhereTheyStand) {
  EXPECT_TRUE(ParseCommandLine({"--help", "--bogus"}).line.help);
  EXPECT_TRUE(ParseCommandLine({"check", "-h"}).line.help);
  EXPECT_TRUE(ParseCommandLine({"--version", "--yes", "--no"}).line.version);
  EXPECT_TRUE(ParseCommandLine({"-V"}).line.version);
  EXPECT_FALSE(ParseCommandLine({"--bogus", "--help"}).ok());
}

TEST(CommandLine, HelpNamesEveryCommandAndOption) {
  const std::string usage = UsageText();
  for (const char* word : {"connect",
                           "raw-boot",
                           "check",
                           "ports",
                           "--x N",
                           "--yes",
                           "--no",
                           "--port COMn",
                           "64",
                           "--offline",
                           "--allow-older",
                           "--allow-reload",
                           "--keep-untagged",
                           "--quiet",
                           "--verbose",
                           "143",
                           "129",
                           "--profile FILE",
                           "--operator NAME",
                           "--work-order TEXT",
                           "VORLOADER_OPERATOR",
                           "17 ",
                           "[[approved]]",
                           "operator-required"})
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  EXPECT_EQ(VersionText().rfind("vorloader-cli ", 0), 0u);
}

}  // namespace
}  // namespace cli
