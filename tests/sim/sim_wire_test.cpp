// The simulator through a real pseudo-terminal, driven by a raw client that speaks the wire
// format byte by byte: rates, replies, fault modes, authentication, programming, raw boot.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "device/frame_codec.h"
#include "image/auth_challenge.h"
#include "tests/sim/raw_client.h"
#include "tests/support/sim/sim_process.h"

namespace sim_test {
namespace {

using testing_support::JsonField;
using testing_support::SimConfig;
using testing_support::SimProcess;
using testing_support::TempDir;

const Bytes kIdentifyQuery = {0xBF, 0x00, 0x00, 0x00, 0x00};

Bytes DeviceQuery(const Bytes& id) {
  return {0xE0, id[0], id[1], id[2], id[3]};
}

Bytes BootRequest(const Bytes& id) {
  Bytes m = {0xF0, 0x00, 0x3F, 0x61, id[0], id[1], id[2], id[3], 0x00, 0x15, 0x5A, 0x54, 0x34, 0x00};
  m[13] = SevenBitSum(m, 13);
  return m;
}

Bytes AuthFrame(const Bytes& id, const image::UtcTime& when) {
  std::uint8_t block[16];
  image::MakeAuthChallenge(0, block, when);
  device::ChallengeBlock challenge{};
  std::copy(std::begin(block), std::end(block), challenge.begin());
  device::TxBuffer tx{};
  const std::size_t n = device::BuildAuthFrameBytes(tx, {id[0], id[1], id[2], id[3]}, challenge);
  return Bytes(tx.begin(), tx.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool SumOk(const Bytes& reply) {
  return !reply.empty() && reply.back() == SevenBitSum(reply, reply.size() - 1);
}

std::string Label(const Bytes& identifyReply) {
  std::string s(identifyReply.begin() + 7, identifyReply.begin() + 23);
  return s.substr(0, s.find('\0'));
}

class SimWireTest : public ::testing::Test {
 protected:
  TempDir dir{"vornet-sim-test"};
  std::string Com(int port = 1) const { return dir.path + "/COM" + std::to_string(port); }
};

TEST_F(SimWireTest, AnswersOnlyAtTheRatesItIsTold) {
  SimConfig cfg;
  cfg.rates = {38400};
  SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  for (int rate : {57600, 115200}) {
    RawClient client(Com(), rate);
    ASSERT_TRUE(client.Ok());
    EXPECT_TRUE(client.Transact(kIdentifyQuery, 24, 300).empty()) << rate;
  }
  RawClient client(Com(), 38400);
  const Bytes reply = client.Transact(kIdentifyQuery, 24);
  ASSERT_EQ(reply.size(), 24u);
  EXPECT_TRUE(SumOk(reply));
  const auto ignored = sim.Lines("ignored");
  ASSERT_EQ(ignored.size(), 2u);
  EXPECT_EQ(JsonField(ignored[0], "rate"), "57600");
  EXPECT_EQ(JsonField(ignored[1], "rate"), "115200");
  EXPECT_EQ(JsonField(sim.Lines("identify").at(0), "rate"), "38400");

  // Stopped, it takes its link away with it.
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Com())));
}

TEST_F(SimWireTest, RepliesCarryTheConfiguredIdentity) {
  SimConfig cfg;
  cfg.id = "1234abcd";
  cfg.label = "Mixer X V2.05";
  cfg.code = "c0de";
  SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  RawClient client(Com(), 57600);

  const Bytes ident = client.Transact(kIdentifyQuery, 24);
  ASSERT_EQ(ident.size(), 24u);
  EXPECT_TRUE(SumOk(ident));
  EXPECT_EQ(Bytes(ident.begin() + 3, ident.begin() + 7), (Bytes{0x12, 0x34, 0xab, 0xcd}));
  EXPECT_EQ(Label(ident), "Mixer X V2.05");

  const Bytes dev = client.Transact(DeviceQuery({0x12, 0x34, 0xab, 0xcd}), 15);
  ASSERT_EQ(dev.size(), 15u);
  EXPECT_TRUE(SumOk(dev));
  EXPECT_EQ(dev[8], 0x56);
  EXPECT_EQ(dev[9], 0x51);
  EXPECT_EQ(dev[12], 0xc0);
  EXPECT_EQ(dev[13], 0xde);

  // A query for another device ID is not this device's business.
  EXPECT_TRUE(client.Transact(DeviceQuery({0x12, 0x34, 0xab, 0xce}), 15, 300).empty());
  EXPECT_EQ(JsonField(sim.Lines("query").back(), "verdict"), "wrong-id");
}

struct FaultCase {
  const char* name;
  const char* option;
  Bytes query;
  std::size_t replyLen;
  std::size_t expectLen;
  bool sumOk;
  bool signatureOk;
};

class SimFaultTest : public SimWireTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimFaultTest, ShowsItsFault) {
  const FaultCase& c = GetParam();
  SimConfig cfg;
  cfg.extraArgs = {c.option};
  SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  RawClient client(Com(), 57600);
  const Bytes reply = client.Transact(c.query, c.replyLen, 300);
  ASSERT_EQ(reply.size(), c.expectLen);
  if (reply.empty()) return;
  EXPECT_EQ(SumOk(reply), c.sumOk);
  if (c.replyLen == 15) {
    EXPECT_EQ(reply[8] == 0x56 && reply[9] == 0x51, c.signatureOk);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SimFaultTest,
    ::testing::Values(FaultCase{"Silent", "--silent", kIdentifyQuery, 24, 0, false, false},
                      FaultCase{"ShortIdentify", "--short-identify", kIdentifyQuery, 24, 20, false, false},
                      FaultCase{"BadIdentifyChecksum", "--bad-identify-checksum", kIdentifyQuery, 24, 24,
                                false, false},
                      FaultCase{"WrongSignature", "--wrong-signature", DeviceQuery({0x00, 0x00, 0x2c, 0xc0}),
                                15, 15, true, false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SimWireTest, AcceptsOnlyAFreshChallenge) {
  SimProcess sim(dir.path, SimConfig{});
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  RawClient client(Com(), 57600);
  const Bytes id = {0x00, 0x00, 0x2c, 0xc0};

  const Bytes reply = client.Transact(AuthFrame(id, image::CurrentUtcTime()), 30);
  ASSERT_EQ(reply.size(), 30u);
  EXPECT_TRUE(SumOk(reply));
  EXPECT_EQ(JsonField(sim.Lines("auth").back(), "timestamp"), "ok");

  image::UtcTime stale = image::CurrentUtcTime();
  stale.year = static_cast<std::uint16_t>(stale.year - 1);  // a year-old time stamp
  EXPECT_TRUE(client.Transact(AuthFrame(id, stale), 30, 500).empty());
  const std::string line = sim.Lines("auth").back();
  EXPECT_EQ(JsonField(line, "verdict"), "rejected");
  EXPECT_NE(JsonField(line, "timestamp"), "ok");

  Bytes corrupt = AuthFrame(id, image::CurrentUtcTime());
  corrupt[12] ^= 0x01;  // the sum no longer matches
  EXPECT_TRUE(client.Transact(corrupt, 30, 300).empty());
  EXPECT_EQ(JsonField(sim.Lines("auth").back(), "checksum"), "bad");
}

struct StreamCase {
  const char* name;
  bool corruptRecord;
  bool paced;  // at the line's own speed
  const char* labelAfter;
  const char* firmware;
};

class SimProgramTest : public SimWireTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(SimProgramTest, RestartsWithTheStreamedVersionOnlyWhenEveryRecordChecks) {
  const StreamCase& c = GetParam();
  const std::string file = dir.path + "/fw.hex";
  ASSERT_TRUE(testing_support::PackFirmware(file, "0a1b", "1.80", false, 1024));
  Bytes image = ReadFile(file);
  ASSERT_GT(image.size(), 1000u);
  if (c.corruptRecord) {
    // The second data record's checksum: the last hex digit before its line end.
    std::size_t line2 = std::string(image.begin(), image.end()).find("\r\n:10", 20);
    std::size_t end2 = std::string(image.begin(), image.end()).find("\r\n", line2 + 2);
    image[end2 - 1] = image[end2 - 1] == '0' ? '1' : '0';
  }
  SimConfig cfg;
  cfg.extraArgs = {"--erase-ms", "50", "--restart-ms", "100"};
  if (c.paced) cfg.extraArgs.push_back("--pace");
  SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  RawClient client(Com(), 57600);

  const Bytes banner = client.Transact(BootRequest({0x00, 0x00, 0x2c, 0xc0}), 75, 1000);
  ASSERT_GE(banner.size(), 60u);
  EXPECT_EQ(Bytes(banner.begin(), banner.begin() + 6), (Bytes{0x56, 0x51, 0x00, 0x00, 0x0a, 0x1b}));
  EXPECT_EQ(client.Transact({0x79}, 16, 5000).size(), 16u);
  for (std::size_t i = 0; i < image.size(); i += 50)
    ASSERT_TRUE(
        client.Write(Bytes(image.begin() + static_cast<std::ptrdiff_t>(i),
                           image.begin() + static_cast<std::ptrdiff_t>(std::min(i + 50, image.size())))));
  ASSERT_TRUE(sim.WaitFor("restart", 5000));

  const Bytes ident = client.Transact(kIdentifyQuery, 24);
  ASSERT_EQ(ident.size(), 24u);
  EXPECT_EQ(Label(ident), c.labelAfter);
  EXPECT_EQ(JsonField(sim.Lines("restart").at(0), "firmware"), c.firmware);
  const std::string img = sim.Lines("image").at(0);
  EXPECT_EQ(JsonField(img, "length"), std::to_string(image.size()));
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08x", testing_support::Crc32(image));
  EXPECT_EQ(JsonField(img, "crc32"), crc);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, SimProgramTest,
    ::testing::Values(StreamCase{"Good", false, false, "VORnet Amp V1.80", "new"},
                      StreamCase{"BadRecordChecksum", true, false, "VORnet Amp V1.20", "old"},
                      StreamCase{"GoodAtLineSpeed", false, true, "VORnet Amp V1.80", "new"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SimWireTest, RawBootSendsItsBannerWhenTheLoaderListensAndThenRunsTheNewFirmware) {
  const std::string file = dir.path + "/fw.hex";
  ASSERT_TRUE(testing_support::PackFirmware(file, "0a1b", "2.00", false, 512));
  SimConfig cfg;
  cfg.extraArgs = {"--raw-boot", "--boot-delay", "100", "--erase-ms", "50", "--restart-ms", "50"};
  SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  {
    // A port opened and closed at once (the loader listing its ports) powers nothing on.
    RawClient probe(Com(), 9600);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(sim.Contains("banner"));

  RawClient client(Com(), 57600);
  client.Discard();
  const Bytes banner = client.Read(64, 5000);
  ASSERT_EQ(banner.size(), 64u);
  EXPECT_EQ(Bytes(banner.begin(), banner.begin() + 6), (Bytes{0x56, 0x51, 0x00, 0x00, 0x0a, 0x1b}));
  EXPECT_EQ(client.Transact({0x79}, 16, 5000).size(), 16u);
  ASSERT_TRUE(client.Write(ReadFile(file)));
  ASSERT_TRUE(sim.WaitFor("restart", 5000));
  const Bytes ident = client.Transact(kIdentifyQuery, 24);
  ASSERT_EQ(ident.size(), 24u);
  EXPECT_EQ(Label(ident), "VORnet Amp V2.00");
}

}  // namespace
}  // namespace sim_test
