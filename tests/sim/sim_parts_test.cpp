// The simulator's own parsers and checks, in memory: the Intel HEX receiver, 7-bit unpacking,
// the challenge time-stamp check, the label after an update, and the command line.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "device/frame_codec.h"
#include "sim/challenge_check.h"
#include "sim/device_frames.h"
#include "sim/hex_receiver.h"
#include "sim/sim_options.h"

namespace sim {
namespace {

struct HexCase {
  const char* name;
  std::string text;
  std::size_t records, badRecords, dataBytes;
  bool ended;
};

TEST(HexReceiverTest, ChecksEveryRecordAndKeepsTheDataRecords) {
  const std::vector<HexCase> cases = {
      {"good", ":020000040800F2\r\n:0400000001020304F2\r\n:00000001FF\r\n", 3, 0, 4, true},
      {"bad checksum", ":0400000001020304F3\r\n:00000001FF\r\n", 1, 1, 0, true},
      {"non-hex inside", ":04000000010G0304F2\r\n:00000001FF\r\n", 1, 1, 0, true},
      {"cut short by the next record", ":0400000001:00000001FF\r\n", 1, 1, 0, true},
      {"lower-case digits", ":0400000001020a04eb\r\n", 1, 0, 4, false},
      {"no end record", ":0400000001020304F2\r\n", 1, 0, 4, false},
  };
  for (const auto& c : cases) {
    HexReceiver rx;
    for (char ch : c.text) rx.Feed(static_cast<std::uint8_t>(ch));
    EXPECT_EQ(rx.Records(), c.records) << c.name;
    EXPECT_EQ(rx.BadRecords(), c.badRecords) << c.name;
    EXPECT_EQ(rx.Data().size(), c.dataBytes) << c.name;
    EXPECT_EQ(rx.Ended(), c.ended) << c.name;
    EXPECT_EQ(rx.ByteCount(), c.text.size()) << c.name;
  }
}

TEST(HexReceiverTest, CountsThePaddingAfterTheEndRecordAsPartOfTheImage) {
  HexReceiver rx;
  const std::string text = ":00000001FF\r\n";
  for (char ch : text) rx.Feed(static_cast<std::uint8_t>(ch));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rx.Feed(0), HexReceiver::Step::None);
  EXPECT_EQ(rx.ByteCount(), text.size() + 3);
  EXPECT_EQ(rx.StrayBytes(), 0u);
}

TEST(HexReceiverTest, FindsTheVersionAfterTheDeviceTag) {
  auto bytes = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
  EXPECT_EQ(FindVersion(bytes("xxVOR_T0a1b_V1.80\0yy"), "VOR_T0a1b_V"), "1.80");
  EXPECT_EQ(FindVersion(bytes("VOR_T0a1c_V1.80"), "VOR_T0a1b_V"), std::nullopt);
  EXPECT_EQ(FindVersion(bytes("VOR_T0a1b_V"), "VOR_T0a1b_V"), std::nullopt);
}

TEST(SevenBitTest, UnpacksWhatTheLoaderPacksAndRejectsWhatItNeverSends) {
  const device::ChallengeBlock in = {0x80, 0x01, 0xFF, 0x7F, 0x00, 0x40, 0xC3, 0x10,
                                     0x9A, 0x00, 0x00, 0x00, 0x00, 0xFE, 0x81, 0x02};
  const auto packed = device::PackSevenBit(in);
  auto back = UnpackSevenBit(packed);
  ASSERT_TRUE(back.has_value());
  EXPECT_TRUE(std::equal(in.begin(), in.end(), back->begin()));

  auto bad = packed;
  bad[3] |= 0x80;  // a data byte with its top bit set
  EXPECT_FALSE(UnpackSevenBit(bad).has_value());
  bad = packed;
  bad[16] |= 0x04;  // the last group has two bytes: header bit 2 belongs to no byte
  EXPECT_FALSE(UnpackSevenBit(bad).has_value());
  EXPECT_FALSE(UnpackSevenBit(std::span(packed).first(18)).has_value());
}

std::array<std::uint8_t, 16> Stamp(unsigned year, unsigned month, unsigned day, unsigned dow, unsigned hour,
                                   unsigned minute, unsigned second, unsigned ms) {
  auto w = [](unsigned v) {
    return std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
  };
  std::array<std::uint8_t, 16> b{};
  auto put = [&](std::size_t at, unsigned v) {
    auto x = w(v);
    b[at] = x[0];
    b[at + 1] = x[1];
  };
  put(0, day);
  put(2, dow);
  put(4, hour);
  put(6, ms);
  b[8] = static_cast<std::uint8_t>(minute);
  b[9] = 0x01;
  put(10, month);
  put(12, second);
  put(14, year);
  return b;
}

TEST(ChallengeCheckTest, AcceptsOnlyAWellFormedTimeCloseToTheDevicesClock) {
  // Wednesday 2014-03-05 14:07:09.250 UTC.
  std::tm tm{};
  tm.tm_year = 114;
  tm.tm_mon = 2;
  tm.tm_mday = 5;
  tm.tm_hour = 14;
  tm.tm_min = 7;
  tm.tm_sec = 9;
  const auto device = std::chrono::system_clock::from_time_t(timegm(&tm)) + std::chrono::milliseconds(250);

  const auto good = Stamp(2014, 3, 5, 3, 14, 7, 9, 250);
  EXPECT_EQ(CheckChallenge(good, device, 60).problem, "");
  EXPECT_EQ(CheckChallenge(good, device + std::chrono::seconds(59), 60).problem, "");
  EXPECT_EQ(CheckChallenge(good, device + std::chrono::seconds(61), 60).problem, "clock");

  auto layout = good;
  layout[9] = 0x02;
  EXPECT_EQ(CheckChallenge(layout, device, 60).problem, "layout");
  EXPECT_EQ(CheckChallenge(Stamp(2014, 3, 5, 4, 14, 7, 9, 250), device, 60).problem, "day-of-week");
  EXPECT_EQ(CheckChallenge(Stamp(2014, 2, 30, 0, 14, 7, 9, 250), device, 60).problem, "date");
  EXPECT_EQ(CheckChallenge(Stamp(2014, 3, 5, 3, 24, 7, 9, 250), device, 60).problem, "field-range");
}

TEST(LabelTest, TheNewFirmwareKeepsTheModelNameAndShowsItsVersion) {
  auto label = [](const std::string& s) {
    LabelBytes b{};
    std::copy(s.begin(), s.end(), b.begin());
    return b;
  };
  EXPECT_EQ(LabelText(LabelWithVersion(label("VORnet Amp V1.20"), "1.80")), "VORnet Amp V1.80");
  EXPECT_EQ(LabelText(LabelWithVersion(label("Servo V3.1"), "3.25")), "Servo V3.25");
  EXPECT_EQ(LabelText(LabelWithVersion(label("ABC"), "2.00")), "V2.00");
  EXPECT_EQ(LabelText(LabelWithVersion(label("VORnet Amp V1.20"), "12.345")), "VORnet Amp V12.3");
}

TEST(SimOptionsTest, RejectsWhatItCannotPlay) {
  const std::vector<std::vector<const char*>> bad = {
      {"vornet-sim"},  // no folder
      {"vornet-sim", "--com-dir", "/tmp", "--port", "33"},
      {"vornet-sim", "--com-dir", "/tmp", "--rates", "57600,"},
      {"vornet-sim", "--com-dir", "/tmp", "--id", "2cc0"},
      {"vornet-sim", "--com-dir", "/tmp", "--code", "0a1g"},
      {"vornet-sim", "--com-dir", "/tmp", "--label", "seventeen bytes!!"},
      {"vornet-sim", "--com-dir", "/tmp", "--banner-length", "76"},
      {"vornet-sim", "--com-dir", "/tmp", "--silent", "--never-restart"},  // one fault at a time
      {"vornet-sim", "--com-dir", "/tmp", "--hang-up-on-erase", "--hang-up-after-bytes", "100"},
      {"vornet-sim", "--com-dir", "/tmp", "--hang-up-after-open", "5", "--no-erase-reply"},
      {"vornet-sim", "--com-dir", "/tmp", "--hang-up-after-bytes", "0"},
      {"vornet-sim", "--com-dir", "/tmp", "--erase-ms"},
      {"vornet-sim", "--com-dir", "/tmp", "--colour"},
  };
  for (const auto& args : bad) {
    SimOptions o;
    std::string error;
    EXPECT_EQ(ParseSimOptions(static_cast<int>(args.size()), args.data(), o, error), ParseOutcome::Error)
        << args.back();
    EXPECT_FALSE(error.empty());
  }
  const std::vector<const char*> good = {"vornet-sim", "--com-dir",     "/tmp",
                                         "--rates",    "38400,115200",  "--id",
                                         "1234ABCD",   "--banner-code", "0a1c"};
  SimOptions o;
  std::string error;
  ASSERT_EQ(ParseSimOptions(static_cast<int>(good.size()), good.data(), o, error), ParseOutcome::Run)
      << error;
  EXPECT_EQ(o.rates, (std::vector<int>{38400, 115200}));
  EXPECT_EQ(o.id, (IdBytes{0x12, 0x34, 0xab, 0xcd}));
  EXPECT_EQ(o.faults.bannerCode, (CodeBytes{0x0a, 0x1c}));
}

}  // namespace
}  // namespace sim
