// The product table built from catalogues of every shape.

#include "catalogue/product_table.h"

#include <gtest/gtest.h>

#include "catalogue/catalogue_text.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/recording_view.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

struct Row {
  std::string name, code, version, hexFile;
};

std::string Firm(const std::string& inner) {
  return "<VORNET_FIRM_VERSIONS>" + inner + "</VORNET_FIRM_VERSIONS>";
}
std::string Codes(const std::string& list) {
  return "<VORNET_PRODUCT_CODES>" + list + "</VORNET_PRODUCT_CODES>";
}
std::string Url(const std::string& url) {
  return "<VORNET_FIRM_URL>" + url + "</VORNET_FIRM_URL>";
}
std::string Elem(const std::string& name, const std::string& value) {
  return "<" + name + ">" + value + "</" + name + ">";
}
std::string ProductText(const std::string& name, const std::string& version, const std::string& hex) {
  return Elem("VOR_" + name + "_V", version) + Elem("VOR_" + name + "_HEX", hex);
}

// count items "name<i>=code<i>" joined by ":"; an empty name makes them malformed.
std::string Items(int count, const std::string& name, const std::string& code) {
  std::string list;
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    list += (i == 0 ? "" : ":") + (name.empty() ? "" : name + n) + "=" + code + n;
  }
  return list;
}

struct ProductTableCase {
  const char* what;
  std::string catalogue;
  bool countLogged;
  std::vector<Row> rows;  // expected rows; their count is the expected m_nProducts
  std::string firmUrl = "unchanged";
};

std::vector<ProductTableCase> ProductTableCases() {
  const std::string ab = ProductText("A", "1.70", "a.hex") + ProductText("B_X", "2.05", "bx.hex");
  std::vector<Row> forty;
  for (int i = 0; i < 32; ++i) forty.push_back({"P" + std::to_string(i), "c" + std::to_string(i), "", ""});
  return {
      {"two products, url",
       "<?xml version=\"1.0\"?><ROOT>" + Firm(Codes("A=0a1b:B_X=0c2d") + Url("http://h/fw") + ab) + "</ROOT>",
       true,
       {{"A", "0a1b", "1.70", "a.hex"}, {"B X", "0c2d", "2.05", "bx.hex"}},
       "http://h/fw"},
      {"end tag beyond byte 8,192", Firm(Codes("A=0a1b") + ab + std::string(8200, ' ')), false, {}},
      {"version split by a line break",
       Firm(Codes("A=0a1b") + Elem("VOR_A_V", "1.\r\n70") + Elem("VOR_A_HEX", "a.h\nex")),
       true,
       {{"A", "0a1b", "1.70", "a.hex"}},
       ""},
      {"empty item uses up a position",
       Firm(Codes("A=0102::B_X=0203") + ab),
       true,
       {{"A", "0102", "1.70", "a.hex"}, {"B X", "0203", "2.05", "bx.hex"}},
       ""},
      {"40 items give 32 rows", Firm(Codes(Items(40, "P", "c"))), true, forty, ""},
      {"32 malformed items hide the good ones",
       Firm(Codes(Items(32, "", "x") + ":" + Items(8, "Q", "d"))),
       true,
       {},
       ""},
      {"=0102 and A are skipped",
       Firm(Codes("=0102:A:C=0304") + ProductText("C", "1.00", "c.hex")),
       true,
       {{"C", "0304", "1.00", "c.hex"}},
       ""},
      {"further = stay in the code",
       Firm(Codes("A=01=02") + ab),
       true,
       {{"A", "01=02", "1.70", "a.hex"}},
       ""},
      {"a blank after : joins the name",
       Firm(Codes("A=0a1b: B_X=0c2d") + ab),
       true,
       {{"A", "0a1b", "1.70", "a.hex"}, {" B X", "0c2d", "", ""}},
       ""},
      {"lower-case block name",
       "<vornet_firm_versions>" + Codes("A=0a1b") + ab + "</vornet_firm_versions>",
       false,
       {}},
      {"lower-case product elements",
       Firm(Codes("A=0a1b") + "<vor_A_v>1.70</vor_A_v><VOR_A_hex>a.hex</VOR_A_hex>"),
       true,
       {{"A", "0a1b", "", ""}},
       ""},
      {"no product list, url still taken", Firm(Url("http://h/fw") + ab), false, {}, "http://h/fw"},
      {"no catalogue block at all", "<VORNET_VERSIONS></VORNET_VERSIONS>", false, {}},
  };
}

TEST(BuildProductTable, FollowsTheCatalogue) {
  for (const auto& c : ProductTableCases()) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir.Path(catalogue::kCatalogueFile), c.catalogue);
    catalogue::ProductTable table;
    table.m_nProducts = 5;  // left over from an earlier build
    std::string firmUrl = "unchanged";
    testing_support::RecordingView view;

    const std::vector<Row>& expected = c.rows;

    const auto count = catalogue::BuildProductTable(dir.Path(""), table, firmUrl, view);

    EXPECT_EQ(count, expected.size());
    EXPECT_EQ(table.m_nProducts, expected.size());
    EXPECT_EQ(firmUrl, c.firmUrl);
    std::vector<std::string> wantLog;
    if (c.countLogged) wantLog.push_back(std::to_string(expected.size()) + " Product definitions Found.");
    EXPECT_EQ(view.log, wantLog);
    EXPECT_EQ(view.Calls("main: "), std::vector<std::string>{"main: Checking Product Database."});
    for (std::size_t i = 0; i < expected.size() && i < table.m_nProducts; ++i) {
      const Row& r = expected[i];
      EXPECT_EQ(table.m_prodName[i], r.name) << i;
      EXPECT_EQ(table.m_prodCode[i], r.code) << i;
      EXPECT_EQ(table.m_prodVersion[i], r.version) << i;
      EXPECT_EQ(table.m_prodHexFile[i], r.hexFile) << i;
      EXPECT_EQ(table.m_prodTag[i], "VOR_T" + r.code + "_V") << i;
      EXPECT_EQ(table.m_prodFileTag[i], "VOR_T" + r.code + "_V" + r.version) << i;
      EXPECT_EQ(table.m_prodState[i], catalogue::Needed) << i;
    }
  }
}

TEST(BuildProductTable, NoFolderOrNoFileMeansNoDatabase) {
  TempDir dir;
  catalogue::ProductTable table;
  std::string firmUrl = "unchanged";
  testing_support::RecordingView view;
  EXPECT_EQ(catalogue::BuildProductTable(dir.Path(""), table, firmUrl, view), 0u);
  EXPECT_EQ(catalogue::BuildProductTable("", table, firmUrl, view), 0u);
  EXPECT_TRUE(view.log.empty());
  EXPECT_EQ(firmUrl, "unchanged");
}

// After "Cannot Locate Product Database." a fresh install is told where the catalogue goes and
// what goes with it, and where it could not be fetched from.
TEST(NoProductDatabaseNote, NamesTheFolderWhatBelongsInItAndTheUrlThatFailed) {
  TempDir dir;
  const std::string empty = dir.MakeFolder("empty");
  const std::string holding = dir.MakeFolder("holding");
  WriteFile(holding + catalogue::kCatalogueFile, "<VORNET_VERSIONS></VORNET_VERSIONS>");
  catalogue::DownloadResult failed;
  failed.cause = catalogue::DownloadCause::kRefused;
  failed.url = "http://127.0.0.1:9/upd/vornet_verinfo.xml";
  const catalogue::DownloadResult fetched;
  const std::string needs =
      ": it needs the catalogue file vornet_verinfo.xml and the firmware files that file names";
  struct Case {
    const char* what;
    std::string folder;
    std::optional<catalogue::DownloadResult> refresh;
    std::string want;
  };
  const Case cases[] = {
      {"no folder: its problem was said", "", failed, ""},
      {"offline, no catalogue", empty, std::nullopt,
       "the firmware folder " + empty + " holds no catalogue" + needs},
      {"refresh failed, no catalogue", empty, failed,
       "the firmware folder " + empty + " holds no catalogue, and none could be fetched from " + failed.url +
           needs},
      {"a catalogue without products", holding, fetched,
       "the catalogue " + holding + "vornet_verinfo.xml holds no product list that can be read"},
      {"a catalogue without products, refresh failed", holding, failed,
       "the catalogue " + holding +
           "vornet_verinfo.xml holds no product list that can be read, and none could be "
           "fetched from " +
           failed.url},
  };
  for (const Case& c : cases)
    EXPECT_EQ(catalogue::NoProductDatabaseNote(c.folder, c.refresh), c.want) << c.what;
}

}  // namespace
