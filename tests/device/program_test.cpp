#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/device/step_fixture.h"

namespace device {
namespace {

using testing_support::RecordingView;
using testing_support::ScriptedDevice;

image::MemImage ImageOf(std::size_t n) {
  image::MemImage img;
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<std::uint8_t>('0' + i % 10);
    img.Write(&b, 1);
  }
  return img;
}

std::vector<std::size_t> ChunkSizes(const testing_support::ScriptedLine& line) {
  std::vector<std::size_t> sizes;
  for (const auto& w : line.writes) sizes.push_back(w.size());
  return sizes;
}

// Puts the scripted device into its receiving state, as after boot request and erase.
void Erased(ScriptedDevice& dev) {
  dev.Answer(std::vector<std::uint8_t>{0xF0, 0x00, 0x3F, 0x61, 0, 0, 0, 0, 0, 0x15, 0x5A, 0x54, 0x34, 0},
             57600);
  dev.Answer(std::vector<std::uint8_t>{0x79}, 57600);
  ASSERT_EQ(dev.mode(), ScriptedDevice::Mode::Receiving);
}

using SendImageTest = StepTest;

TEST_F(SendImageTest, StreamsFiftyByteChunksWithProgress) {
  struct Case {
    std::size_t length;
    std::vector<std::size_t> chunks;
    std::vector<std::string> texts;
  } cases[] = {
      {120,
       {50, 50, 20},
       {"main: Sending Hex file 41.7% done", "main: Sending Hex file 83.3% done",
        "main: Sending Hex file 100.0% done"}},
      {100, {50, 50}, {"main: Sending Hex file 50.0% done", "main: Sending Hex file 100.0% done"}},
      {1, {1}, {"main: Sending Hex file 100.0% done"}},
      {0, {}, {"main: Sending Hex file 100.0% done"}},  // nothing to send, nothing divided by
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    testing_support::ScriptedOpener op;
    testing_support::ScriptedLine& l = op.Line(1);
    Link lk{op};
    RecordingView v;
    ASSERT_EQ(OpenComPort(lk, 1, 57600), RESULT_OK);
    image::MemImage img = ImageOf(c.length);
    img.Read(lk.m_rxBuf.data(), 7);  // the stream starts from the beginning wherever the image stands

    EXPECT_EQ(SendImage(lk, img, v), RESULT_OK);
    EXPECT_EQ(ChunkSizes(l), c.chunks);
    EXPECT_EQ(v.calls, c.texts);
    std::vector<std::uint8_t> sent;
    for (const auto& w : l.writes) sent.insert(sent.end(), w.begin(), w.end());
    EXPECT_EQ(sent, img.Bytes());
    EXPECT_EQ(l.events[2], "discard");
    ASSERT_FALSE(v.progressSeen.empty());
    EXPECT_EQ(v.progressSeen.back().sent, c.length);
    EXPECT_EQ(v.progressSeen.back().total, c.length);
    EXPECT_DOUBLE_EQ(v.progressSeen.back().percent, 100.0);
    EXPECT_TRUE(lk.m_bCommOpen());
  }
}

TEST_F(SendImageTest, ChunkNotTakenWholeStopsTheStream) {
  OpenAt();
  line.writeResults = {50, 49};
  image::MemImage img = ImageOf(500);
  EXPECT_EQ(SendImage(link, img, view), RESULT_PROGRAM_FAILED);
  EXPECT_EQ(ChunkSizes(line), (std::vector<std::size_t>{50, 49}));
  EXPECT_EQ(view.Calls("main: "), (std::vector<std::string>{"main: Sending Hex file 10.0% done"}));

  line.writeResults = {-1};
  EXPECT_EQ(SendImage(link, img, view), RESULT_PROGRAM_FAILED);
  EXPECT_EQ(line.writes.size(), 3u);
}

TEST_F(SendImageTest, TheStreamEndsWhenTheLineHasCarriedIt) {
  OpenAt();
  image::MemImage img = ImageOf(120);
  EXPECT_EQ(SendImage(link, img, view), RESULT_OK);
  ASSERT_FALSE(line.events.empty());
  EXPECT_EQ(line.events.back(), "drain");  // after the last chunk, before anything else

  // Bytes stuck in the port never reached the device: no success.
  line.drainFails = true;
  EXPECT_EQ(SendImage(link, img, view), RESULT_PROGRAM_FAILED);
}

TEST_F(SendImageTest, StopRequestEndsTheStreamBetweenChunks) {
  std::stop_source stop;
  struct StoppingView : RecordingView {
    std::stop_source* source = nullptr;
    void progress(const StreamProgress& p) override {
      RecordingView::progress(p);
      source->request_stop();
    }
  } v;
  v.source = &stop;
  link.m_stop = stop.get_token();
  OpenAt();
  image::MemImage img = ImageOf(500);
  EXPECT_EQ(SendImage(link, img, v), RESULT_STOPPED);
  EXPECT_EQ(line.writes.size(), 1u);

  // A stop already requested sends nothing.
  RecordingView quiet;
  EXPECT_EQ(SendImage(link, img, quiet), RESULT_STOPPED);
  EXPECT_EQ(line.writes.size(), 1u);
}

using EraseFlashTest = StepTest;

TEST_F(EraseFlashTest, SixteenBytesWithinTheTimeOutMeanErased) {
  struct Case {
    std::size_t replyLen;
    LoadResult want;
  } cases[] = {{16, RESULT_OK}, {15, RESULT_ERASE_FAILED}, {0, RESULT_ERASE_FAILED}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.replyLen);
    testing_support::ScriptedOpener op;
    testing_support::ScriptedLine& l = op.Line(1);
    ScriptedDevice d;
    d.script().eraseLen = c.replyLen;
    d.Attach(l);
    d.Answer(std::vector<std::uint8_t>{0xF0, 0x00, 0x3F, 0x61, 0, 0, 0, 0, 0, 0x15, 0x5A, 0x54, 0x34, 0},
             57600);
    Link lk{op};
    RecordingView v;
    ASSERT_EQ(OpenComPort(lk, 1, 57600), RESULT_OK);
    l.input.assign(5, 0xAA);  // stale bytes are discarded before the command
    EXPECT_EQ(EraseFlash(lk, v), c.want);
    EXPECT_EQ(l.events, (std::vector<std::string>{"open", "configure 57600", "timeout 5000", "discard",
                                                  "write 79", "read " + std::to_string(c.replyLen) + "/16"}));
    EXPECT_EQ(v.calls, (std::vector<std::string>{"main: Waiting for Erase to Complete."}));
    EXPECT_TRUE(lk.m_bCommOpen());
  }
}

class WaitForRebootTest : public StepTest {
 protected:
  std::vector<int> sleeps;
  void SetUp() override {
    StepTest::SetUp();
    link.m_sleep = [this](int ms) { sleeps.push_back(ms); };
    Identified();
    Erased(dev);
  }
};

TEST_F(WaitForRebootTest, AnswerOnTheTwentiethPoll) {
  dev.script().silentPollsAfterImage = 19;
  EXPECT_EQ(WaitForReboot(link, id, "1.30"), RESULT_OK);
  EXPECT_EQ(sleeps, std::vector<int>(20, 1000));
  EXPECT_EQ(id.m_strDevVersion, "1.30");
  ExpectOpen(true);
}

TEST_F(WaitForRebootTest, NoAnswerInTwentyPolls) {
  dev.script().silentPollsAfterImage = 20;
  EXPECT_EQ(WaitForReboot(link, id, "1.30"), RESULT_PROGRAM_FAILED);
  EXPECT_EQ(sleeps.size(), 20u);
  EXPECT_EQ(line.Events("write BF").size(), 21u);  // the identify before, and 20 polls
  ExpectOpen(true);                                // the polls never close the port
}

TEST_F(WaitForRebootTest, AnswerWithAnotherVersionIsAFailure) {
  dev.script().labelAfterImage = "VN-Amp V1.20";
  EXPECT_EQ(WaitForReboot(link, id, "1.30"), RESULT_PROGRAM_FAILED);
  EXPECT_EQ(sleeps.size(), 1u);
  EXPECT_EQ(id.m_strDevVersion, "1.20");
}

TEST_F(WaitForRebootTest, VersionsCompareInHundredths) {
  dev.script().labelAfterImage = "VN-Amp V1.3";
  EXPECT_EQ(WaitForReboot(link, id, "1.30"), RESULT_OK);
}

TEST_F(WaitForRebootTest, PollThatCannotWriteClosesThePortAndTheRestFail) {
  line.writeResults = {2};
  EXPECT_EQ(WaitForReboot(link, id, "1.30"), RESULT_PROGRAM_FAILED);
  EXPECT_EQ(sleeps.size(), 20u);
  EXPECT_EQ(line.writes.size(), 2u);  // the identify before, then the one poll that broke
  ExpectOpen(false);
}

TEST_F(WaitForRebootTest, StopRequestEndsThePolling) {
  dev.script().silentPollsAfterImage = 20;
  std::stop_source stop;
  link.m_stop = stop.get_token();
  link.m_sleep = [this, &stop](int ms) {
    sleeps.push_back(ms);
    if (sleeps.size() >= 3) stop.request_stop();
  };
  EXPECT_EQ(WaitForReboot(link, id, "1.30"), RESULT_STOPPED);
  EXPECT_EQ(sleeps.size(), 3u);
  EXPECT_EQ(line.Events("write BF").size(), 3u);  // the identify before, and two polls
}

TEST(DefaultSleep, EndsEarlyOnStop) {
  testing_support::ScriptedOpener op;
  Link lk{op};
  std::stop_source stop;
  stop.request_stop();
  lk.m_stop = stop.get_token();
  testing_support::ScriptedLine& l = op.Line(1);
  testing_support::ScriptedDevice d;
  d.Attach(l);
  Identity ident;
  // A stop already requested: no 20-second wait, no poll at all.
  EXPECT_EQ(WaitForReboot(lk, ident, "1.00"), RESULT_STOPPED);
  EXPECT_TRUE(l.writes.empty());
}

class ProgramDeviceTest : public StepTest {
 protected:
  FirmwareTarget target{"amp.hex", "0a1b", "1.30", "VN Amp"};
  std::string fileText = ":020000040000FA\r\n:0400000001020304F2\r\n:00000001FF\r\n";
  image::MemImage img;
  std::vector<int> sleeps;

  void SetUp() override {
    StepTest::SetUp();
    img.Write(reinterpret_cast<const std::uint8_t*>(fileText.data()), fileText.size());
    link.m_sleep = [this](int ms) { sleeps.push_back(ms); };
    Identified();
    view.calls.clear();
  }
};

TEST_F(ProgramDeviceTest, MainPathBootsErasesStreamsAndWaits) {
  EXPECT_EQ(ProgramDevice(link, id, target, img, view), RESULT_OK);
  const std::vector<std::string> want = {
      "transfer: on",
      "main: Waiting for Erase to Complete.",
      "main: Sending Hex file 0% done",
      "device: Updating VN Amp to Version: V1.30",
      "main: Sending Hex file 98.0% done",  // 50 of the file's 51 bytes
      "main: Sending Hex file 100.0% done",
      "device: ..",
      "transfer: off",
      "main: Waiting for device to reboot",
  };
  EXPECT_EQ(view.calls, want);
  EXPECT_EQ(std::string(dev.image().begin(), dev.image().end()), fileText);
  EXPECT_EQ(dev.seen(), (std::vector<std::string>{"identify", "boot", "erase", "poll"}));
  EXPECT_EQ(id.m_strDevVersion, "1.30");
  EXPECT_EQ(sleeps.size(), 1u);
  ExpectOpen(true);
}

TEST_F(ProgramDeviceTest, BootRequestFailuresComeBackUnchanged) {
  dev.script().bannerCode = {0x0a, 0x1c};
  EXPECT_EQ(ProgramDevice(link, id, target, img, view), RESULT_BAD_DEVICE_CODE);
  EXPECT_TRUE(view.calls.empty());
  EXPECT_EQ(dev.seen().back(), "decline");
}

TEST_F(ProgramDeviceTest, EraseFailure) {
  dev.script().eraseLen = 15;
  EXPECT_EQ(ProgramDevice(link, id, target, img, view), RESULT_ERASE_FAILED);
  EXPECT_EQ(view.calls, (std::vector<std::string>{"transfer: on", "main: Waiting for Erase to Complete.",
                                                  "main: Erased Failed !!", "transfer: off"}));
  ExpectOpen(true);
}

TEST_F(ProgramDeviceTest, BrokenStreamSkipsTheRebootWait) {
  line.writeResults = {14, 1, 10};  // boot request, erase, then a chunk the port does not take whole
  EXPECT_EQ(ProgramDevice(link, id, target, img, view), RESULT_PROGRAM_FAILED);
  EXPECT_EQ(view.calls.back(), "transfer: off");
  EXPECT_TRUE(view.Calls("main: Waiting for device").empty());
  EXPECT_TRUE(sleeps.empty());
}

// A stop is a stop before programming until the erase command is written: the bootloader is
// declined and nothing more goes out. The simulated bootloader's banner is 64 bytes, so the
// loader's read of 75 runs into its time-out, which a stop ends early.
TEST_F(ProgramDeviceTest, AStopDuringTheBannerWaitDeclinesAndNeverErases) {
  dev.script().bannerLen = 64;
  std::stop_source stop;
  link.m_stop = stop.get_token();
  const auto answer = line.respond;
  line.respond = [&](std::span<const std::uint8_t> written, int rate) {
    std::vector<std::uint8_t> reply = answer(written, rate);
    if (dev.seen().back() == "boot") stop.request_stop();  // while the banner is awaited
    return reply;
  };
  FlashSteps steps;
  EXPECT_EQ(ProgramDevice(link, id, target, img, view, &steps), RESULT_STOPPED);
  EXPECT_EQ(dev.seen(), (std::vector<std::string>{"identify", "boot", "decline"}));
  EXPECT_EQ(line.Events("write").back(), "write 4E");
  EXPECT_FALSE(steps.eraseBegan);
  EXPECT_FALSE(steps.streamBegan);
  EXPECT_TRUE(view.calls.empty()) << "no programming was begun or told";
  EXPECT_TRUE(dev.image().empty());
  ExpectOpen(true);  // the workflow's end closes it
}

// The stop is looked at the moment before the erase goes out, not only between steps: one that
// comes as programming begins (where a station or line decides whether it reaches the device)
// still spares the device.
TEST_F(ProgramDeviceTest, AStopAsProgrammingBeginsDeclinesBeforeTheErase) {
  std::stop_source stop;
  link.m_stop = stop.get_token();
  struct StoppingView : RecordingView {
    std::stop_source* source = nullptr;
    void transferActive(bool active) override {
      RecordingView::transferActive(active);
      if (active) source->request_stop();
    }
  } v;
  v.source = &stop;
  FlashSteps steps;
  EXPECT_EQ(ProgramDevice(link, id, target, img, v, &steps), RESULT_STOPPED);
  EXPECT_EQ(dev.seen(), (std::vector<std::string>{"identify", "boot", "decline"}));
  EXPECT_FALSE(steps.eraseBegan);
  EXPECT_EQ(v.calls, (std::vector<std::string>{"transfer: on", "transfer: off"}));
  EXPECT_EQ(sleeps, std::vector<int>{100}) << "the decline is given time to reach the device, no reboot wait";
}

// Once the erase is written the device is being programmed: a stop then ends the run with the
// erase on record, and no decline (the bootloader no longer listens for one).
TEST_F(ProgramDeviceTest, AStopAfterTheEraseIsWrittenKeepsTheEraseOnRecord) {
  std::stop_source stop;
  link.m_stop = stop.get_token();
  struct StoppingView : RecordingView {
    std::stop_source* source = nullptr;
    void setMainStatus(const std::string& text) override {
      RecordingView::setMainStatus(text);
      if (text == "Waiting for Erase to Complete.") source->request_stop();
    }
  } v;
  v.source = &stop;
  FlashSteps steps;
  EXPECT_EQ(ProgramDevice(link, id, target, img, v, &steps), RESULT_STOPPED);
  EXPECT_EQ(dev.seen(), (std::vector<std::string>{"identify", "boot", "erase"}));
  EXPECT_TRUE(steps.eraseBegan);
  EXPECT_FALSE(steps.streamBegan);
}

}  // namespace
}  // namespace device
