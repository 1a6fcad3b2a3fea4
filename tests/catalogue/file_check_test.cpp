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
  kEncrypted,     // encrypted, of the catalogue's version
  kPlain,         // plain, of the catalogue's version
  kOldVersion,    // encrypted, of another version
  kUntagged,      // plain Intel HEX without a version tag
  kNotFirmware,   // neither plain Intel HEX nor encrypted with the firmware key
};

std::string Make(Content c, const Product& p) {
  switch (c) {
    case Content::kEncrypted: return catalogue_fixtures::EncryptedFirmware(p.Tag() + p.version);
    case Content::kPlain: return catalogue_fixtures::PlainFirmware(p.Tag() + p.version);
    case Content::kOldVersion: return catalogue_fixtures::EncryptedFirmware(p.Tag() + "0.99");
    case Content::kUntagged: return catalogue_fixtures::PlainFirmware("no version here");
    case Content::kNotFirmware: return "this is not firmware at all, just some text of no use\r\n";
  }
  return {};
}

const Product kA{"0a1b", "1.70", "a.hex"};
const Product kB{"0c2d", "2.05", "b.hex"};
const std::string kAllGood = "All Files found and Correct.";

struct CheckCase {
  const char* what;
  std::vector<Product> products;
  std::map<std::string, Content> local, served;  // by file name
  bool offline, keepUntagged;
  std::vector<std::uint32_t> states;
  std::vector<std::string> log;
  std::vector<std::string> attempted;  // files the download phase tries, in order
};

const std::vector<CheckCase>& Cases() {
  using C = Content;
  static const std::vector<CheckCase> cases = {
      {"all present and encrypted", {kA, kB}, {{"a.hex", C::kEncrypted}, {"b.hex", C::kEncrypted}}, {}, false, false,
       {EncryptedOk, EncryptedOk}, {kAllGood}, {}},
      {"a plain file is good but reported", {kA, kB}, {{"a.hex", C::kPlain}, {"b.hex", C::kEncrypted}}, {}, false, false,
       {PlainOk, EncryptedOk}, {kAllGood, "Warning 1 Files are not encrypted.", "Unenrypted->a.hex."}, {}},
      {"missing file, offline", {kA, kB}, {{"a.hex", C::kEncrypted}}, {{"b.hex", C::kEncrypted}}, true, false,
       {EncryptedOk, Needed}, {"Warning 1 Missing Files.", "Missing->b.hex."}, {}},
      {"missing file, fetched", {kA, kB}, {{"a.hex", C::kEncrypted}}, {{"b.hex", C::kEncrypted}}, false, false,
       {EncryptedOk, EncryptedOk}, {kAllGood}, {"b.hex"}},
      {"wrong version replaced", {kA, kB}, {{"a.hex", C::kOldVersion}, {"b.hex", C::kEncrypted}},
       {{"a.hex", C::kEncrypted}}, false, false, {EncryptedOk, EncryptedOk}, {kAllGood}, {"a.hex"}},
      {"wrong version on the server too", {kA, kB}, {{"a.hex", C::kOldVersion}, {"b.hex", C::kEncrypted}},
       {{"a.hex", C::kOldVersion}}, false, false, {Needed, EncryptedOk}, {"Warning 1 Missing Files.", "Missing->a.hex."},
       {"a.hex"}},
      {"missing everywhere", {kA, kB}, {}, {}, false, false, {Needed, Needed},
       {"Warning 2 Missing Files.", "Missing->a.hex.", "Missing->b.hex."}, {"a.hex", "b.hex"}},
      {"plain file fetched", {kA}, {}, {{"a.hex", C::kPlain}}, false, false, {PlainOk},
       {kAllGood, "Warning 1 Files are not encrypted.", "Unenrypted->a.hex."}, {"a.hex"}},
      {"untagged file kept", {kA, kB}, {{"a.hex", C::kUntagged}, {"b.hex", C::kEncrypted}}, {}, false, true,
       {PlainOk, EncryptedOk}, {kAllGood, "Warning 1 Files are not encrypted.", "Unenrypted->a.hex."}, {}},
      {"untagged file without the option", {kA, kB}, {{"a.hex", C::kUntagged}, {"b.hex", C::kEncrypted}}, {}, false,
       false, {Needed, EncryptedOk}, {"Warning 1 Missing Files.", "Missing->a.hex."}, {"a.hex"}},
      {"not firmware, even with the option", {kA, kB}, {{"a.hex", C::kNotFirmware}, {"b.hex", C::kEncrypted}}, {},
       true, true, {Needed, EncryptedOk}, {"Warning 1 Missing Files.", "Missing->a.hex."}, {}},
      {"two rows naming one file", {kA, kA}, {}, {{"a.hex", C::kEncrypted}}, false, false, {EncryptedOk, EncryptedOk},
       {kAllGood}, {"a.hex", "a.hex"}},
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
    return catalogue::CheckFirmwareFiles(m_folder, m_table, m_server.url() + "/firmware", offline, keepUntagged,
                                         m_view);
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
      return *std::find_if(c.products.begin(), c.products.end(), [&](const Product& p) { return p.file == file; });
    };
    for (const auto& [file, content] : c.local) WriteFile(folder + file, Make(content, productOf(file)));
    for (const auto& [file, content] : c.served) WriteFile(served + file, Make(content, productOf(file)));
    catalogue::ProductTable table = TableOf(c.products);
    testing_support::RecordingView view;

    const int good =
        catalogue::CheckFirmwareFiles(folder, table, server.url() + "/firmware", c.offline, c.keepUntagged, view);

    std::vector<std::uint32_t> states(table.m_prodState.begin(),
                                      table.m_prodState.begin() + static_cast<std::ptrdiff_t>(c.products.size()));
    EXPECT_EQ(states, c.states);
    EXPECT_EQ(good, std::count_if(c.states.begin(), c.states.end(), catalogue::IsUsable));
    EXPECT_EQ(view.log, c.log);

    std::vector<std::string> requests, mainStatus;
    if (!c.attempted.empty()) mainStatus.push_back("main: Missing/Incorrect version Files.. Checking Online source.");
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
  m_table = TableOf({{kA.code, kA.version, "../x.hex"}, {kA.code, kA.version, m_dir.path() + "abs.hex"},
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
