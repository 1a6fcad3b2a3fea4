// A station profile under the terminal's command line: what it sets, what the command line
// overrides, where the operator comes from, and the usage errors that name the profile's line.

#include "cli/command/profile_options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/options.h"
#include "cli/command/command_line.h"
#include "tests/support/fixtures/temp_dir.h"

namespace cli {
namespace {

constexpr const char* kSha = "5f3a0000000000000000000000000000000000000000000000000000000000e1";

class ProfileOptions : public ::testing::Test {
 protected:
  testing_support::TempDir dir{"vor-profile-cli"};
  std::map<std::string, std::string> environment;

  std::string Profile(const std::string& text) const {
    const std::string path = dir.Path("line3.toml");
    std::ofstream(path) << text;
    return path;
  }

  app::Environment Env() const {
    return [this](const char* name) -> std::optional<std::string> {
      const auto it = environment.find(name);
      if (it == environment.end()) return std::nullopt;
      return it->second;
    };
  }

  // The command line parsed and the profile applied; the usage error when there is one.
  std::pair<CommandLine, ProfileApplied> Apply(const std::vector<std::string>& args) const {
    ParseResult parsed = ParseCommandLine(args);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    ProfileApplied applied = ApplyProfile(parsed.line, Env());
    return {parsed.line, applied};
  }
};

const std::string kFull = std::string(
                              "name = \"Line 3\"\n"
                              "ports = [\"COM3\", \"COM4\"]\n"
                              "offline = true\n"
                              "allow-reload = true\n"
                              "record = \"line3.jsonl\"\n"
                              "record-db = \"service=line3\"\n"
                              "operator = \"Bo\"\n"
                              "work-order = \"WO-7\"\n"
                              "[[approved]]\n"
                              "sha256 = \"") +
                          kSha + "\"\n";

TEST_F(ProfileOptions, SetsWhatTheCommandLineLeavesOpen) {
  const std::string file = Profile(kFull);
  const auto [line, applied] = Apply({"--yes", "--profile", file, "station"});
  ASSERT_TRUE(applied.ok()) << applied.error;
  ASSERT_EQ(line.ports.size(), 2u);
  EXPECT_EQ(line.ports[0].number, 3);
  EXPECT_EQ(line.ports[1].number, 4);
  EXPECT_EQ(line.options, app::kOptionOffline | app::kOptionAllowReload);
  EXPECT_EQ(line.recordFile, dir.Path("line3.jsonl")) << "a relative record file lies beside the profile";
  EXPECT_EQ(line.recordDb, "service=line3");
  ASSERT_TRUE(applied.site);
  EXPECT_EQ(applied.site->operatorName, "Bo");
  EXPECT_EQ(applied.site->workOrder, "WO-7");
  EXPECT_EQ(applied.site->profileName, "Line 3");
  EXPECT_EQ(applied.site->profileSha256.size(), 64u);
  ASSERT_TRUE(applied.site->approved);
  ASSERT_EQ(applied.site->approved->size(), 1u);
  EXPECT_EQ((*applied.site->approved)[0].sha256, kSha);
}

TEST_F(ProfileOptions, TheCommandLineOverridesIt) {
  const std::string file = Profile(kFull);
  environment["VORLOADER_OPERATOR"] = "Cy";
  const auto [line, applied] = Apply({"--yes", "--profile", file, "--all-ports", "--skip-port", "COM1", "--x",
                                      "0", "--record", "/tmp/r.jsonl", "--record-db", "service=other",
                                      "--operator", "Ana", "--work-order", "WO-8", "station"});
  ASSERT_TRUE(applied.ok()) << applied.error;
  EXPECT_TRUE(line.allPorts);
  EXPECT_TRUE(line.ports.empty()) << "the command line's ports replace the profile's whole";
  ASSERT_EQ(line.skipPorts.size(), 1u);
  EXPECT_EQ(line.options, 0) << "--x 0 replaces the profile's bits";
  EXPECT_EQ(line.recordFile, "/tmp/r.jsonl");
  EXPECT_EQ(line.recordDb, "service=other");
  EXPECT_EQ(applied.site->operatorName, "Ana");
  EXPECT_EQ(applied.site->workOrder, "WO-8");
  EXPECT_EQ(applied.site->profileName, "Line 3");
}

TEST_F(ProfileOptions, TheOperatorComesFromTheCommandLineThenTheEnvironmentThenTheProfile) {
  const std::string file = Profile(kFull);
  EXPECT_EQ(Apply({"--yes", "--profile", file, "station"}).second.site->operatorName, "Bo");
  environment["VORLOADER_OPERATOR"] = "Cy";
  EXPECT_EQ(Apply({"--yes", "--profile", file, "station"}).second.site->operatorName, "Cy");
  EXPECT_EQ(Apply({"--yes", "--profile", file, "--operator", "Ana", "station"}).second.site->operatorName,
            "Ana");
  // Without a profile too, and with nothing approved or refused.
  const auto [line, applied] = Apply({"--yes", "--port", "COM1", "--work-order", "WO-9", "connect"});
  ASSERT_TRUE(applied.ok());
  EXPECT_EQ(applied.site->operatorName, "Cy");
  EXPECT_EQ(applied.site->workOrder, "WO-9");
  EXPECT_EQ(applied.site->profileName, "");
  EXPECT_FALSE(applied.site->approved);
}

struct ProfileUseCase {
  const char* name;
  std::string profile;            // the file's text; empty: no such file
  std::vector<std::string> args;  // before "--profile FILE"
  std::string fault;              // part of the one usage line
};

class BadProfileUse : public ProfileOptions, public ::testing::WithParamInterface<ProfileUseCase> {};

TEST_P(BadProfileUse, IsAUsageErrorThatSaysWhere) {
  const ProfileUseCase& c = GetParam();
  const std::string file = c.profile.empty() ? dir.Path("missing.toml") : Profile(c.profile);
  std::vector<std::string> args = c.args;
  args.insert(args.begin(), {"--profile", file});
  const auto [line, applied] = Apply(args);
  EXPECT_FALSE(applied.ok());
  EXPECT_FALSE(applied.site);
  EXPECT_EQ(applied.error.rfind("vorloader-cli: ", 0), 0u) << applied.error;
  EXPECT_EQ(applied.error.find('\n'), std::string::npos) << applied.error;
  EXPECT_NE(applied.error.find(c.fault), std::string::npos) << applied.error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadProfileUse,
    ::testing::Values(
        ProfileUseCase{"Unreadable", "", {"--yes", "station"}, "missing.toml: cannot be read"},
        ProfileUseCase{"UnknownKey",
                       "name = \"L\"\nports = [\"COM1\"]\ncolour = 1\n",
                       {"--yes", "station"},
                       "line3.toml line 3: unknown key 'colour'"},
        ProfileUseCase{"BadPort",
                       "name = \"L\"\nports = [\"COM1\",\n  \"LPT1\"]\n",
                       {"--yes", "station"},
                       "line3.toml line 3: ports needs port names COM1 to COM32 or device paths, not 'LPT1'"},
        ProfileUseCase{"PortTwice",
                       "name = \"L\"\nports = [\"COM1\", \"com1\"]\n",
                       {"--yes", "station"},
                       "line3.toml line 2: ports names a port twice"},
        ProfileUseCase{"OperatorRequired",
                       "name = \"L\"\nports = [\"COM1\"]\noperator-required = true\n",
                       {"--yes", "station"},
                       "the profile \"L\" requires an operator"},
        ProfileUseCase{"StationWithoutPorts",
                       "name = \"L\"\n",
                       {"--yes", "station"},
                       "station needs --port (one or more) or --all-ports"},
        ProfileUseCase{
            "StationWithoutYes", "name = \"L\"\nports = [\"COM1\"]\n", {"station"}, "station needs --yes"}),
    [](const ::testing::TestParamInfo<ProfileUseCase>& p) { return std::string(p.param.name); });

TEST(ProfileCommandLine, AppliesToConnectAndStationOnly) {
  EXPECT_TRUE(ParseCommandLine({"--profile", "p.toml", "--yes", "station"}).ok());
  EXPECT_TRUE(ParseCommandLine({"--profile=p.toml", "connect"}).ok());
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--profile", "p.toml", "check"},
                                               {"--profile", "p.toml", "raw-boot"},
                                               {"--profile", "p.toml", "history"},
                                               {"--operator", "Ana", "ports"},
                                               {"--work-order", "W", "check"},
                                               {"--profile"},
                                               {"--profile", "--yes", "station"},
                                               {"--operator="},
                                               {"--work-order"}}) {
    const ParseResult r = ParseCommandLine(args);
    EXPECT_FALSE(r.ok()) << ::testing::PrintToString(args);
  }
  const ParseResult r = ParseCommandLine({"--operator", "Ana", "--work-order", "WO 7", "raw-boot"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.line.operatorName, "Ana");
  EXPECT_EQ(r.line.workOrder, "WO 7");
}

}  // namespace
}  // namespace cli
