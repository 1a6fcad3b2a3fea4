// The Connect workflow and its closing block, over scripted ports and devices.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/record/record_file.h"
#include "image/sha256.h"
#include "tests/app/workflow_fixture.h"

namespace app_tests {
namespace {

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

bool Has(const Strings& calls, const std::string& call) {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

TEST_F(WorkflowTest, StartUpConnectsAndProgramsAnOlderDevice) {
  Firmware("1.30");
  Device("1.20", "1.30");
  view.answers = {true};
  Make().RunStartupSequence();

  EXPECT_EQ(view.log, (Strings{"1 Com Ports Found.", "1 Product definitions Found.",
                               "All Files found and Correct.", "   -Device Programed OK."}));
  EXPECT_EQ(view.Calls("ask: "), Strings{"ask: Load Hex Now?"});
  EXPECT_EQ(view.mainStatus, "Program Loaded.");
  // The identity the new firmware reported, next to "Program Loaded.".
  EXPECT_EQ(view.deviceStatus, "Device: VN-Amp     ID: 11456    Version: V1.30");
  EXPECT_EQ(view.portStatus, "No Connection");
  EXPECT_TRUE(view.connectOn);
  EXPECT_FALSE(view.rawBootOn);
  EXPECT_FALSE(opener.Line(1).open);

  // The main status passes through every stage in order.
  const Strings stages{"main: Searching for Device.",
                       "main: Checking Device.",
                       "main: Authenticating Device.",
                       "main: Checking correct Hex file.",
                       "main: Connected.",
                       "main: Waiting for Erase to Complete.",
                       "main: Sending Hex file 0% done",
                       "main: Sending Hex file 100.0% done",
                       "main: Waiting for device to reboot",
                       "main: Program Loaded."};
  const Strings mains = view.Calls("main: ");
  auto at = mains.begin();
  for (const auto& s : stages) {
    at = std::find(at, mains.end(), s);
    ASSERT_NE(at, mains.end()) << "missing or out of order: " << s;
  }
  // The device received the whole image and the transfer was flagged while it ran.
  EXPECT_FALSE(dev.image().empty());
  EXPECT_EQ(view.Calls("transfer: "), (Strings{"transfer: on", "transfer: off"}));
}

// The decision after the version comparison: boxes shown, answers, outcome.
struct Decision {
  const char* name;
  std::string device, catalogue, after;
  int options;
  std::vector<bool> answers;
  Strings asks;
  std::string logLine, mainStatus;
};

class ConnectDecision : public WorkflowTest, public ::testing::WithParamInterface<Decision> {};

TEST_P(ConnectDecision, FollowsTheVersionsTheOptionsAndTheAnswers) {
  const Decision& d = GetParam();
  Firmware(d.catalogue);
  Device(d.device, d.after);
  view.answers.assign(d.answers.begin(), d.answers.end());
  Make(kOffline | d.options).RunStartupSequence();

  EXPECT_EQ(view.Calls("ask: "), d.asks);
  EXPECT_EQ(view.log.back(), d.logLine);
  EXPECT_EQ(view.mainStatus, d.mainStatus);
  const bool programmed = d.logLine == "   -Device Programed OK.";
  EXPECT_EQ(!dev.image().empty(), programmed);
  if (!programmed) {
    EXPECT_EQ(view.deviceStatus, "..");
  }
  EXPECT_FALSE(view.rawBootOn);
  EXPECT_TRUE(view.connectOn);
  EXPECT_FALSE(opener.Line(1).open);
}

const std::string kLoad = "ask: Load Hex Now?";
const std::string kReload = "ask: Identical Versions.\n Reload?";
const std::string kOld = "ask: Device has later Version.\n Load OLD? (Not Recomended!)";

INSTANTIATE_TEST_SUITE_P(
    Table, ConnectDecision,
    ::testing::Values(
        Decision{"SameNoReload", "1.30", "1.30", "1.30", 0, {}, {}, "E09-Device has latest Version.", ".."},
        Decision{"SameReloadYes",
                 "1.30",
                 "1.30",
                 "1.30",
                 4,
                 {true, true},
                 {kReload, kLoad},
                 "   -Device Programed OK.",
                 "Program Loaded."},
        Decision{"SameReloadNo",
                 "1.30",
                 "1.30",
                 "1.30",
                 4,
                 {false},
                 {kReload},
                 "E09-Device has latest Version.",
                 ".."},
        Decision{"NewerNoOlder", "1.40", "1.30", "1.30", 0, {}, {}, "E10-Device has a Later Version.", ".."},
        Decision{"NewerOlderYes",
                 "1.40",
                 "1.30",
                 "1.30",
                 2,
                 {true, true},
                 {kOld, kLoad},
                 "   -Device Programed OK.",
                 "Program Loaded."},
        Decision{"NewerOlderNo",
                 "1.40",
                 "1.30",
                 "1.30",
                 2,
                 {false},
                 {kOld},
                 "E10-Device has a Later Version.",
                 ".."},
        Decision{
            "OlderLoadNo", "1.20", "1.30", "1.30", 0, {false}, {kLoad}, "E15-Load Cancelled by User.", ".."},
        Decision{"OlderReloadAfterYesThenNo",
                 "1.30",
                 "1.30",
                 "1.30",
                 4,
                 {true, false},
                 {kReload, kLoad},
                 "E15-Load Cancelled by User.",
                 ".."},
        // 2.01 against 2.00 is newer in exact hundredths (binary floating point said "same").
        Decision{"HundredthsAreExact",
                 "2.01",
                 "2.00",
                 "2.00",
                 0,
                 {},
                 {},
                 "E10-Device has a Later Version.",
                 ".."}),
    [](const auto& tpi) { return std::string(tpi.param.name); });

// Device faults and their result codes.
struct Fault {
  const char* name;
  void (*apply)(testing_support::DeviceScript&);
  std::string logLine;
  bool rawBoot;
};

class ConnectFault : public WorkflowTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(ConnectFault, EndsWithItsCodeAndThePortClosed) {
  const Fault& f = GetParam();
  Firmware("1.30");
  Device("1.20", "1.30");
  f.apply(dev.script());
  view.answers = {true};
  Make().RunStartupSequence();

  EXPECT_EQ(view.log.back(), f.logLine);
  EXPECT_EQ(view.mainStatus, "..Failed..");
  EXPECT_EQ(view.deviceStatus, "..");
  EXPECT_EQ(view.portStatus, "No Connection");
  EXPECT_EQ(view.rawBootOn, f.rawBoot);
  // A result that offers Raw Boot says so beside the fixed line; the others say nothing.
  EXPECT_EQ(view.details.size(), f.rawBoot ? 1u : 0u);
  if (f.rawBoot && !view.details.empty()) {
    EXPECT_NE(view.details.back().find("Raw Boot"), std::string::npos);
  }
  EXPECT_TRUE(view.connectOn);
  EXPECT_FALSE(opener.Line(1).open);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConnectFault,
    ::testing::Values(
        Fault{"Silent", [](auto& s) { s.rates = {}; }, "E02-Cannot Connect to a Single Device.", true},
        Fault{"ShortDeviceReply", [](auto& s) { s.deviceLen = 14; }, "E04-Comm Error - Bad Read.", true},
        Fault{"WrongSignature",
              [](auto& s) {
                s.signature = {0x56, 0x52};
              },
              "E06-Not a VOR Device.", true},
        Fault{"BadAuthSum", [](auto& s) { s.authBadSum = true; }, "E05-Comm Error - Bad Checksum.", true},
        Fault{"OtherBannerCode",
              [](auto& s) {
                s.bannerCode = {0x0a, 0x1c};
              },
              "E12-Device Failed to return correct Device code.", true},
        Fault{"EraseUnanswered", [](auto& s) { s.eraseLen = 0; }, "E13-Device Failed to Erase Flash.", true},
        Fault{"NeverRestarts", [](auto& s) { s.silentPollsAfterImage = 100; },
              "E14-Device Failed to Program correctly.", true},
        // The bootloader rejected the image and the old firmware came back.
        Fault{"OldVersionBack", [](auto& s) { s.labelAfterImage = "VN-Amp V1.20"; },
              "E14-Device Failed to Program correctly.", true},
        Fault{"UnknownProduct",
              [](auto& s) {
                s.productCode = {0x0b, 0x00};
              },
              "E08-No Hex file for Device.", false}),
    [](const auto& tpi) { return std::string(tpi.param.name); });

TEST_F(WorkflowTest, AFirmwareFileGoneAfterTheCheckEndsBeforeTheBootRequest) {
  Firmware("1.30");
  Device("1.20", "1.30");
  Make().RunStartupSequence(false);
  std::remove((folder.Path("amp.hex")).c_str());
  view.answers = {true};
  loader->OnConnect();
  EXPECT_EQ(view.log.back(), "E11-Failed to Open Correct Hex File.");
  EXPECT_EQ(std::count(dev.seen().begin(), dev.seen().end(), "boot"), 0);
  EXPECT_TRUE(view.Calls("transfer: ").empty());
}

// The file changes between the check and the programming: nothing is erased or sent, for
// Connect and for raw boot alike.
TEST_F(WorkflowTest, OnlyTheFileTheCheckAcceptedIsProgrammed) {
  struct Change {
    const char* name;
    std::function<std::string(const std::string& checked)> bytes;  // the file's new content
  } changes[] = {
      {"one byte flipped, same length",
       [](const std::string& checked) {
         std::string b = checked;
         b[b.size() / 2] = static_cast<char>(b[b.size() / 2] ^ 0x01);
         return b;
       }},
      {"cut short", [](const std::string& checked) { return checked.substr(0, checked.size() / 2); }},
      {"another product's valid image",
       [](const std::string&) { return catalogue_fixtures::EncryptedFirmware("VOR_T0a1c_V1.30"); }},
      {"this product at another version",
       [](const std::string&) { return catalogue_fixtures::EncryptedFirmware("VOR_T0a1b_V1.25"); }},
  };
  for (bool rawBoot : {false, true}) {
    for (const Change& c : changes) {
      SCOPED_TRACE(std::string(c.name) + (rawBoot ? " (raw boot)" : " (connect)"));
      Firmware("1.30");
      Device("1.20", "1.30");
      view = {};
      Make().RunStartupSequence(false);
      const std::string file = folder.Path("amp.hex");
      catalogue_fixtures::WriteFile(file, c.bytes(catalogue_fixtures::ReadFile(file)));
      view.answers = {true};
      if (rawBoot) {
        dev.PowerOnInBootloader(opener.Line(1));
        loader->OnRawBoot();
      } else {
        loader->OnConnect();
      }
      EXPECT_EQ(view.log.back(), "E11-Failed to Open Correct Hex File.");
      EXPECT_EQ(std::count(dev.seen().begin(), dev.seen().end(), "erase"), 0);
      EXPECT_TRUE(dev.image().empty());
      EXPECT_TRUE(view.Calls("transfer: ").empty());
      ASSERT_EQ(view.details.size(), 1u);
      EXPECT_NE(view.details[0].find("amp.hex"), std::string::npos) << view.details[0];
    }
  }
}

TEST_F(WorkflowTest, TheLoadQuestionSaysWhatWouldBeLoadedWhere) {
  struct AskingView : testing_support::RecordingView {
    std::string about;
    bool confirm(const std::string& text, const std::string& informative) override {
      about = informative;
      return askYesNo(text);
    }
  } asking;
  Firmware("1.30");
  Device("1.20", "1.30");
  asking.answers = {false};
  const app::Options offline(kOffline);
  TestLoader l(offline, folder.Path(""), "", asking, opener);
  l.RunStartupSequence();
  EXPECT_EQ(asking.Calls("ask: "), Strings{"ask: Load Hex Now?"});
  EXPECT_EQ(asking.about,
            "Device: VN-Amp  (ID 11456)\nVersion now: V1.20\nVersion to load: V1.30\nPort: COM1 (" +
                opener.PathOf(1) + ")\nFile: amp.hex");
}

TEST_F(WorkflowTest, EveryRunOnAPortLeavesOneRecord) {
  Firmware("1.30");
  Device("1.20", "1.30");
  view.answers = {true};
  Make();
  const std::string records = folder.Path("records/history.jsonl");
  loader->session().SetRecordFile(records);
  loader->RunStartupSequence();
  dev.script().eraseLen = 0;  // the second run fails at the erase
  dev.script().label = "VN-Amp V1.30";
  dev.script().labelAfterImage = "VN-Amp V1.30";
  view.answers = {true, true};
  loader->OnConnect();  // same version, not offered a reload: refused, still a run of the unit
  opener.Remove(1);
  loader->OnConnect();  // the port is gone: no device answered, still an attempt on the port

  const app::HistoryRead read = app::ReadLastRecords(records, 10);
  ASSERT_TRUE(read.error.empty()) << read.error;
  ASSERT_EQ(read.records.size(), 3u);
  const app::RunRecord& ok = read.records[0];
  EXPECT_EQ(ok.workflow, "connect");
  EXPECT_EQ(ok.port, "COM1");
  EXPECT_EQ(ok.path, opener.PathOf(1));
  EXPECT_EQ(ok.deviceId, 11456u);
  EXPECT_EQ(ok.product, "VN-Amp ");
  EXPECT_EQ(ok.versionBefore, "1.20");
  EXPECT_EQ(ok.versionAfter, "1.30");
  EXPECT_EQ(ok.file, "amp.hex");
  EXPECT_EQ(ok.sha256,
            image::Sha256Hex(image::Sha256Of(catalogue_fixtures::ReadFile(folder.Path("amp.hex"))).value()));
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(ok.result, "   -Device Programed OK.");
  EXPECT_EQ(ok.time.back(), 'Z');
  const app::RunRecord& refused = read.records[1];
  EXPECT_EQ(refused.code, 9);
  EXPECT_EQ(refused.result, "E09-Device has latest Version.");
  EXPECT_EQ(refused.versionBefore, "1.30");
  EXPECT_FALSE(refused.versionAfter.has_value());
  EXPECT_FALSE(refused.sha256.has_value());
  EXPECT_EQ(refused.file, "amp.hex") << "the file was chosen before the refusal";
  EXPECT_EQ(refused.eraseBegan, false);
  const app::RunRecord& none = read.records[2];
  EXPECT_EQ(none.port, "COM1");
  EXPECT_NE(none.code, 0);
  EXPECT_EQ(none.result, FindLoadResult(none.code)->logMessage);
  EXPECT_FALSE(none.deviceId.has_value());
  EXPECT_FALSE(none.file.has_value());
  EXPECT_EQ(none.eraseBegan, false);
  std::set<std::string> runIds;
  for (const app::RunRecord& r : read.records) runIds.insert(r.runId);
  EXPECT_EQ(runIds.size(), 3u) << "each run has its own id";
}

TEST_F(WorkflowTest, ARecordThatCannotBeWrittenIsANoteNotAFailure) {
  Firmware("1.30");
  Device("1.20", "1.30");
  view.answers = {true};
  Make();
  catalogue_fixtures::WriteFile(folder.Path("plain"), "x");
  loader->session().SetRecordFile(folder.Path("plain/history.jsonl"));
  loader->RunStartupSequence();
  EXPECT_EQ(view.log.back(), "   -Device Programed OK.");
  // Told before the device was searched, and again for the record that was lost.
  ASSERT_EQ(view.details.size(), 2u);
  EXPECT_EQ(view.details[0].rfind("run records cannot be written: ", 0), 0u) << view.details[0];
  EXPECT_NE(view.details[0].find(folder.Path("plain")), std::string::npos) << view.details[0];
  EXPECT_EQ(view.details[1].rfind("run record not written: ", 0), 0u) << view.details[1];
}

TEST_F(WorkflowTest, TheSinkIsCheckedBeforeAnyDeviceIsTouchedAndGetsTheRecord) {
  Firmware("1.30");
  Device("1.20", "1.30");
  view.answers = {true};
  Make();
  auto sink = std::make_shared<RecordingSink>();
  sink->view = &view;
  loader->session().SetRecordSink(sink);
  loader->RunStartupSequence();
  ASSERT_EQ(sink->callsAtCheck.size(), 1u);
  EXPECT_TRUE(Has(sink->callsAtCheck[0], "main: Searching for Device."));
  EXPECT_FALSE(Has(sink->callsAtCheck[0], "main: Checking Device."));
  ASSERT_EQ(sink->records.size(), 1u);
  EXPECT_EQ(sink->records[0].code, 0);
  EXPECT_EQ(sink->records[0].eraseBegan, true);
  EXPECT_EQ(sink->records[0].versionAfter, "1.30");
}

// A view that asks the session to stop when it is shown `stopAt` (a status or a question).
struct StopAtView : testing_support::RecordingView {
  std::string stopAt;
  std::function<void()> stop;
  std::chrono::milliseconds questionTime{0};
  void setMainStatus(const std::string& t) override {
    RecordingView::setMainStatus(t);
    if (!stopAt.empty() && t.rfind(stopAt, 0) == 0) stop();
  }
  bool confirm(const std::string& text, const std::string& /*informative*/) override {
    std::this_thread::sleep_for(questionTime);  // an operator who takes a while to answer
    if (!stopAt.empty() && text == stopAt) stop();
    return askYesNo(text);
  }
};

struct StopCase {
  const char* stopAt;
  bool eraseBegan;
  bool sent;  // the file began to go out: its digest is in the record
};

class StoppedRunTest : public WorkflowTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StoppedRunTest, IsRecordedWithHowFarTheEraseWent) {
  Firmware("1.30");
  Device("1.20", "1.30");
  StopAtView stopping;
  stopping.answers = {true};
  stopping.stopAt = GetParam().stopAt;
  const app::Options offline(kOffline);
  TestLoader l(offline, folder.Path(""), "", stopping, opener);
  stopping.stop = [&l] { l.session().RequestStop(); };
  auto sink = std::make_shared<RecordingSink>();
  sink->view = &stopping;
  l.session().SetRecordSink(sink);
  l.RunStartupSequence();

  EXPECT_EQ(l.lastResult(), RESULT_STOPPED);
  EXPECT_FALSE(opener.Line(1).open) << "the port is closed";
  EXPECT_TRUE(stopping.details.empty());
  ASSERT_EQ(sink->records.size(), 1u);
  const app::RunRecord& r = sink->records[0];
  EXPECT_EQ(r.code, app::kStoppedCode);
  EXPECT_EQ(r.result, app::kStoppedResult);
  EXPECT_EQ(r.eraseBegan, GetParam().eraseBegan);
  EXPECT_EQ(r.sha256.has_value(), GetParam().sent);
  EXPECT_EQ(r.port, "COM1");
  EXPECT_EQ(r.deviceId, 11456u);
  EXPECT_EQ(r.versionBefore, "1.20");
  EXPECT_EQ(r.file, "amp.hex");
  EXPECT_FALSE(r.versionAfter.has_value());
}

INSTANTIATE_TEST_SUITE_P(StopPoints, StoppedRunTest,
                         ::testing::Values(StopCase{"Load Hex Now?", false, false},
                                           StopCase{"Waiting for Erase to Complete.", true, false},
                                           StopCase{"Sending Hex file 0", true, true}));

TEST_F(WorkflowTest, TheTimeAQuestionWaitsIsKeptOutOfTheDuration) {
  Firmware("1.30");
  Device("1.20", "1.30");
  StopAtView slow;
  slow.answers = {false};  // E15: cancelled at the question, after the file was chosen
  slow.questionTime = 300ms;
  const app::Options offline(kOffline);
  TestLoader l(offline, folder.Path(""), "", slow, opener);
  auto sink = std::make_shared<RecordingSink>();
  sink->view = &slow;
  l.session().SetRecordSink(sink);
  const auto start = std::chrono::steady_clock::now();
  l.RunStartupSequence();
  const auto whole =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(sink->records.size(), 1u);
  const app::RunRecord& r = sink->records[0];
  EXPECT_EQ(r.code, RESULT_USER_CANCELLED);
  EXPECT_EQ(r.file, "amp.hex");
  EXPECT_GE(r.waitMs, 300);
  EXPECT_LE(r.durationMs + r.waitMs, whole + 1);
  EXPECT_EQ(r.eraseBegan, false);
}

TEST_F(WorkflowTest, AFailedEraseSaysSo) {
  Firmware("1.30");
  Device("1.20", "1.30");
  dev.script().eraseLen = 3;
  view.answers = {true};
  Make().RunStartupSequence();
  EXPECT_TRUE(Has(view.calls, "main: Erased Failed !!"));
  EXPECT_EQ(view.Calls("transfer: "), (Strings{"transfer: on", "transfer: off"}));
}

TEST_F(WorkflowTest, ABannerOfAnotherProductIsDeclined) {
  Firmware("1.30");
  Device("1.20", "1.30");
  dev.script().bannerCode = {0x0a, 0x1c};
  view.answers = {true};
  Make().RunStartupSequence();
  EXPECT_EQ(view.log.back(), "E12-Device Failed to return correct Device code.");
  EXPECT_EQ(dev.seen().back(), "decline");
  EXPECT_TRUE(dev.image().empty());
}

TEST_F(WorkflowTest, SearchesTheOtherPortsAndSelectsTheOneThatAnswered) {
  Firmware("1.30");
  opener.Line(1);
  opener.Line(2);
  Device("1.20", "1.30", 3);
  view.answers = {false};
  Make().RunStartupSequence();

  EXPECT_EQ(loader->ports().selected, 2);
  EXPECT_EQ(view.Calls("ports: ").back(), "ports: COM1,COM2,COM3 [2]");
  EXPECT_EQ(view.log.back(), "E15-Load Cancelled by User.");
  EXPECT_TRUE(Has(view.calls, "main: Checking Device."));
  // Each silent port was tried at all three rates before the next.
  const Strings ports = view.Calls("port: Connected Com ");
  ASSERT_GE(ports.size(), 7u);
  EXPECT_EQ(ports[0], "port: Connected Com 1 at Baud 57600");
  EXPECT_EQ(ports[2], "port: Connected Com 1 at Baud 38400");
  EXPECT_EQ(ports[3], "port: Connected Com 2 at Baud 57600");
  EXPECT_EQ(ports[6], "port: Connected Com 3 at Baud 57600");
}

TEST_F(WorkflowTest, TheSelectedPortIsTriedFirstAndAloneWhenItAnswers) {
  Firmware("1.30");
  opener.Line(1);
  Device("1.20", "1.30", 2);
  Make().RunStartupSequence(false);
  loader->SelectPort(1);
  opener.attempts.clear();
  view.answers = {false};
  loader->OnConnect();
  EXPECT_EQ(opener.attempts, std::vector<int>{2});
  EXPECT_EQ(view.log.back(), "E15-Load Cancelled by User.");
}

TEST_F(WorkflowTest, NoDeviceAnywhereEndsWithTheLastPortsCode) {
  Firmware("1.30");
  opener.Line(1);
  opener.Line(2);
  Make().RunStartupSequence();
  EXPECT_EQ(view.log.back(), "E02-Cannot Connect to a Single Device.");
  EXPECT_TRUE(view.rawBootOn);

  // The last listed port has gone since enumeration: its code (1) is the result.
  opener.Remove(2);
  loader->OnConnect();
  EXPECT_EQ(view.log.back(), "E01-Failed to Open Com Port.");
  EXPECT_FALSE(view.rawBootOn);
  EXPECT_TRUE(view.connectOn);
}

TEST_F(WorkflowTest, APortThatDoesNotOpenIsReportedWithoutTryingOthers) {
  Firmware("1.30");
  Device("1.20", "1.30", 1);
  Make().RunStartupSequence(false);
  opener.Remove(1);
  opener.attempts.clear();
  loader->OnConnect();
  EXPECT_EQ(opener.attempts, std::vector<int>{1});
  EXPECT_EQ(view.log.back(), "E01-Failed to Open Com Port.");
  EXPECT_EQ(view.Calls("port: Connected Com ").back(), "port: Connected Com 1 at Baud 57600");
  EXPECT_FALSE(view.rawBootOn);
  EXPECT_TRUE(view.connectOn);
}

TEST_F(WorkflowTest, ConnectWithAnEmptyPortListFailsToOpen) {
  Firmware("1.30");
  Make().OnConnect();
  EXPECT_EQ(view.log, Strings{"E01-Failed to Open Com Port."});
  EXPECT_FALSE(view.connectOn);  // no ports were ever found
}

TEST_F(WorkflowTest, AStopDuringTheStreamEndsWithThePortClosedAndNoVerdict) {
  struct StoppingView : testing_support::RecordingView {
    app::DeviceSession* session = nullptr;
    void progress(const StreamProgress& p) override {
      RecordingView::progress(p);
      session->RequestStop();
    }
  };
  Firmware("1.30");
  Device("1.20", "1.30");
  StoppingView stopping;
  stopping.answers = {true};
  const app::Options o(kOffline);
  TestLoader l(o, folder.Path(""), "", stopping, opener);
  stopping.session = &l.session();
  l.RunStartupSequence();
  EXPECT_EQ(l.lastResult(), RESULT_STOPPED);
  EXPECT_EQ(stopping.progressSeen.size(), 1u);  // no chunk after the stop
  EXPECT_FALSE(opener.Line(1).open);
  EXPECT_NE(stopping.log.back(), "   -Device Programed OK.");
  EXPECT_FALSE(Has(stopping.calls, "main: Program Loaded."));
}

}  // namespace
}  // namespace app_tests
