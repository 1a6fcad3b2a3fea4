// The station profile's reader: a table of good profiles and what they set, and a table of bad
// ones with the line and the words of their fault.

#include "app/profile/station_profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/options.h"

namespace {

using app::ParseStationProfile;
using app::StationProfile;

constexpr const char* kSha = "5f3a0000000000000000000000000000000000000000000000000000000000e1";

struct GoodCase {
  const char* name;
  std::string text;
  void (*check)(const StationProfile&);
};

class GoodProfile : public ::testing::TestWithParam<GoodCase> {};

TEST_P(GoodProfile, SetsWhatItSays) {
  const app::ProfileReading r = ParseStationProfile(GetParam().text, "line3.toml");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.error, "");
  GetParam().check(*r.profile);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GoodProfile,
    ::testing::Values(
        GoodCase{"NameAlone", "name = \"Line 3\"\n",
                 [](const StationProfile& p) {
                   EXPECT_EQ(p.name, "Line 3");
                   EXPECT_TRUE(p.ports.empty());
                   EXPECT_FALSE(p.allPorts);
                   EXPECT_EQ(p.options, 0);
                   EXPECT_FALSE(p.optionsGiven);
                   EXPECT_FALSE(p.record);
                   EXPECT_FALSE(p.recordDb);
                   EXPECT_FALSE(p.operatorRequired);
                   EXPECT_FALSE(p.approved) << "no list: every image may be programmed";
                 }},
        GoodCase{"Everything",
                 "# Line 3\n"
                 "name = \"Line 3, amplifiers\"\n"
                 "ports = [\"COM3\", \"/dev/serial/by-id/usb-FTDI-if00\"]\n"
                 "offline = true\n"
                 "allow-reload = true\n"
                 "allow-older = false\n"
                 "record = \"line3.jsonl\"\n"
                 "record-db = \"service=vorloader\"\n"
                 "operator-required = true\n"
                 "operator = \"Ana\"\n"
                 "work-order = \"WO-2291\"\n"
                 "\n"
                 "[[approved]]\n"
                 "sha256 = \"5F3A0000000000000000000000000000000000000000000000000000000000E1\"\n"
                 "version = \"1.30\"\n"
                 "product = \"Amp_One\"\n"
                 "\n"
                 "[[approved]]\n"
                 "sha256 = \"aa00000000000000000000000000000000000000000000000000000000000000\"\n",
                 [](const StationProfile& p) {
                   EXPECT_EQ(p.name, "Line 3, amplifiers");
                   ASSERT_EQ(p.ports.size(), 2u);
                   EXPECT_EQ(p.ports[0], (app::ProfileText{"COM3", 3}));
                   EXPECT_EQ(p.ports[1].text, "/dev/serial/by-id/usb-FTDI-if00");
                   EXPECT_EQ(p.options, app::kOptionOffline | app::kOptionAllowReload);
                   EXPECT_TRUE(p.optionsGiven);
                   EXPECT_EQ(p.record, (app::ProfileText{"line3.jsonl", 7}));
                   EXPECT_EQ(p.recordDb->text, "service=vorloader");
                   EXPECT_TRUE(p.operatorRequired);
                   EXPECT_EQ(p.operatorName, "Ana");
                   EXPECT_EQ(p.workOrder, "WO-2291");
                   ASSERT_TRUE(p.approved);
                   ASSERT_EQ(p.approved->size(), 2u);
                   EXPECT_EQ((*p.approved)[0], (app::ApprovedImage{kSha, "1.30", "Amp_One", 13}))
                       << "the digest is kept in lower case, as records show it";
                   EXPECT_EQ((*p.approved)[1].version, "");
                   EXPECT_EQ((*p.approved)[1].product, "");
                 }},
        GoodCase{"AllPortsWithSkips", "name = \"L\"\nall-ports = true\nskip-ports = [\"COM1\"]\nx = 9\n",
                 [](const StationProfile& p) {
                   EXPECT_TRUE(p.allPorts);
                   ASSERT_EQ(p.skipPorts.size(), 1u);
                   EXPECT_EQ(p.skipPorts[0].text, "COM1");
                   EXPECT_EQ(p.options, 9);
                   EXPECT_TRUE(p.optionsGiven);
                 }},
        GoodCase{"AnEmptyListApprovesNothing", "name = \"L\"\napproved = []\n",
                 [](const StationProfile& p) {
                   ASSERT_TRUE(p.approved);
                   EXPECT_TRUE(p.approved->empty());
                 }},
        GoodCase{"NonAsciiInQuotesAndComments",
                 "# L\xc3\xadnea 3 \xc4\xb0\nname = \"L\xc3\xadnea \\\"3\\\" \xc4\xb0\" # \xe3\x80\x81\n"
                 "operator = 'Jos\xc3\xa9 \xc4\xb0'\n",
                 [](const StationProfile& p) {
                   EXPECT_EQ(p.name, "L\xc3\xadnea \"3\" \xc4\xb0");
                   EXPECT_EQ(p.operatorName, "Jos\xc3\xa9 \xc4\xb0");
                 }},
        GoodCase{"QuotedKeysAndTables",
                 "\"name\" = \"L\"\n[[ \"approved\" ]]\n\"sha256\" = '" + std::string(kSha) +
                     "'\nproduct = \"A\" # after\nversion = \"1.0\"\n",
                 [](const StationProfile& p) {
                   ASSERT_TRUE(p.approved);
                   ASSERT_EQ(p.approved->size(), 1u);
                   EXPECT_EQ((*p.approved)[0].product, "A");
                 }},
        GoodCase{"InlineTables", "name = \"L\"\napproved = [{ sha256 = \"" + std::string(kSha) + "\" }]\n",
                 [](const StationProfile& p) {
                   ASSERT_TRUE(p.approved);
                   ASSERT_EQ(p.approved->size(), 1u);
                   EXPECT_EQ((*p.approved)[0].sha256, kSha);
                 }}),
    [](const ::testing::TestParamInfo<GoodCase>& param) { return std::string(param.param.name); });

struct BadCase {
  const char* name;
  std::string text;
  std::string fault;  // the start of the error, after the file name
};

class BadProfile : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadProfile, IsRefusedNamingTheLine) {
  const app::ProfileReading r = ParseStationProfile(GetParam().text, "line3.toml");
  EXPECT_FALSE(r.ok());
  EXPECT_FALSE(r.profile);
  EXPECT_EQ(r.error.rfind("line3.toml" + GetParam().fault, 0), 0u) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadProfile,
    ::testing::Values(
        BadCase{"UnknownKey", "name = \"L\"\n\ncolour = \"red\"\n", " line 3: unknown key 'colour'"},
        BadCase{"UnknownKeyInApproved",
                "name = \"L\"\n[[approved]]\nsha256 = \"" + std::string(kSha) + "\"\nby = \"me\"\n",
                " line 4: unknown key 'by' in [[approved]]"},
        BadCase{"ASection", "name = \"L\"\n[station]\nports = []\n", " line 2: unknown key 'station'"},
        BadCase{"DottedKey", "name = \"L\"\nline.ports = \"COM1\"\n", " line 2: unknown key 'line'"},
        BadCase{"DottedKnownKey", "name = \"L\"\nports.main = \"COM1\"\n", " line 2: ports must be a list"},
        BadCase{"NotToml", "name = \"L\"\nports = [\"COM1\"\n", " line 2: "},
        BadCase{"DuplicateKey", "name = \"L\"\nname = \"M\"\n", " line 2: "},
        BadCase{"NoName", "ports = [\"COM1\"]\n", " line 1: the profile needs a name"},
        BadCase{"EmptyName", "name = \"\"\n", " line 1: name must not be empty"},
        BadCase{"NameNotText", "name = 3\n", " line 1: name must be a quoted text"},
        BadCase{"ControlInOperator", "name = \"L\"\noperator = \"A\\u001bB\"\n",
                " line 2: operator holds a control character"},
        BadCase{"PortsNotAList", "name = \"L\"\nports = \"COM1\"\n", " line 2: ports must be a list"},
        BadCase{"PortNotText", "name = \"L\"\nports = [\"COM1\",\n 2]\n",
                " line 3: ports must be a quoted text"},
        BadCase{"PortsAndAllPorts", "name = \"L\"\nall-ports = true\nports = [\"COM1\"]\n",
                " line 3: ports and all-ports = true cannot be used together"},
        BadCase{"SkipWithoutAllPorts", "name = \"L\"\nskip-ports = [\"COM1\"]\n",
                " line 2: skip-ports applies to all-ports = true only"},
        BadCase{"OptionNotBool", "name = \"L\"\noffline = 1\n", " line 2: offline must be true or false"},
        BadCase{"XTooLarge", "name = \"L\"\nx = 16\n", " line 2: x takes the bits"},
        BadCase{"EmptyRecord", "name = \"L\"\nrecord = \"\"\n", " line 2: record must not be empty"},
        BadCase{"ApprovedWithoutSha", "name = \"L\"\n[[approved]]\nversion = \"1.30\"\n",
                " line 2: an [[approved]] entry needs its sha256"},
        BadCase{"ShortSha", "name = \"L\"\n[[approved]]\nsha256 = \"5f3a\"\n",
                " line 3: sha256 must be 64 hex digits"},
        BadCase{"ShaNotHex", "name = \"L\"\n[[approved]]\nsha256 = \"" + std::string(63, 'a') + "g\"\n",
                " line 3: sha256 must be 64 hex digits"},
        BadCase{"ApprovedNotTables", "name = \"L\"\napproved = [\"x\"]\n",
                " line 2: each approved entry must be an [[approved]] table"},
        BadCase{"ApprovedNotAList", "name = \"L\"\napproved = true\n", " line 2: approved must be a list"},
        BadCase{"NonAsciiAfterAValue", "name = \"x\"\nx = 1\xc4\xb0\n",
                " line 2: a character that is not ASCII stands outside quotes"},
        BadCase{"NonAsciiKey", "name = \"x\"\n[\xc4\xb0]\n", " line 2: a table name must begin with"},
        BadCase{"TableNameOfPunctuation", "name = \"x\"\n\n  [[ ~a]]\n",
                " line 3: a table name must begin with"},
        BadCase{"BraceAsAnElement", "name = \"x\"\nports = [\"COM1\", # c\n\n }]\n",
                " line 4: a \"}\" stands where an element of a list belongs"},
        BadCase{"BraceAsTheFirstElement", "name = \"x\"\nports = [[}]]\n", " line 2: a \"}\" stands where"},
        BadCase{"ADate", "name = \"x\"\nx = 1979-05-27\n", " line 2: dates and times are not used"},
        BadCase{"DatesInAList", "name = \"x\"\nports = [2--------e 7 [2--------e 7\n",
                " line 2: dates and times are not used"},
        BadCase{"NegativeBits", "name = \"x\"\nx = -1\n", " line 2: x takes the bits"},
        BadCase{"TableNameMissing", "name = \"x\"\n[\n", " line 2: a table name must begin with"},
        BadCase{"MultiLineBasic", "name = \"\"\"\\\n  \xc4\xb0\"\"\"\n", " line 1: multi-line texts"},
        BadCase{"QuoteInABareWord", "name = \"x\"\nx = 1\"\xd2\x98\"\n",
                " line 2: a character that is not ASCII stands outside quotes"},
        BadCase{"QuoteInABareValueAfterAnEqualsSign", "name = \"x\"\nrecord = 55~me=\"line3\xef\xb3\xbf\"\n",
                " line 2: a character that is not ASCII stands outside quotes"},
        BadCase{"NonAsciiAtALineStart", "name = \"x\"\n\xc3\xa9x = 1\n",
                " line 2: a character that is not ASCII stands outside quotes"},
        BadCase{"MultiLineLiteral", "name = '''x'''\n", " line 1: multi-line texts"},
        BadCase{"TooLarge", "name = \"L\"\n#" + std::string(app::kMaxProfileBytes, 'x') + "\n",
                ": a profile is at most"}),
    [](const ::testing::TestParamInfo<BadCase>& param) { return std::string(param.param.name); });

TEST(StationProfileFile, IsReadWithTheDigestOfItsBytes) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("vor-profile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "p.toml").string();
  { std::ofstream(path, std::ios::binary) << "name = \"abc\"\n"; }
  const app::ProfileReading r = app::ReadProfileFile(path);
  ASSERT_TRUE(r.ok()) << r.error;
  // sha256sum of the 13 bytes above.
  EXPECT_EQ(r.profile->sha256, "32e9f8e8d785f7be7798be44f5835ba7e3fae978f4b091a8082138cf0b44ddfb");
  const app::ProfileReading again = app::ReadProfileFile(path);
  EXPECT_EQ(again.profile->sha256, r.profile->sha256);
  { std::ofstream(path, std::ios::binary) << "name = \"abd\"\n"; }
  EXPECT_NE(app::ReadProfileFile(path).profile->sha256, r.profile->sha256) << "another file, another digest";

  const app::ProfileReading missing = app::ReadProfileFile((dir / "none.toml").string());
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.error, (dir / "none.toml").string() + ": cannot be read");
  std::filesystem::remove_all(dir);
}

}  // namespace
