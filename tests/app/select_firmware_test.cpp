#include "app/select_firmware.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fixtures/product_rows.h"

namespace app {
namespace {

using device::Identity;

// A row by its product code, catalogue version and file state.
struct Row {
  std::string code;
  std::string version;
  std::uint32_t state;
};

catalogue::ProductTable Table(const std::vector<Row>& rows) {
  std::vector<testing_support::ProductRow> products;
  for (const Row& r : rows) products.push_back({.code = r.code, .version = r.version, .state = r.state});
  return testing_support::ProductTableOf(products);
}

Identity Device(const std::string& version) {
  Identity id;
  id.m_devCode = {0x56, 0x51, 0x00, 0x00, 0x0A, 0x1B};
  id.m_strDevVersion = version;
  return id;
}

constexpr const char* kCode = "0a1b";
constexpr const char* kTag = "VOR_T0a1b_V";

TEST(SelectFirmware, ChoosesTheFirstUsableRowAndComparesVersions) {
  struct Case {
    const char* name;
    std::string deviceVersion;
    std::vector<Row> rows;
    LoadResult want;
    int product;  // m_nProduct afterwards; it starts at 7
  } cases[] = {
      {"file newer", "1.20", {{kCode, "1.30", 4}}, RESULT_OK, 0},
      {"same", "1.30", {{kCode, "1.3", 3}}, RESULT_SAME_VERSION, 0},
      {"device newer", "1.31", {{kCode, "1.30", 3}}, RESULT_DEVICE_NEWER, 0},
      {"2.01 is newer than 2.00", "2.01", {{kCode, "2.00", 4}}, RESULT_DEVICE_NEWER, 0},
      {"2.10 against 2.9", "2.10", {{kCode, "2.9", 4}}, RESULT_OK, 0},
      {"no version on the device", "", {{kCode, "0.01", 4}}, RESULT_OK, 0},
      {"upper-case tag never matches", "1.00", {{"0A1B", "2.00", 4}}, RESULT_NO_HEX_FILE, 7},
      {"files not usable", "1.00", {{kCode, "2.00", 1}, {kCode, "2.00", 2}}, RESULT_NO_HEX_FILE, 7},
      {"other products only", "1.00", {{"0a1c", "2.00", 4}}, RESULT_NO_HEX_FILE, 7},
      {"no rows", "1.00", {}, RESULT_NO_HEX_FILE, 7},
      {"first usable of equal tags",
       "1.00",
       {{"0000", "9.00", 4}, {kCode, "3.00", 2}, {kCode, "1.00", 3}, {kCode, "5.00", 4}},
       RESULT_SAME_VERSION,
       2},
  };
  for (const Case& c : cases) {
    int product = 7;
    EXPECT_EQ(SelectFirmware(Device(c.deviceVersion), Table(c.rows), product), c.want) << c.name;
    EXPECT_EQ(product, c.product) << c.name;
  }
}

TEST(FindProductRow, FirstUsableRowWithTheTag) {
  const catalogue::ProductTable t =
      Table({{kCode, "1.00", 2}, {"0a1c", "1.00", 4}, {kCode, "1.10", 3}, {kCode, "1.20", 4}});
  EXPECT_EQ(FindProductRow(t, kTag), 2);
  EXPECT_EQ(FindProductRow(t, "VOR_T0a1d_V"), -1);
  EXPECT_EQ(FindProductRow(t, ""), -1);
}

TEST(SelectFirmware, RowCountBeyondTheTableIsNotFollowed) {
  catalogue::ProductTable t = Table({});
  t.m_nProducts = 1000;
  int product = -1;
  EXPECT_EQ(SelectFirmware(Device("1.00"), t, product), RESULT_NO_HEX_FILE);
  testing_support::SetProductRow(t, 31, {.code = kCode, .version = "1.50", .state = 4});
  EXPECT_EQ(SelectFirmware(Device("1.00"), t, product), RESULT_OK);
  EXPECT_EQ(product, 31);
}

}  // namespace
}  // namespace app
