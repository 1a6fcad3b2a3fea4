// The station window's set-up from its command line and station profile: the profile read (a
// bad one refused before any window, naming its line), its ports as panels, its option bits
// and records under the command line's, and where the operator comes from.

#include "window/station/station_set_up.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/fixtures/temp_dir.h"
#include "window/command_line.h"

namespace {

using Args = std::vector<std::string>;

// Ports COMn at /dev/ttyUSBn-1 that never open.
struct NamedPorts final : platform::PortOpener {
  std::unique_ptr<platform::SerialPort> Open(int /*number*/, platform::OpenError& /*error*/) override {
    return nullptr;
  }
  std::string PathOf(int number) const override { return "/dev/ttyUSB" + std::to_string(number - 1); }
};

class StationSetUp : public ::testing::Test {
 protected:
  testing_support::TempDir dir{"vor-window-profile"};
  NamedPorts opener;
  std::map<std::string, std::string> environment;

  std::string Profile(const std::string& text) const {
    const std::string path = dir.Path("line3.toml");
    std::ofstream(path) << text;
    return path;
  }
  app::Environment Env() const {
    return [this](const char* name) -> std::optional<std::string> {
      const auto it = environment.find(name);
      return it == environment.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
  }
  device::PortList Listed(std::vector<int> numbers) const {
    device::PortList list;
    for (int n : numbers) list.entries.push_back(opener.Describe(n));
    return list;
  }
  window::StationStart Plan(const Args& args, const device::PortList& listed) const {
    const window::WindowParse parsed = window::ParseWindowCommandLine(args);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    return window::PlanStationStart(parsed.line, listed, opener, Env());
  }
};

std::vector<int> Numbers(const std::vector<PortEntry>& ports) {
  std::vector<int> numbers;
  for (const PortEntry& p : ports) numbers.push_back(p.number);
  return numbers;
}

TEST_F(StationSetUp, WithoutAProfileEveryListedPortAndTheCommandLine) {
  environment["VORLOADER_OPERATOR"] = "Cy";
  const window::StationStart s = Plan({"--station", "--x", "4", "--work-order", "WO-1"}, Listed({1, 3}));
  EXPECT_EQ(Numbers(s.ports), (std::vector<int>{1, 3}));
  EXPECT_EQ(s.optionBits, 4);
  EXPECT_EQ(s.setUp.operatorName, "Cy");
  EXPECT_EQ(s.setUp.workOrder, "WO-1");
  EXPECT_EQ(s.site.workOrder, "WO-1");
  EXPECT_EQ(s.setUp.profileName, "");
  EXPECT_FALSE(s.site.approved);
  EXPECT_EQ(s.recordFile, "");
}

TEST_F(StationSetUp, AProfileSetsPortsOptionsRecordsAndWhatTheRunsAreUnder) {
  const std::string file = Profile(
      "name = \"Line 3\"\nports = [\"com4\", \"/dev/ttyUSB0\", \"COM9\", \"LPT1\"]\nallow-older = true\n"
      "record = \"line3.jsonl\"\nrecord-db = \"service=line3\"\noperator-required = true\noperator = \"Bo\"\n"
      "work-order = \"WO-7\"\n[[approved]]\nsha256 = \"" +
      std::string(64, 'a') + "\"\n");
  const window::StationStart s = Plan({"--station", "--profile", file}, Listed({1, 4}));
  // COM9 is not there yet: it gets its panel and waits. LPT1 is no port.
  EXPECT_EQ(Numbers(s.ports), (std::vector<int>{4, 1, 9}));
  ASSERT_EQ(s.notes.size(), 1u);
  EXPECT_EQ(s.notes[0], "The profile's port LPT1 (line 2) is none of the ports COM1 to COM32.");
  EXPECT_EQ(s.optionBits, 2);
  EXPECT_EQ(s.recordFile, dir.Path("line3.jsonl")) << "beside the profile";
  EXPECT_EQ(s.recordDb, "service=line3");
  EXPECT_EQ(s.setUp.profileName, "Line 3");
  EXPECT_TRUE(s.setUp.operatorRequired);
  EXPECT_EQ(s.setUp.operatorName, "Bo");
  EXPECT_EQ(s.setUp.workOrder, "WO-7");
  EXPECT_EQ(s.site.profileName, "Line 3");
  EXPECT_EQ(s.site.profileSha256.size(), 64u);
  ASSERT_TRUE(s.site.approved);
  EXPECT_EQ(s.site.approved->size(), 1u);

  const app::Environment env = window::StationEnvironment(s, Env());
  EXPECT_EQ(env("VORLOADER_HISTORY"), dir.Path("line3.jsonl"));
  EXPECT_EQ(env("VORLOADER_RECORD_DB"), "service=line3");
  EXPECT_EQ(env("VORLOADER_PROGRAMDATA"), std::nullopt);
}

TEST_F(StationSetUp, TheCommandLineOverridesTheProfile) {
  const std::string file = Profile(
      "name = \"L\"\nall-ports = true\nskip-ports = [\"COM2\"]\nx = 6\noperator = \"Bo\"\nwork-order = "
      "\"W\"\n");
  environment["VORLOADER_OPERATOR"] = "Cy";
  const window::StationStart fromEnv = Plan({"--station", "--profile", file}, Listed({1, 2, 3}));
  EXPECT_EQ(Numbers(fromEnv.ports), (std::vector<int>{1, 3}));
  EXPECT_EQ(fromEnv.optionBits, 6);
  EXPECT_EQ(fromEnv.setUp.operatorName, "Cy");
  const window::StationStart given =
      Plan({"--station", "--profile", file, "--offline", "--operator", "Ana", "--work-order", "WO-9"},
           Listed({1}));
  EXPECT_EQ(given.optionBits, 1) << "the command line's bits replace the profile's";
  EXPECT_EQ(given.setUp.operatorName, "Ana");
  EXPECT_EQ(given.site.workOrder, "WO-9");
}

TEST(WindowProfileOptions, AreRefusedWithOneLineWhenTheyCannotBeUsed) {
  testing_support::TempDir dir{"vor-window-profile"};
  const std::string bad = dir.Path("bad.toml");
  std::ofstream(bad) << "name = \"L\"\n\ncolour = 1\n";
  struct Case {
    Args args;
    std::string named;
  };
  const Case cases[] = {
      {{"--profile", bad}, "apply to --station only"},
      {{"--operator", "Ana"}, "apply to --station only"},
      {{"--station", "--profile", bad}, "bad.toml line 3: unknown key 'colour'"},
      {{"--station", "--profile", dir.Path("none.toml")}, "none.toml: cannot be read"},
      {{"--station", "--profile"}, "--profile needs a file name"},
      {{"--station", "--operator="}, "--operator needs a name"},
  };
  for (const Case& c : cases) {
    const window::WindowParse r = window::ParseWindowCommandLine(c.args);
    EXPECT_FALSE(r.ok()) << testing::PrintToString(c.args);
    EXPECT_EQ(r.error.rfind("vorloader: ", 0), 0u) << r.error;
    EXPECT_NE(r.error.find(c.named), std::string::npos) << r.error;
  }
}

}  // namespace
