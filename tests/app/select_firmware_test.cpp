#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/select_firmware.h"

namespace app {
namespace {

using device::Identity;

struct Row {
  std::string tag;
  std::string version;
  std::uint32_t state;
};

catalogue::ProductTable Table(const std::vector<Row>& rows) {
  catalogue::ProductTable t;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    t.m_prodTag[i] = rows[i].tag;
    t.m_prodVersion[i] = rows[i].version;
    t.m_prodState[i] = rows[i].state;
  }
  t.m_nProducts = static_cast<std::uint32_t>(rows.size());
  return t;
}

Identity Device(const std::string& version) {
  Identity id;
  id.m_devCode = {0x56, 0x51, 0x00, 0x00, 0x0A, 0x1B};
  id.m_strDevVersion = version;
  return id;
}

constexpr const char* kTag = "VOR_T0a1b_V";

TEST(SelectFirmware, ChoosesTheFirstUsableRowAndComparesVersions) {
  struct Case {
    const char* name;
    std::string deviceVersion;
    std::vector<Row> rows;
    LoadResult want;
    int product;  // m_nProduct afterwards; it starts at 7
  } cases[] = {
      {"file newer", "1.20", {{kTag, "1.30", 4}}, RESULT_OK, 0},
      {"same", "1.30", {{kTag, "1.3", 3}}, RESULT_SAME_VERSION, 0},
      {"device newer", "1.31", {{kTag, "1.30", 3}}, RESULT_DEVICE_NEWER, 0},
      {"2.01 is newer than 2.00", "2.01", {{kTag, "2.00", 4}}, RESULT_DEVICE_NEWER, 0},
      {"2.10 against 2.9", "2.10", {{kTag, "2.9", 4}}, RESULT_OK, 0},
      {"no version on the device", "", {{kTag, "0.01", 4}}, RESULT_OK, 0},
      {"upper-case tag never matches", "1.00", {{"VOR_T0A1B_V", "2.00", 4}}, RESULT_NO_HEX_FILE, 7},
      {"files not usable", "1.00", {{kTag, "2.00", 1}, {kTag, "2.00", 2}}, RESULT_NO_HEX_FILE, 7},
      {"other products only", "1.00", {{"VOR_T0a1c_V", "2.00", 4}}, RESULT_NO_HEX_FILE, 7},
      {"no rows", "1.00", {}, RESULT_NO_HEX_FILE, 7},
      {"first usable of equal tags",
       "1.00",
       {{"VOR_T0000_V", "9.00", 4}, {kTag, "3.00", 2}, {kTag, "1.00", 3}, {kTag, "5.00", 4}},
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
      Table({{kTag, "1.00", 2}, {"VOR_T0a1c_V", "1.00", 4}, {kTag, "1.10", 3}, {kTag, "1.20", 4}});
  EXPECT_EQ(FindProductRow(t, kTag), 2);
  EXPECT_EQ(FindProductRow(t, "VOR_T0a1d_V"), -1);
  EXPECT_EQ(FindProductRow(t, ""), -1);
}

TEST(SelectFirmware, RowCountBeyondTheTableIsNotFollowed) {
  catalogue::ProductTable t = Table({});
  t.m_nProducts = 1000;
  int product = -1;
  EXPECT_EQ(SelectFirmware(Device("1.00"), t, product), RESULT_NO_HEX_FILE);
  t.m_prodTag[31] = kTag;
  t.m_prodVersion[31] = "1.50";
  t.m_prodState[31] = 4;
  EXPECT_EQ(SelectFirmware(Device("1.00"), t, product), RESULT_OK);
  EXPECT_EQ(product, 31);
}

}  // namespace
}  // namespace app
