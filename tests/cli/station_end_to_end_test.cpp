// The real vorloader-cli as a production station against simulated devices plugged in and
// pulled out while it runs: what it programs, what it leaves alone, what it prints and records,
// and how the stop signals end it.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/record/record_line_parser.h"
#include "app/record/run_record.h"
#include "tests/cli/cli_fixture.h"

namespace testing_support {
namespace {

std::string ResultLine(int port, const std::string& id, const std::string& tail) {
  return "COM" + std::to_string(port) + ": ID " + id + " (VORnet Amp) V1.20 -> " + tail;
}

const std::string kProgrammedToNewer = "V1.30: -Device Programed OK.";

class Station : public CliEndToEnd {
 protected:
  // A device plugged into COM`port`: its own identity and transcript, so that one device can
  // follow another on a port.
  std::unique_ptr<SimProcess> Plug(int port, const std::string& id, std::vector<std::string> extra = {},
                                   const std::string& label = "VORnet Amp V1.20") const {
    SimConfig config;
    config.port = port;
    config.id = id;
    config.label = label;
    config.transcript = m_dir.path + "/" + id + ".transcript.jsonl";
    config.extraArgs = {"--erase-ms", "20", "--restart-ms", "50", "--banner-length", "75"};
    config.extraArgs.insert(config.extraArgs.end(), extra.begin(), extra.end());
    auto sim = std::make_unique<SimProcess>(ComDir(), config);
    EXPECT_TRUE(sim->Ready()) << sim->Error();
    return sim;
  }

  CliResult RunStation(std::vector<std::string> args, std::vector<Cue> cues) const {
    CliRun run;
    run.args = std::move(args);
    run.args.push_back("station");
    run.cues = std::move(cues);
    return RunIn(std::move(run));
  }

  std::string Records() const { return m_dir.path + "/history.jsonl"; }
};

// Identify polls the device answered after it restarted with its new firmware: the station
// still sees it there.
std::size_t PollsSinceRestart(const SimProcess& device) {
  const std::vector<std::string> lines = device.TranscriptLines();
  std::size_t polls = 0;
  bool restarted = false;
  for (const std::string& l : lines) {
    if (JsonField(l, "kind") == "restart") restarted = true;
    if (restarted && JsonField(l, "kind") == "identify" && JsonField(l, "verdict") == "answered") ++polls;
  }
  return polls;
}

std::vector<app::RunRecord> RecordsIn(const std::string& path) {
  std::vector<app::RunRecord> records;
  std::ifstream in(path);
  for (std::string l; std::getline(in, l);)
    if (const std::optional<app::RunRecord> r = app::ParseRecordLine(l)) records.push_back(*r);
  return records;
}

std::size_t Count(const Lines& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

// A device plugged in after the start is programmed once however long it stays; the device
// that takes its place is programmed in turn. Each run leaves its record.
TEST_F(Station, ProgramsEachDevicePluggedInOnce) {
  Publish(kNewer);
  std::unique_ptr<SimProcess> first, second;
  const CliResult r = RunStation(
      {"--yes", "--port", "COM1", "--record", Records()},
      {{"All Files found and Correct.", true, nullptr, [&] { first = Plug(1, "00002cc0"); }},
       // Three more polls find it still there: it is not programmed again. Then it is pulled
       // out and another device is plugged in.
       {ResultLine(1, "11456", kProgrammedToNewer), true, [&] { return PollsSinceRestart(*first) >= 3; },
        [&] {
          first->Stop();
          second = Plug(1, "00002cc1");
        }},
       {ResultLine(1, "11457", kProgrammedToNewer), true, [&] { return PollsSinceRestart(*second) >= 2; },
        nullptr, SIGINT}});
  EXPECT_EQ(r.status, 0) << Dump(r);
  const Lines out = r.OutLines();
  EXPECT_EQ(Count(out, ResultLine(1, "11456", kProgrammedToNewer)), 1u) << Dump(r);
  EXPECT_EQ(Count(out, ResultLine(1, "11457", kProgrammedToNewer)), 1u) << Dump(r);
  EXPECT_EQ(Count(out, "COM1:    -Device Programed OK."), 2u) << Dump(r);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->Lines("erase").size(), 1u);
  EXPECT_EQ(second->Lines("erase").size(), 1u);
  EXPECT_EQ(r.ErrLines().back(), "summary: 2 devices: 2 programmed, 0 failed, 0 refused") << Dump(r);

  const std::vector<app::RunRecord> records = RecordsIn(Records());
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].deviceId, 11456u);
  EXPECT_EQ(records[1].deviceId, 11457u);
  for (const app::RunRecord& rec : records) {
    EXPECT_EQ(rec.port, "COM1");
    EXPECT_EQ(rec.versionBefore, kDeviceVersion);
    EXPECT_EQ(rec.versionAfter, kNewer);
    EXPECT_EQ(rec.code, 0);
  }
}

// One port's erase fault fails that device alone; a device already at the catalogue's version
// is left alone, not erased; the station goes on and takes a device on a named port that was
// not there at the start.
TEST_F(Station, AFailureOrAnUpToDateDeviceLeavesTheOthersGoing) {
  Publish(kNewer);
  auto good = Plug(1, "00002cc0");
  auto failing = Plug(2, "00002cc1", {"--no-erase-reply"});
  auto current = Plug(3, "00002cc2", {}, "VORnet Amp V1.30");
  std::unique_ptr<SimProcess> late;
  const CliResult r =
      RunStation({"--yes", "--port", "COM1", "--port", "COM2", "--port", "COM3", "--port", "COM4"},
                 {{ResultLine(2, "11457", "?: E13-Device Failed to Erase Flash."), true, nullptr,
                   [&] { late = Plug(4, "00002cc3"); }},
                  {ResultLine(4, "11459", kProgrammedToNewer), true, nullptr, nullptr, SIGINT}});
  EXPECT_EQ(r.status, 0) << Dump(r);
  const Lines out = r.OutLines();
  EXPECT_EQ(Count(out, ResultLine(1, "11456", kProgrammedToNewer)), 1u) << Dump(r);
  EXPECT_EQ(Count(out, "COM3: ID 11458 (VORnet Amp) V1.30 -> V1.30: E09-Device has latest Version."), 1u)
      << Dump(r);
  EXPECT_TRUE(current->Lines("erase").empty());
  EXPECT_TRUE(current->Lines("boot").empty());
  const std::string summary = r.ErrLines().back();
  EXPECT_EQ(summary.rfind("summary: 4 devices: 2 programmed, 1 failed, 1 refused; not programmed: ", 0), 0u)
      << summary;
  EXPECT_TRUE(Contains(summary, "COM2 13") && Contains(summary, "COM3 9")) << summary;
}

// With --all-ports a port that appears later joins; --skip-port keeps one out. -v traces the
// device runs' wire traffic.
TEST_F(Station, APortThatAppearsLaterJoins) {
  Publish(kNewer);
  auto first = Plug(1, "00002cc0");
  std::unique_ptr<SimProcess> later, skipped;
  const CliResult r =
      RunStation({"--yes", "-v", "--all-ports", "--skip-port", "COM2"},
                 {{ResultLine(1, "11456", kProgrammedToNewer), true, nullptr,
                   [&] {
                     skipped = Plug(2, "00002cc1");
                     later = Plug(3, "00002cc2");
                   }},
                  {ResultLine(3, "11458", kProgrammedToNewer), true, nullptr, nullptr, SIGTERM}});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.ErrLines().back(), "summary: 2 devices: 2 programmed, 0 failed, 0 refused") << Dump(r);
  ASSERT_TRUE(skipped);
  EXPECT_FALSE(skipped->Contains("open")) << "a skipped port was opened";
  EXPECT_TRUE(Contains(r.err, "vor-trace +")) << r.err;
}

// A stop signal during a stream lets it finish (exit 0); a second cuts it.
TEST_F(Station, StopSignalsDuringAStream) {
  struct Case {
    int signal;
    int presses;
    int status;
  } cases[] = {{SIGINT, 1, 0}, {SIGTERM, 2, 143}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.presses);
    Publish(kNewer, 32768);
    auto device = Plug(1, c.presses == 1 ? "00002cc0" : "00002cc1", {"--pace"});
    const auto streaming = [&device] { return device->Contains("erased"); };
    std::vector<Cue> cues = {{"COM1: main: Sending Hex file 1", false, streaming, nullptr, c.signal}};
    if (c.presses == 2)
      cues.push_back({"Press Ctrl-C again to stop them all.", false, nullptr, nullptr, c.signal});
    const CliResult r = RunStation({"--yes", "--port", "COM1"}, cues);
    EXPECT_EQ(r.status, c.status) << Dump(r);
    if (c.presses == 1) {
      EXPECT_TRUE(Contains(r.out, "COM1: ID 11456 (VORnet Amp) V1.20 -> V1.30: -Device Programed OK."))
          << Dump(r);
      EXPECT_EQ(r.ErrLines().back(), "summary: 1 devices: 1 programmed, 0 failed, 0 refused") << Dump(r);
    } else {
      EXPECT_FALSE(Contains(r.out, "Device Programed OK.")) << Dump(r);
      const Lines err = r.ErrLines();
      ASSERT_GE(err.size(), 2u);
      EXPECT_EQ(err[err.size() - 2],
                "summary: 1 devices: 0 programmed, 1 failed, 0 refused; not programmed: COM1 stopped");
      EXPECT_EQ(err.back(),
                "vorloader-cli: stopped while COM1 was being programmed; a raw boot may be needed");
    }
    device->Stop();
  }
}

// The SHA-256 `check` lists for `file` (the value a profile approves), or "".
std::string ShaListed(const CliResult& check, const std::string& file) {
  for (const std::string& l : check.ErrLines()) {
    if (l.rfind("note: " + file + " ", 0) != 0) continue;
    const std::size_t last = l.find_last_of(' ');
    return l.substr(last + 1);
  }
  return {};
}

// A station under a profile that approves the image an engineer took from `check`: a device
// that gets it is programmed; after the maker publishes another, a device that would get that
// one is refused untouched. Without its operator the station does not start. The records go to
// the profile's record file, beside it.
TEST_F(Station, AProfileProgramsTheApprovedImageAndNoOther) {
  Publish(kNewer);
  const CliResult check = Run({"check"});
  const std::string approved = ShaListed(check, "amp.hex");
  ASSERT_EQ(approved.size(), 64u) << Dump(check);
  const std::string profile = m_dir.path + "/line3.toml";
  std::ofstream(profile) << "name = \"Line 3\"\nports = [\"COM1\"]\noperator-required = true\n"
                            "work-order = \"WO-7\"\nrecord = \"line3.jsonl\"\n\n[[approved]]\nsha256 = \""
                         << approved << "\"\nversion = \"" << kNewer << "\"\n";
  CliRun noOperator;
  noOperator.args = {"--yes", "--profile", profile, "station"};
  noOperator.env = {{"VORLOADER_OPERATOR", ""}};
  const CliResult nobody = RunIn(std::move(noOperator));
  EXPECT_EQ(nobody.status, 64) << Dump(nobody);
  ASSERT_EQ(nobody.ErrLines().size(), 1u) << Dump(nobody);
  EXPECT_TRUE(Contains(nobody.err, "the profile \"Line 3\" requires an operator")) << Dump(nobody);

  auto good = Plug(1, "00002cc0");
  const CliResult programmed =
      RunStation({"--yes", "--profile", profile, "--operator", "Ana"},
                 {{ResultLine(1, "11456", kProgrammedToNewer), true, nullptr, nullptr, SIGINT}});
  EXPECT_EQ(programmed.status, 0) << Dump(programmed);
  EXPECT_TRUE(Contains(programmed.err, "station: profile \"Line 3\", operator Ana, work order WO-7\n"))
      << Dump(programmed);
  EXPECT_EQ(good->Lines("erase").size(), 1u);
  good->Stop();

  Publish("1.40");
  auto refused = Plug(1, "00002cc1");
  const CliResult other =
      RunStation({"--yes", "--profile", profile, "--operator", "Ana"},
                 {{"E17-Image not approved by the profile.", true, nullptr, nullptr, SIGINT}});
  EXPECT_EQ(other.status, 0) << Dump(other);
  const std::string line =
      ResultLine(1, "11457", "V1.20: E17-Image not approved by the profile. amp.hex (V1.40, SHA-256 ");
  const Lines out = other.OutLines();
  const auto found =
      std::find_if(out.begin(), out.end(), [&](const std::string& l) { return l.rfind(line, 0) == 0; });
  ASSERT_NE(found, out.end()) << Dump(other);
  EXPECT_TRUE(Contains(*found, ") is not approved by the profile \"Line 3\".")) << *found;
  EXPECT_FALSE(Contains(*found, approved)) << "the image refused is the new one";
  EXPECT_TRUE(refused->Lines("erase").empty()) << "nothing is erased";
  EXPECT_TRUE(refused->Lines("boot").empty());
  EXPECT_EQ(other.ErrLines().back(),
            "summary: 1 devices: 0 programmed, 0 failed, 1 refused; not programmed: COM1 17")
      << Dump(other);

  // A connect under the same profile ends with the code of its own.
  const CliResult connect = Run({"--yes", "--profile", profile, "--operator", "Ana", "connect"});
  EXPECT_EQ(connect.status, 17) << Dump(connect);
  EXPECT_TRUE(Contains(connect.out, "E17-Image not approved by the profile.\n")) << Dump(connect);
  refused->Stop();

  const std::vector<app::RunRecord> records = RecordsIn(m_dir.path + "/line3.jsonl");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].code, 0);
  EXPECT_EQ(records[0].sha256, approved);
  for (std::size_t i : {1u, 2u}) {
    EXPECT_EQ(records[i].code, 17);
    EXPECT_EQ(records[i].result, "E17-Image not approved by the profile.");
    EXPECT_EQ(records[i].eraseBegan, false);
    ASSERT_TRUE(records[i].sha256.has_value());
    EXPECT_NE(records[i].sha256, approved);
    EXPECT_TRUE(Contains(*found, *records[i].sha256)) << "the line names the digest the record keeps";
  }
  // Who and what for, in every record: the operator given, the profile's work order and name.
  for (const app::RunRecord& record : records) {
    EXPECT_EQ(record.operatorName, "Ana");
    EXPECT_EQ(record.workOrder, "WO-7");
    EXPECT_EQ(record.profileName, "Line 3");
    EXPECT_EQ(record.profileSha256.size(), 64u);
  }
}

TEST_F(Station, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"--port", "COM1", "station"},
      {"--no", "--port", "COM1", "station"},
      {"--yes", "station"},
      {"--yes", "--port", "COM1", "--skip-port", "COM2", "station"},
      {"--yes", "--all-ports", "--port", "COM1", "station"},
  };
  auto device = Plug(1, "00002cc0");
  for (const auto& args : cases) {
    const CliResult r = Run(args);
    EXPECT_EQ(r.status, 64) << ::testing::PrintToString(args) << Dump(r);
    EXPECT_EQ(r.ErrLines().size(), 1u) << Dump(r);
    EXPECT_TRUE(r.out.empty()) << Dump(r);
  }
  EXPECT_FALSE(device->Contains("open"));
}

// --- A stop before the erase never erases ----------------------------------------------------

// One stop signal while the device's bootloader banner is awaited (64 bytes of the 75 read, so
// the wait is its whole second): the device is declined and never erased, its record says so,
// and no cut is named.
TEST_F(Station, AStopDuringTheBannerWaitNeverErases) {
  Publish(kNewer);
  auto device = Plug(1, "00002cc0", {"--banner-length", "64"});
  const auto bootAWhileAgo = [&device] { return LoggedSecondsAgo(*device, "boot", 0.3); };
  const CliResult r = RunStation({"--record", Records(), "--yes", "--port", "COM1"},
                                 {{"Load Hex Now?", false, bootAWhileAgo, nullptr, SIGTERM}});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_TRUE(device->Contains("decline")) << Dump(r);
  EXPECT_FALSE(device->Contains("erase")) << Dump(r);
  EXPECT_EQ(r.ErrLines().back(),
            "summary: 1 devices: 0 programmed, 1 failed, 0 refused; not programmed: COM1 stopped")
      << Dump(r);
  EXPECT_FALSE(Contains(r.err, "raw boot may be needed")) << Dump(r);
  const std::vector<app::RunRecord> records = RecordsIn(Records());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].code, app::kStoppedCode);
  EXPECT_EQ(records[0].eraseBegan, false);
}

// --- What a port waits for ---------------------------------------------------------------------

// Started before any device is plugged in, each port says once what it waits for; a device
// programmed and pulled out is said to have left, and the port what it waits for again.
TEST_F(Station, EachPortSaysWhatItWaitsForWhenThatChanges) {
  Publish(kNewer);
  std::unique_ptr<SimProcess> device;
  const CliResult r = RunStation(
      {"--yes", "--port", "COM1", "--port", "COM2"},
      {{"COM1: waiting for the port to appear", false, nullptr, [&] { device = Plug(1, "00002cc0"); }},
       {ResultLine(1, "11456", kProgrammedToNewer), true, [&] { return PollsSinceRestart(*device) >= 2; },
        [&] { device->Stop(); }},
       {"COM1: device left; waiting for the port to appear", false, nullptr, nullptr, SIGINT}});
  EXPECT_EQ(r.status, 0) << Dump(r);
  const Lines err = r.ErrLines();
  EXPECT_EQ(Count(err, "COM1: waiting for the port to appear"), 1u) << Dump(r);
  EXPECT_EQ(Count(err, "COM2: waiting for the port to appear"), 1u) << "once, not at every poll\n" << Dump(r);
  EXPECT_EQ(Count(err, "COM1: device left; waiting for the port to appear"), 1u) << Dump(r);
  EXPECT_EQ(Count(err, "COM1: waiting for a device"), 0u) << Dump(r);
  EXPECT_EQ(err.back(), "summary: 1 devices: 1 programmed, 0 failed, 0 refused") << Dump(r);
}

}  // namespace
}  // namespace testing_support
