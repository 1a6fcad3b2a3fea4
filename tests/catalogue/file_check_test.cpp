// The check of the firmware file set over a small folder of firmware files and a local server.

#include "catalogue/file_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <stop_token>

#include "catalogue/checked_firmware.h"
#include "image/sha256.h"
#include "tests/catalogue/fixtures/firmware_fixture.h"
#include "tests/support/fixtures/product_rows.h"
#include "tests/support/http/http_test_server.h"
#include "tests/support/recording_view.h"

namespace {

using catalogue::EncryptedOk;
using catalogue::Needed;
using catalogue::PlainOk;
using testing_support::HttpFault;
using testing_support::HttpTestServer;
using testing_support::ListFolder;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

struct Product {
  std::string code, version, file;
  std::string Tag() const { return "VOR_T" + code + "_V"; }
};

enum class Content {
  kEncrypted,    // encrypted, of the catalogue's version
  kPlain,        // plain, of the catalogue's version
  kOldVersion,   // encrypted, of another version
  kVersion180,   // encrypted, of version 1.80
  kUntagged,     // plain Intel HEX without a version tag
  kNotFirmware,  // neither plain Intel HEX nor encrypted with the firmware key
};

std::string Make(Content c, const Product& p) {
  switch (c) {
    case Content::kEncrypted:
      return catalogue_fixtures::EncryptedFirmware(p.Tag() + p.version);
    case Content::kPlain:
      return catalogue_fixtures::PlainFirmware(p.Tag() + p.version);
    case Content::kOldVersion:
      return catalogue_fixtures::EncryptedFirmware(p.Tag() + "0.99");
    case Content::kVersion180:
      return catalogue_fixtures::EncryptedFirmware(p.Tag() + "1.80");
    case Content::kUntagged:
      return catalogue_fixtures::PlainFirmware("no version here");
    case Content::kNotFirmware:
      return "this is not firmware at all, just some text of no use\r\n";
  }
  return {};
}

const Product kA{"0a1b", "1.70", "a.hex"};
const Product kB{"0c2d", "2.05", "b.hex"};
const Product kA180{"0a1b", "1.80", "a.hex"};  // another version named with kA's file
const Product kC{"0e3f", "1.70", "a.hex"};     // another product of kA's version and file
const std::string kAllGood = "All Files found and Correct.";

struct CheckCase {
  const char* what;
  std::vector<Product> products = {kA, kB};
  std::map<std::string, Content> local = {}, served = {};  // by file name
  bool offline = false, keepUntagged = false;
  std::vector<std::uint32_t> states;
  std::vector<std::string> log;
  std::vector<std::string> attempted = {};  // files the download phase tries, in order
};

const std::vector<CheckCase>& Cases() {
  using C = Content;
  static const std::vector<CheckCase> cases = {
      {.what = "all present and encrypted",
       .local = {{"a.hex", C::kEncrypted}, {"b.hex", C::kEncrypted}},
       .states = {EncryptedOk, EncryptedOk},
       .log = {kAllGood}},
      {.what = "a plain file is good but reported",
       .local = {{"a.hex", C::kPlain}, {"b.hex", C::kEncrypted}},
       .states = {PlainOk, EncryptedOk},
       .log = {kAllGood, "Warning 1 Files are not encrypted.", "Unenrypted->a.hex."}},
      {.what = "missing file, offline",
       .local = {{"a.hex", C::kEncrypted}},
       .served = {{"b.hex", C::kEncrypted}},
       .offline = true,
       .states = {EncryptedOk, Needed},
       .log = {"Warning 1 Missing Files.", "Missing->b.hex."}},
      {.what = "missing file, fetched",
       .local = {{"a.hex", C::kEncrypted}},
       .served = {{"b.hex", C::kEncrypted}},
       .states = {EncryptedOk, EncryptedOk},
       .log = {kAllGood},
       .attempted = {"b.hex"}},
      {.what = "wrong version replaced",
       .local = {{"a.hex", C::kOldVersion}, {"b.hex", C::kEncrypted}},
       .served = {{"a.hex", C::kEncrypted}},
       .states = {EncryptedOk, EncryptedOk},
       .log = {kAllGood},
       .attempted = {"a.hex"}},
      {.what = "wrong version on the server too",
       .local = {{"a.hex", C::kOldVersion}, {"b.hex", C::kEncrypted}},
       .served = {{"a.hex", C::kOldVersion}},
       .states = {Needed, EncryptedOk},
       .log = {"Warning 1 Missing Files.", "Missing->a.hex."},
       .attempted = {"a.hex"}},
      {.what = "missing everywhere",
       .states = {Needed, Needed},
       .log = {"Warning 2 Missing Files.", "Missing->a.hex.", "Missing->b.hex."},
       .attempted = {"a.hex", "b.hex"}},
      {.what = "plain file fetched",
       .products = {kA},
       .served = {{"a.hex", C::kPlain}},
       .states = {PlainOk},
       .log = {kAllGood, "Warning 1 Files are not encrypted.", "Unenrypted->a.hex."},
       .attempted = {"a.hex"}},
      {.what = "untagged file kept",
       .local = {{"a.hex", C::kUntagged}, {"b.hex", C::kEncrypted}},
       .keepUntagged = true,
       .states = {PlainOk, EncryptedOk},
       .log = {kAllGood, "Warning 1 Files are not encrypted.", "Unenrypted->a.hex."}},
      {.what = "untagged file without the option",
       .local = {{"a.hex", C::kUntagged}, {"b.hex", C::kEncrypted}},
       .states = {Needed, EncryptedOk},
       .log = {"Warning 1 Missing Files.", "Missing->a.hex."},
       .attempted = {"a.hex"}},
      {.what = "not firmware, even with the option",
       .local = {{"a.hex", C::kNotFirmware}, {"b.hex", C::kEncrypted}},
       .offline = true,
       .keepUntagged = true,
       .states = {Needed, EncryptedOk},
       .log = {"Warning 1 Missing Files.", "Missing->a.hex."}},
      // Rows of one version share their file: it is fetched once for both.
      {.what = "two rows naming one file",
       .products = {kA, kA},
       .served = {{"a.hex", C::kEncrypted}},
       .states = {EncryptedOk, EncryptedOk},
       .log = {kAllGood},
       .attempted = {"a.hex"}},
      // A file serves one version: the later row of another version is missing, and its file
      // is neither fetched over the first row's file nor read for it.
      {.what = "two versions naming one file, the first one's present",
       .products = {kA, kA180},
       .local = {{"a.hex", C::kEncrypted}},
       .served = {{"a.hex", C::kEncrypted}},
       .states = {EncryptedOk, Needed},
       .log = {"Warning 1 Missing Files.", "Missing->a.hex."}},
      {.what = "two versions naming one file, neither present",
       .products = {kA, kA180},
       .served = {{"a.hex", C::kEncrypted}},
       .states = {EncryptedOk, Needed},
       .log = {"Warning 1 Missing Files.", "Missing->a.hex."},
       .attempted = {"a.hex"}},
      {.what = "a later row of another version is missing even if the file would suit it",
       .products = {kA, kA180},
       .local = {{"a.hex", C::kVersion180}},
       .offline = true,
       .states = {Needed, Needed},
       .log = {"Warning 2 Missing Files.", "Missing->a.hex.", "Missing->a.hex."}},
      // Another product of the same version whose tag the shared file lacks: the file stays as
      // the first product accepted it.
      {.what = "one version, two products, the file suits the first only",
       .products = {kA, kC},
       .local = {{"a.hex", C::kEncrypted}},
       .served = {{"a.hex", C::kEncrypted}},
       .states = {EncryptedOk, Needed},
       .log = {"Warning 1 Missing Files.", "Missing->a.hex."}},
      // Names of the loader's own files are never firmware files, however they are served.
      {.what = "reserved names",
       .products = {{kA.code, kA.version, "vornet_verinfo.xml"},
                    {kA.code, kA.version, ".vordl-XXXXXX"},
                    {kA.code, kA.version, ".vordl-a1b2c3"},
                    {kA.code, kA.version, ".vordl-"},
                    {kA.code, kA.version, "VORNET_VERINFO.XML"}},
       .served = {{"vornet_verinfo.xml", C::kEncrypted},
                  {".vordl-XXXXXX", C::kEncrypted},
                  {".vordl-a1b2c3", C::kEncrypted},
                  {".vordl-", C::kEncrypted},
                  {"VORNET_VERINFO.XML", C::kEncrypted}},
       .states = {Needed, Needed, Needed, Needed, EncryptedOk},
       .log = {"Warning 4 Missing Files.", "Missing->vornet_verinfo.xml.", "Missing->.vordl-XXXXXX.",
               "Missing->.vordl-a1b2c3.", "Missing->.vordl-."},
       .attempted = {"VORNET_VERINFO.XML"}},
      {.what = "untagged file fetched with the option",
       .products = {kA},
       .served = {{"a.hex", C::kUntagged}},
       .keepUntagged = true,
       .states = {PlainOk},
       .log = {kAllGood, "Warning 1 Files are not encrypted.", "Unenrypted->a.hex."},
       .attempted = {"a.hex"}},
      {.what = "untagged file fetched without the option",
       .products = {kA},
       .served = {{"a.hex", C::kUntagged}},
       .states = {Needed},
       .log = {"Warning 1 Missing Files.", "Missing->a.hex."},
       .attempted = {"a.hex"}},
  };
  return cases;
}

// The table as the catalogue would have built it: every row Needed.
catalogue::ProductTable TableOf(const std::vector<Product>& products) {
  std::vector<testing_support::ProductRow> rows;
  for (const Product& p : products)
    rows.push_back({.code = p.code, .version = p.version, .file = p.file, .name = "P" + p.code});
  return testing_support::ProductTableOf(rows);
}

class FileCheckTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.Start()); }

  int Check(bool offline, bool keepUntagged) {
    return catalogue::CheckFirmwareFiles(m_folder, m_table, m_server.url() + "/firmware", offline,
                                         keepUntagged, m_view);
  }

  TempDir m_dir;
  std::string m_folder = m_dir.MakeFolder("fw");
  HttpTestServer m_server{m_dir.Path("srv")};
  catalogue::ProductTable m_table;
  testing_support::RecordingView m_view;
};

TEST(FileCheck, VerifiesFetchesAndReports) {
  for (const auto& c : Cases()) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string folder = dir.MakeFolder("fw");
    const std::string served = dir.MakeFolder("srv/firmware");
    HttpTestServer server(dir.Path("srv"));
    ASSERT_TRUE(server.Start());
    auto productOf = [&c](const std::string& file) {
      return *std::find_if(c.products.begin(), c.products.end(),
                           [&](const Product& p) { return p.file == file; });
    };
    for (const auto& [file, content] : c.local) WriteFile(folder + file, Make(content, productOf(file)));
    for (const auto& [file, content] : c.served) WriteFile(served + file, Make(content, productOf(file)));
    catalogue::ProductTable table = TableOf(c.products);
    testing_support::RecordingView view;

    const int good = catalogue::CheckFirmwareFiles(folder, table, server.url() + "/firmware", c.offline,
                                                   c.keepUntagged, view);

    std::vector<std::uint32_t> states(
        table.m_prodState.begin(),
        table.m_prodState.begin() + static_cast<std::ptrdiff_t>(c.products.size()));
    EXPECT_EQ(states, c.states);
    EXPECT_EQ(good, std::count_if(c.states.begin(), c.states.end(), catalogue::IsUsable));
    EXPECT_EQ(view.log, c.log);

    std::vector<std::string> requests, mainStatus;
    if (!c.attempted.empty())
      mainStatus.push_back("main: Missing/Incorrect version Files.. Checking Online source.");
    for (const auto& file : c.attempted) {
      requests.push_back("/firmware/" + file);
      mainStatus.push_back("main: Attempting to load file->" + file);
    }
    mainStatus.push_back("main: ");
    EXPECT_EQ(server.requests(), requests);
    EXPECT_EQ(view.Calls("main: "), mainStatus);
  }
}

TEST_F(FileCheckTest, NamesThatLeaveTheFolderAreNeitherReadNorFetched) {
  // Valid firmware for the product lies just outside the folder, locally and on the server.
  const std::string firmware = Make(Content::kEncrypted, kA);
  WriteFile(m_dir.Path("x.hex"), firmware);
  WriteFile(m_dir.Path("abs.hex"), firmware);
  WriteFile(m_dir.MakeFolder("srv") + "x.hex", firmware);
  m_table = TableOf({{kA.code, kA.version, "../x.hex"},
                     {kA.code, kA.version, m_dir.Path("abs.hex")},
                     {kA.code, kA.version, ""}});

  EXPECT_EQ(Check(false, false), 0);

  EXPECT_EQ(m_view.log, (std::vector<std::string>{"Warning 3 Missing Files.", "Missing->../x.hex.",
                                                  "Missing->" + m_dir.Path("abs.hex."), "Missing->."}));
  EXPECT_TRUE(m_server.requests().empty());
  EXPECT_TRUE(m_view.Calls("main: Attempting").empty());
  EXPECT_TRUE(ListFolder(m_folder).empty());
  EXPECT_EQ(ReadFile(m_dir.Path("x.hex")), firmware);
  EXPECT_EQ(ReadFile(m_dir.Path("abs.hex")), firmware);
}

TEST_F(FileCheckTest, CatalogueTextIsNeverAFormat) {
  m_table = TableOf({{kA.code, kA.version, "%s%n%x.hex"}});
  EXPECT_EQ(Check(true, false), 0);
  EXPECT_EQ(m_view.log, (std::vector<std::string>{"Warning 1 Missing Files.", "Missing->%s%n%x.hex."}));
}

// A fetched file replaces the local copy only when it passes the check the local copy failed;
// otherwise the stale copy stays byte for byte and nothing else is left in the folder.
TEST_F(FileCheckTest, AFetchedFileReplacesTheLocalCopyOnlyWhenItPassesTheCheck) {
  const std::string url = m_server.url() + "/firmware/a.hex";
  const std::string wanted = " not VOR_T0a1b_V1.70";
  struct Case {
    const char* what;
    std::optional<HttpFault> fault;
    std::optional<Content> served;
    std::string cause;
  };
  const std::vector<Case> cases = {
      {"200 error page", HttpFault::kErrorPage, Content::kEncrypted,
       "is not a firmware file (cannot be decoded)"},
      {"206 half the file", HttpFault::kPartial, Content::kEncrypted, "HTTP status 206"},
      {"204 no body", HttpFault::kNoContent, Content::kEncrypted, "HTTP status 204"},
      {"another old version", std::nullopt, Content::kOldVersion, "holds VOR_T0a1b_V0.99," + wanted},
      {"not firmware", std::nullopt, Content::kNotFirmware, "is not a firmware file (cannot be decoded)"},
      {"untagged without the option", std::nullopt, Content::kUntagged, "holds no version tag," + wanted},
      {"404", HttpFault::kNotFound, std::nullopt, "HTTP status 404"},
  };
  const std::string stale = Make(Content::kOldVersion, kA);
  const std::string served = m_dir.MakeFolder("srv/firmware");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(m_folder + "a.hex", stale);
    std::filesystem::remove(served + "a.hex");
    if (c.served) WriteFile(served + "a.hex", Make(*c.served, kA));
    m_server.ClearFaults();
    if (c.fault) m_server.SetFault("/firmware/a.hex", *c.fault);
    m_table = TableOf({kA});
    m_view = {};

    EXPECT_EQ(Check(false, false), 0);

    EXPECT_EQ(ReadFile(m_folder + "a.hex"), stale);
    EXPECT_EQ(ListFolder(m_folder), std::vector<std::string>{"a.hex"});
    EXPECT_EQ(m_table.m_prodState[0], Needed);
    EXPECT_EQ(m_view.log, (std::vector<std::string>{"Warning 1 Missing Files.", "Missing->a.hex."}));
    EXPECT_EQ(m_view.details, (std::vector<std::string>{m_folder + "a.hex holds VOR_T0a1b_V0.99," + wanted,
                                                        url + ": " + c.cause}));
  }
}

TEST_F(FileCheckTest, SaysWhyARowIsMissing) {
  m_table = TableOf({kA, kB, kA180, {kA.code, kA.version, "vornet_verinfo.xml"}});
  WriteFile(m_folder + "a.hex", Make(Content::kEncrypted, kA));
  WriteFile(m_folder + "b.hex", Make(Content::kUntagged, kB));
  EXPECT_EQ(Check(true, false), 1);
  EXPECT_EQ(m_view.log, (std::vector<std::string>{"Warning 3 Missing Files.", "Missing->b.hex.",
                                                  "Missing->a.hex.", "Missing->vornet_verinfo.xml."}));
  EXPECT_EQ(
      m_view.details,
      (std::vector<std::string>{
          m_folder + "b.hex holds no version tag, not VOR_T0c2d_V2.05",
          "a.hex is already the file of P0a1b version 1.70; it cannot also hold P0a1b version 1.80",
          "vornet_verinfo.xml is the name of one of the loader's own files, never of a firmware file"}));
}

// A firmware folder that can be read but not written is used as it is: nothing is fetched.
TEST_F(FileCheckTest, AFolderThatCannotBeWrittenIsNotFetchedInto) {
  WriteFile(m_dir.MakeFolder("srv/firmware") + "a.hex", Make(Content::kEncrypted, kA));
  m_table = TableOf({kA});
  catalogue::FileCheckSettings settings;
  settings.folderWritable = false;
  EXPECT_EQ(catalogue::CheckFirmwareFiles(m_folder, m_table, m_server.url() + "/firmware", settings, m_view),
            0);
  EXPECT_TRUE(m_server.requests().empty());
  EXPECT_TRUE(ListFolder(m_folder).empty());
  EXPECT_EQ(m_view.log, (std::vector<std::string>{"Warning 1 Missing Files.", "Missing->a.hex."}));
  EXPECT_EQ(m_view.details,
            (std::vector<std::string>{"the firmware folder " + m_folder +
                                          " cannot be written: no firmware file is downloaded into it",
                                      m_folder + "a.hex does not exist"}));
}

// A stop requested on the session's token before the check leaves every download unasked.
TEST_F(FileCheckTest, AStopRequestedAsksForNothing) {
  WriteFile(m_dir.MakeFolder("srv/firmware") + "a.hex", Make(Content::kEncrypted, kA));
  m_table = TableOf({kA});
  std::stop_source stop;
  stop.request_stop();
  catalogue::FileCheckSettings settings;
  settings.stop = stop.get_token();
  EXPECT_EQ(catalogue::CheckFirmwareFiles(m_folder, m_table, m_server.url() + "/firmware", settings, m_view),
            0);
  EXPECT_TRUE(m_server.requests().empty());
  EXPECT_TRUE(ListFolder(m_folder).empty());
  EXPECT_EQ(m_view.log, (std::vector<std::string>{"Warning 1 Missing Files.", "Missing->a.hex."}));
}

// What the check accepted is recorded per row, for the file found and the file fetched alike.
TEST_F(FileCheckTest, RecordsTheDigestAndScanOfWhatItAccepted) {
  const std::string a = Make(Content::kEncrypted, kA);
  const std::string b = Make(Content::kUntagged, kB);
  WriteFile(m_folder + "a.hex", a);
  WriteFile(m_dir.MakeFolder("srv/firmware") + "b.hex", b);
  m_table = TableOf({kA, kB, {kA.code, kA.version, "missing.hex"}});
  EXPECT_EQ(Check(false, true), 2);
  EXPECT_EQ(m_table.m_prodDigest[0], image::Sha256Of(a).value());
  EXPECT_EQ(m_table.m_prodScan[0], "VOR_T0a1b_V1.70");
  EXPECT_EQ(m_table.m_prodDigest[1], image::Sha256Of(b).value());
  EXPECT_EQ(m_table.m_prodScan[1], "ee4_Search_Fail");
  EXPECT_EQ(m_table.m_prodDigest[2], image::Sha256Digest{});
  EXPECT_EQ(m_table.m_prodScan[2], "");
  EXPECT_EQ(catalogue::CheckedSha256Hex(m_table, 0), image::Sha256Hex(image::Sha256Of(a).value()));
  EXPECT_EQ(catalogue::CheckedSha256Hex(m_table, 2), "");
}

}  // namespace
