// vornet-pack's files as the loader and the device read them: the loader's decoder and hex
// scan find the version tag in both forms, and the device accepts every record.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "image/firmware_decoder.h"
#include "image/hex_scan.h"
#include "sim/hex_receiver.h"
#include "tests/support/sim/sim_process.h"

namespace sim_test {
namespace {

struct PackCase {
  bool encrypted;
  std::size_t size;
  const char* version;
  image::DecodeResult form;
};

TEST(PackToolTest, MakesFilesTheLoaderScansAndTheDeviceAccepts) {
  testing_support::TempDir dir("vornet-pack-test");
  for (const PackCase& c : {PackCase{true, 4096, "1.80", image::DECODE_ENCRYPTED},
                            PackCase{false, 4096, "1.80", image::DECODE_PLAIN},
                            PackCase{true, 70000, "12.5", image::DECODE_ENCRYPTED},  // past 64 KiB
                            PackCase{false, 200, "2.00", image::DECODE_PLAIN}}) {
    SCOPED_TRACE(std::to_string(c.size) + (c.encrypted ? " encrypted" : " plain"));
    const std::string file = dir.path + "/fw.bin";
    ASSERT_TRUE(testing_support::PackFirmware(file, "0a1b", c.version, c.encrypted, c.size));
    const image::ScanResult scan = image::ScanHexImage("VOR_T0a1b_V", file);
    EXPECT_EQ(scan.tag, ("VOR_T0a1b_V" + std::string(c.version)).substr(0, 15));
    EXPECT_EQ(scan.form, c.form);

    image::MemImage img;
    ASSERT_GE(image::DecodeFirmwareFile(file, img), 0);
    if (c.encrypted) {
      EXPECT_EQ(img.GetLength() % 16, 0u);
    }
    sim::HexReceiver rx;
    for (std::uint8_t b : img.Bytes()) rx.Feed(b);
    EXPECT_TRUE(rx.Ended());
    EXPECT_EQ(rx.BadRecords(), 0u);
    EXPECT_EQ(rx.StrayBytes(), 0u);
    EXPECT_EQ(rx.Data().size(), c.size);
    EXPECT_EQ(sim::FindVersion(rx.Data(), "VOR_T0a1b_V"), c.version);
  }
}

TEST(PackToolTest, RefusesWhatItCannotMake) {
  testing_support::TempDir dir("vornet-pack-test");
  const std::string file = dir.path + "/fw.bin";
  EXPECT_FALSE(testing_support::PackFirmware(file, "0a1", "1.80", true));        // code too short
  EXPECT_FALSE(testing_support::PackFirmware(file, "0a1b", "1.8x", true));       // not a version
  EXPECT_FALSE(testing_support::PackFirmware(file, "0a1b", "1.80", true, 120));  // no room for the tag
  EXPECT_FALSE(std::ifstream(file).good());
}

}  // namespace
}  // namespace sim_test
