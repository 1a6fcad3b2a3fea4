// The check of the firmware file set over a small folder of firmware files and a local server.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "catalogue/catalogue.h"
#include "tests/catalogue/fixtures/firmware_fixture.h"
#include "tests/support/http/http_test_server.h"
#include "tests/support/recording_view.h"

namespace {

using catalogue::EncryptedOk;
using catalogue::Needed;
using catalogue::PlainOk;
using catalogue_fixtures::ListFolder;
using catalogue_fixtures::ReadFile;
using catalogue_fixtures::TempDir;
using catalogue_fixtures::WriteFile;
using testing_support::HttpTestServer;

struct Product {
  std::string code, version, file;
  std::string Tag() const { return "VOR_T" + code + "_V"; }
};

enum class Content {
  kEncrypted,    // encrypted, of the catalogue's version
  kPlain,        // plain, of the catalogue's version
  kOldVersion,   // encrypted, of another version
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
    case Content::kUntagged:
      return catalogue_fixtures::PlainFirmware("no version here");
    case Content::kNotFirmware:
      return "this is not firmware at all, just some text of no use\r\n";
  }
  return {};
}

const Product kA{"0a1b", "1.70", "a.hex"};
const Product kB{"0c2d", "2.05", "b.hex"};
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
      {.what = "two rows naming one file",
       .products = {kA, kA},
       .served = {{"a.hex", C::kEncrypted}},
       .states = {EncryptedOk, EncryptedOk},
       .log = {kAllGood},
       .attempted = {"a.hex", "a.hex"}},
  };
  return cases;
}

// The table as the catalogue would have built it: every row Needed.
catalogue::ProductTable TableOf(const std::vector<Product>& products) {
  catalogue::ProductTable table;
  table.m_nProducts = static_cast<std::uint32_t>(products.size());
  for (std::size_t i = 0; i < products.size(); ++i) {
    table.m_prodTag[i] = products[i].Tag();
    table.m_prodVersion[i] = products[i].version;
    table.m_prodFileTag[i] = products[i].Tag() + products[i].version;
    table.m_prodHexFile[i] = products[i].file;
    table.m_prodState[i] = Needed;
  }
  return table;
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
  HttpTestServer m_server{m_dir.path() + "srv"};
  catalogue::ProductTable m_table;
  testing_support::RecordingView m_view;
};

TEST(FileCheck, VerifiesFetchesAndReports) {
  for (const auto& c : Cases()) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string folder = dir.MakeFolder("fw");
    const std::string served = dir.MakeFolder("srv/firmware");
    HttpTestServer server(dir.path() + "srv");
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
  WriteFile(m_dir.path() + "x.hex", firmware);
  WriteFile(m_dir.path() + "abs.hex", firmware);
  WriteFile(m_dir.MakeFolder("srv") + "x.hex", firmware);
  m_table = TableOf({{kA.code, kA.version, "../x.hex"},
                     {kA.code, kA.version, m_dir.path() + "abs.hex"},
                     {kA.code, kA.version, ""}});

  EXPECT_EQ(Check(false, false), 0);

  EXPECT_EQ(m_view.log, (std::vector<std::string>{"Warning 3 Missing Files.", "Missing->../x.hex.",
                                                  "Missing->" + m_dir.path() + "abs.hex.", "Missing->."}));
  EXPECT_TRUE(m_server.requests().empty());
  EXPECT_TRUE(m_view.Calls("main: Attempting").empty());
  EXPECT_TRUE(ListFolder(m_folder).empty());
  EXPECT_EQ(ReadFile(m_dir.path() + "x.hex"), firmware);
  EXPECT_EQ(ReadFile(m_dir.path() + "abs.hex"), firmware);
}

TEST_F(FileCheckTest, CatalogueTextIsNeverAFormat) {
  m_table = TableOf({{kA.code, kA.version, "%s%n%x.hex"}});
  EXPECT_EQ(Check(true, false), 0);
  EXPECT_EQ(m_view.log, (std::vector<std::string>{"Warning 1 Missing Files.", "Missing->%s%n%x.hex."}));
}

}  // namespace
