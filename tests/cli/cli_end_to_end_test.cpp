// The real vorloader-cli against the device simulator and a local web server: what it prints
// on standard output and standard error, and its exit status, for each command.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/record/record_line_parser.h"
#include "app/record/run_record.h"
#include "image/sha256.h"
#include "tests/cli/cli_fixture.h"
#include "tests/cli/cli_process.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/http/http_test_server.h"
#include "tests/support/sim/sim_process.h"

namespace testing_support {
namespace {

TEST_F(CliEndToEnd, ConnectWithYesProgramsTheDevice) {
  Publish(kNewer);
  auto device = StartDevice();
  const CliResult r = Run({"--yes"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines(), (Lines{"1 Com Ports Found.", "Checking Online..OK.", "1 Product definitions Found.",
                                 "All Files found and Correct.", "   -Device Programed OK."}));
  const Lines err = r.ErrLines();
  for (const char* line :
       {"main: Searching for Device.", "? Load Hex Now? [Y/n] yes", "main: Sending Hex file 100.0% done",
        "main: Program Loaded.", "port: No Connection"})
    EXPECT_NE(std::find(err.begin(), err.end(), line), err.end()) << line << "\n" << r.err;
  // The question says what it is about first, as the window's box does.
  EXPECT_TRUE(Contains(r.err,
                       "note: Device: VORnet Amp  (ID 11456)\nnote: Version now: V1.20\n"
                       "note: Version to load: V1.30\nnote: Port: COM1 (" +
                           ComDir() + "/COM1)\nnote: File: amp.hex\n? Load Hex Now? [Y/n] yes\n"))
      << r.err;
  // Standard error is no terminal here: no progress bar and no control characters.
  EXPECT_FALSE(HasTerminalControls(r.err));
  EXPECT_FALSE(Contains(r.err, " bytes "));

  ASSERT_TRUE(device->WaitFor("restart", 10000));
  EXPECT_EQ(JsonField(device->Lines("image").back(), "verdict"), "good");
  EXPECT_EQ(JsonField(device->Lines("restart").back(), "version"), kNewer);
}

struct RefusalCase {
  const char* name;
  const char* catalogueVersion;
  std::vector<std::string> args;
  int status;
  const char* resultLine;
  const char* box;  // the Yes/No box and its answer on standard error; "" when none
};

class CliRefusal : public CliEndToEnd, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CliRefusal, EndsWithTheResultLineAndCode) {
  const RefusalCase& c = GetParam();
  Publish(c.catalogueVersion);
  auto device = StartDevice();
  const CliResult r = Run(c.args);
  EXPECT_EQ(r.status, c.status) << Dump(r);
  ASSERT_FALSE(r.OutLines().empty()) << Dump(r);
  EXPECT_EQ(r.OutLines().back(), c.resultLine) << Dump(r);
  if (*c.box != '\0')
    EXPECT_TRUE(Contains(r.err, std::string(c.box) + "\n")) << r.err;
  else
    EXPECT_FALSE(Contains(r.err, "? ")) << r.err;
  EXPECT_FALSE(device->Contains("erase")) << "the device must be left alone";
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliRefusal,
    ::testing::Values(
        RefusalCase{"SameVersion", kDeviceVersion, {"--yes"}, 9, "E09-Device has latest Version.", ""},
        RefusalCase{"SameVersionReloadDeclined",
                    kDeviceVersion,
                    {"--x", "4", "--no"},
                    9,
                    "E09-Device has latest Version.",
                    "? Identical Versions.\n Reload? [Y/n] no"},
        RefusalCase{
            "AnsweredNo", kNewer, {"--no"}, 15, "E15-Load Cancelled by User.", "? Load Hex Now? [Y/n] no"},
        // Standard input is no terminal and neither --yes nor --no is given: every box says No.
        RefusalCase{
            "NotAsked", kNewer, {"connect"}, 15, "E15-Load Cancelled by User.", "? Load Hex Now? [Y/n] no"}),
    [](const ::testing::TestParamInfo<RefusalCase>& param) { return std::string(param.param.name); });

TEST_F(CliEndToEnd, DeviceThatNeverAnswersGivesE02) {
  Publish(kNewer);
  auto device = StartDevice(1, {}, {9600});  // listens at a rate the loader never uses
  const CliResult r = Run({"--yes"});
  EXPECT_EQ(r.status, 2) << Dump(r);
  EXPECT_EQ(r.OutLines().back(), "E02-Cannot Connect to a Single Device.");
  EXPECT_TRUE(Contains(r.err, "main: ..Failed..\n"));
}

TEST_F(CliEndToEnd, OfflineUsesTheLocalFolderAndNeverTheServer) {
  Publish(kDeviceVersion);
  ASSERT_EQ(::mkdir(FirmwareFolder().c_str(), 0755), 0);
  WriteCatalogue(FirmwareFolder(), kDeviceVersion);
  ASSERT_TRUE(PackFirmware(FirmwareFolder() + "/amp.hex", kCode, kDeviceVersion, true));
  auto device = StartDevice();
  const CliResult r = Run({"--x", "1", "--yes"});
  EXPECT_EQ(r.status, 9) << Dump(r);
  EXPECT_EQ(r.OutLines(), (Lines{"1 Com Ports Found.", "1 Product definitions Found.",
                                 "All Files found and Correct.", "E09-Device has latest Version."}));
  EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(CliEndToEnd, PortsListsThePortsThatOpen) {
  {
    const CliResult r = Run({"ports"});
    EXPECT_EQ(r.status, 0) << Dump(r);
    EXPECT_EQ(r.OutLines(), (Lines{"0 Com Ports Found."}));
  }
  auto second = StartDevice(2);
  auto fifth = StartDevice(5);
  const CliResult r = Run({"ports"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines(), (Lines{"2 Com Ports Found.", "COM2", "COM5"}));
  EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(CliEndToEnd, ConnectWithoutAPortRunsNoWorkflow) {
  Publish(kNewer);
  const CliResult r = Run({"--yes"});
  EXPECT_EQ(r.status, 16) << Dump(r);
  EXPECT_EQ(r.OutLines(), (Lines{"0 Com Ports Found.", "Checking Online..OK.", "1 Product definitions Found.",
                                 "All Files found and Correct."}));
}

TEST_F(CliEndToEnd, AllPortsWithoutAPortSaysSo) {
  Publish(kNewer);
  const CliResult r = Run({"--yes", "--all-ports"});
  EXPECT_EQ(r.status, 16) << Dump(r);
  EXPECT_TRUE(
      Contains(r.err, "\nvorloader-cli: --all-ports: no port is listed, so no device is programmed\n"))
      << Dump(r);
}

TEST_F(CliEndToEnd, ConnectWithoutAProductDatabaseRunsNoWorkflow) {
  auto device = StartDevice();  // the server has no catalogue
  const CliResult r = Run({"--yes"});
  EXPECT_EQ(r.status, 16) << Dump(r);
  EXPECT_EQ(r.OutLines(), (Lines{"1 Com Ports Found.", "Checking Online..Failed!"}));
  EXPECT_TRUE(Contains(r.err, "main: Cannot Locate Product Database.\n"));
  EXPECT_FALSE(device->Contains("identify"));
}

struct CheckCase {
  const char* name;
  bool catalogue;
  bool firmware;
  int status;
  Lines out;
};

class CliCheck : public CliEndToEnd, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CliCheck, ReportsTheFileSet) {
  const CheckCase& c = GetParam();
  if (c.catalogue) WriteCatalogue(WebRoot(), kNewer);
  if (c.firmware) {
    ASSERT_TRUE(PackFirmware(WebRoot() + "/fw/amp.hex", kCode, kNewer, true));
  }
  auto device = StartDevice();
  const CliResult r = Run({"check"});
  EXPECT_EQ(r.status, c.status) << Dump(r);
  EXPECT_EQ(r.OutLines(), c.out);
  EXPECT_FALSE(device->Contains("open")) << "check touches no port";
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliCheck,
    ::testing::Values(CheckCase{"AllGood",
                                true,
                                true,
                                0,
                                {"Checking Online..OK.", "1 Product definitions Found.",
                                 "All Files found and Correct."}},
                      CheckCase{"FileMissing",
                                true,
                                false,
                                1,
                                {"Checking Online..OK.", "1 Product definitions Found.",
                                 "Warning 1 Missing Files.", "Missing->amp.hex."}},
                      CheckCase{"NoProductDatabase", false, false, 16, {"Checking Online..Failed!"}}),
    [](const ::testing::TestParamInfo<CheckCase>& param) { return std::string(param.param.name); });

TEST_F(CliEndToEnd, PortChoosesTheEntryToStartWith) {
  Publish(kNewer);
  auto silent = StartDevice(1, {"--silent"});
  auto device = StartDevice(3);
  const CliResult r = Run({"--port", "COM3", "--no"});
  EXPECT_EQ(r.status, 15) << Dump(r);
  EXPECT_TRUE(device->Contains("identify"));
  EXPECT_FALSE(silent->Contains("identify")) << "COM3 answered first: COM1 is not tried";
}

TEST_F(CliEndToEnd, UsageErrorsExit64WithOneLine) {
  Publish(kNewer);
  auto device = StartDevice();
  for (const Lines& args : {Lines{"--port", "COM4"}, Lines{"--bogus"}, Lines{"check", "--yes", "--no"}}) {
    const CliResult r = Run(args);
    EXPECT_EQ(r.status, 64) << Dump(r);
    ASSERT_FALSE(r.ErrLines().empty());
    EXPECT_EQ(r.ErrLines().back().rfind("vorloader-cli: ", 0), 0u) << r.err;
    EXPECT_FALSE(device->Contains("identify"));
  }
  // A port that is not listed is refused as soon as the ports are known: nothing is fetched.
  const CliResult r = Run({"--port", "COM4"});
  EXPECT_EQ(r.OutLines(), (Lines{"1 Com Ports Found."})) << Dump(r);
}

TEST_F(CliEndToEnd, PortRefusedForLackOfPermissionGetsAHint) {
  constexpr const char* kSetpriv = "/usr/bin/setpriv";
  if (::geteuid() != 0 || ::access(kSetpriv, X_OK) != 0)
    GTEST_SKIP() << "needs root and setpriv to run as another user";
  const std::vector<std::string> asNobody = {kSetpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
  if (Run({"--version"}, false, {}, {}, asNobody).status != 0)
    GTEST_SKIP() << "the build tree is closed to other users";
  // An ordinary user may reach the folders but not the device's terminal, which stays its owner's.
  ASSERT_EQ(::chmod(m_dir.path.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(ProgramData().c_str(), 0777), 0);
  auto device = StartDevice();
  const CliResult r = Run({"ports"}, false, {}, {}, asNobody);
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines(), (Lines{"0 Com Ports Found."}));
  ASSERT_FALSE(r.ErrLines().empty()) << Dump(r);
  // The search for ports says why COM1 is missing, with the fix; the fix is not repeated.
  const std::string fix =
      "add yourself to the group that owns the serial ports "
      "(dialout on Debian): sudo usermod -aG dialout $USER, then log in again";
  EXPECT_EQ(r.ErrLines().back(),
            "note: COM1 (" + ComDir() + "/COM1) is not listed: no permission to open it; " + fix);
  EXPECT_EQ(r.err.find(fix), r.err.rfind(fix)) << r.err;
}

TEST_F(CliEndToEnd, PortsShowsWhatIsKnownOfEachPortBesideItsLines) {
  auto second = StartDevice(2);
  {
    std::ofstream plain(ComDir() + "/COM3");
    plain << "not a device";
  }
  ASSERT_EQ(::symlink((ComDir() + "/nothing").c_str(), (ComDir() + "/COM4").c_str()), 0);
  const CliResult r = Run({"ports"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines(), (Lines{"1 Com Ports Found.", "COM2"}));
  const Lines err = r.ErrLines();
  const std::string path = ComDir() + "/COM2";
  for (const std::string& line :
       {"note: COM3 (" + ComDir() + "/COM3) is not listed: not a serial device (a regular file)",
        "note: COM4 (" + ComDir() + "/COM4) is not listed: the link leads to nothing (" + ComDir() +
            "/nothing)",
        "note: PORT  DEVICE" + std::string(path.size() - 6 + 2, ' ') +
            "USB ID  MANUFACTURER  PRODUCT  SERIAL",
        "note: COM2  " + path + "  -       -             -        -"})
    EXPECT_NE(std::find(err.begin(), err.end(), line), err.end()) << line << "\n" << r.err;
}

TEST_F(CliEndToEnd, PortTakesTheDevicePath) {
  Publish(kNewer);
  auto silent = StartDevice(1, {"--silent"});
  auto device = StartDevice(3);
  // The terminal the COM3 link leads to, as a by-id link would name it.
  char target[512] = {};
  ASSERT_GT(::readlink((ComDir() + "/COM3").c_str(), target, sizeof target - 1), 0);
  for (const std::string& path : {ComDir() + "/COM3", std::string(target)}) {
    const CliResult r = Run({"--port", path, "--no"});
    EXPECT_EQ(r.status, 15) << path << "\n" << Dump(r);
    EXPECT_TRUE(Contains(r.err, "port: Connected Com 3 at Baud 57600\n")) << r.err;
  }
  EXPECT_FALSE(silent->Contains("identify")) << "COM3 answered first: COM1 is not tried";

  // A path that is no listed port is a usage error naming the ports that are.
  const CliResult r = Run({"--port", "/dev/null", "--no"});
  EXPECT_EQ(r.status, 64) << Dump(r);
  EXPECT_EQ(r.OutLines(), (Lines{"2 Com Ports Found."})) << Dump(r);
  ASSERT_FALSE(r.ErrLines().empty());
  EXPECT_EQ(r.ErrLines().back(), "vorloader-cli: --port /dev/null is not among the ports listed (COM1 " +
                                     ComDir() + "/COM1, COM3 " + ComDir() + "/COM3)");
}

TEST_F(CliEndToEnd, QuietPrintsOnlyTheResult) {
  Publish(kNewer);
  auto device = StartDevice();
  const CliResult r = Run({"--yes", "-q"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines(), (Lines{"   -Device Programed OK."})) << Dump(r);
  for (const char* channel : {"port: ", "device: ", "main: "})
    EXPECT_FALSE(Contains(r.err, channel)) << r.err;
  EXPECT_TRUE(Contains(r.err, "? Load Hex Now? [Y/n] yes\n")) << "questions are still shown";

  const CliResult ports = Run({"ports", "--quiet"});
  EXPECT_EQ(ports.OutLines(), (Lines{"COM1"})) << Dump(ports);
  EXPECT_EQ(ports.err, "");

  const CliResult check = Run({"check", "-q"});
  EXPECT_EQ(check.status, 0) << Dump(check);
  EXPECT_EQ(check.OutLines(), (Lines{"All Files found and Correct."})) << Dump(check);
}

TEST_F(CliEndToEnd, VerboseShowsTheWireTrace) {
  Publish(kDeviceVersion);
  auto device = StartDevice();
  const CliResult r = Run({"--no", "-v"});
  EXPECT_EQ(r.status, 9) << Dump(r);
  EXPECT_TRUE(Contains(r.err, "vor-trace +")) << r.err;
  EXPECT_FALSE(Contains(r.out, "vor-trace")) << "the trace never reaches the log";
  const CliResult plain = Run({"--no"});
  EXPECT_FALSE(Contains(plain.err, "vor-trace")) << plain.err;
}

// A log of a whole stream on a file: one status line per whole percent at most.
TEST_F(CliEndToEnd, OffATerminalTheStreamIsLoggedOncePerPercent) {
  Publish(kNewer, 16384);
  auto device = StartDevice();
  const CliResult r = Run({"--yes"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  std::vector<int> percents;
  for (const std::string& line : r.ErrLines())
    if (line.rfind("main: Sending Hex file ", 0) == 0) percents.push_back(std::atoi(line.c_str() + 23));
  ASSERT_GT(percents.size(), 50u) << r.err;
  for (std::size_t i = 1; i < percents.size(); ++i) EXPECT_LT(percents[i - 1], percents[i]) << r.err;
  EXPECT_TRUE(Contains(r.err, "main: Sending Hex file 100.0% done\n"));
}

// The lock files Qt and UUCP tools keep for the port at `path`.
std::vector<std::string> LockFilesOf(const std::string& path) {
  std::string qtName = path;
  for (char& c : qtName)
    if (c == '/') c = '_';
  std::vector<std::string> files;
  for (const char* dir : {"/run/lock", "/var/lock", "/tmp", "/var/tmp"})
    files.push_back(std::string(dir) + "/LCK.." + qtName);
  return files;
}

struct SignalCase {
  const char* name;
  int signal;
  int status;
};

class CliStopSignal : public CliEndToEnd, public ::testing::WithParamInterface<SignalCase> {};

// SIGTERM and SIGHUP stop the program as Ctrl-C does: the port and its lock file are let go.
TEST_P(CliStopSignal, ClosesThePortAndExitsWithTheSignal) {
  Publish(kNewer);
  auto device = StartDevice();  // running firmware: it never sends a boot banner
  const CliResult r = Run({"--yes", "raw-boot"}, false, {}, {"! Switch Device off."}, {}, GetParam().signal);
  EXPECT_EQ(r.status, GetParam().status) << Dump(r);
  EXPECT_FALSE(Contains(r.out, "E0")) << "a stopped workflow reports no result";
  EXPECT_TRUE(device->WaitFor("close", 10000));
  for (const std::string& lock : LockFilesOf(ComDir() + "/COM1"))
    EXPECT_NE(::access(lock.c_str(), F_OK), 0) << lock;
}

TEST_P(CliStopSignal, DuringTheStreamTheFirstOnlyWarnsTheSecondStops) {
  Publish(kNewer, 65536);
  auto device = StartDevice(1, {"--pace"});
  const std::string records = m_dir.path + "/records.jsonl";
  const CliResult r =
      Run({"--record", records, "--yes", "connect"}, false, {},
          {"main: Sending Hex file 1", "Press Ctrl-C again to stop anyway."}, {}, GetParam().signal);
  EXPECT_EQ(r.status, GetParam().status) << Dump(r);
  EXPECT_FALSE(Contains(r.out, "Device Programed OK.")) << r.out;
  EXPECT_TRUE(device->WaitFor("close", 10000));
  EXPECT_EQ(r.ErrLines().back(),
            "vorloader-cli: stopped while the device was being programmed; it may need a raw boot");
  // The half-programmed unit is on record as stopped after its erase.
  std::ifstream in(records);
  std::string line;
  ASSERT_TRUE(std::getline(in, line)) << "no record";
  const std::optional<app::RunRecord> record = app::ParseRecordLine(line);
  ASSERT_TRUE(record) << line;
  EXPECT_EQ(record->code, app::kStoppedCode);
  EXPECT_EQ(record->result, app::kStoppedResult);
  EXPECT_EQ(record->eraseBegan, true);
  EXPECT_EQ(record->port, "COM1");
  EXPECT_EQ(record->file, "amp.hex");
  EXPECT_FALSE(std::getline(in, line)) << "one run, one record";
}

// `check` lists each firmware file with its product, version and SHA-256 (what a station
// profile approves), beside the lines scripts read; a missing file has no digest.
TEST_F(CliEndToEnd, CheckListsEachFileWithItsVersionAndSha256) {
  Publish(kNewer);
  std::ifstream served(WebRoot() + "/fw/amp.hex", std::ios::binary);
  std::ostringstream read;
  read << served.rdbuf();
  const std::string bytes = read.str();
  const auto digest = image::Sha256Of(bytes);
  ASSERT_TRUE(digest);
  const CliResult r = Run({"check"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_TRUE(Contains(r.err, "note: FILE     PRODUCT     VERSION  SHA-256\n")) << Dump(r);
  EXPECT_TRUE(Contains(r.err, "note: amp.hex  VORnet Amp  1.30     " + image::Sha256Hex(*digest) + "\n"))
      << Dump(r);
  EXPECT_EQ(r.OutLines(),
            (Lines{"Checking Online..OK.", "1 Product definitions Found.", "All Files found and Correct."}))
      << "standard output stays the window's log";

  std::filesystem::remove(FirmwareFolder() + "/amp.hex");
  const CliResult offline = Run({"--offline", "check"});
  EXPECT_EQ(offline.status, 1) << Dump(offline);
  EXPECT_TRUE(Contains(offline.err, "note: amp.hex  VORnet Amp  1.30     -\n")) << Dump(offline);
}

// A download cut off by the signal leaves no temporary file behind.
TEST_P(CliStopSignal, DuringADownloadLeavesNoTemporaryFile) {
  Publish(kNewer);
  m_server.SetFault("/fw/amp.hex", HttpFault::kStall);
  const CliResult r = Run({"check"}, false, {}, {"main: Attempting to load file->amp.hex"}, {},
                          GetParam().signal, [&] { return m_server.stallsReached() == 1; });
  EXPECT_EQ(r.status, GetParam().status) << Dump(r);
  EXPECT_EQ(m_server.stallsReached(), 1);
  std::size_t left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(FirmwareFolder()))
    if (entry.path().filename().string().find(".vordl-") != std::string::npos) ++left;
  EXPECT_EQ(left, 0u);
  EXPECT_FALSE(std::filesystem::exists(FirmwareFolder() + "/amp.hex"));
}

INSTANTIATE_TEST_SUITE_P(Signals, CliStopSignal,
                         ::testing::Values(SignalCase{"SIGTERM", SIGTERM, 143},
                                           SignalCase{"SIGHUP", SIGHUP, 129},
                                           SignalCase{"SIGINT", SIGINT, 130}),
                         [](const ::testing::TestParamInfo<SignalCase>& param) {
                           return std::string(param.param.name);
                         });

TEST_F(CliEndToEnd, HelpAndVersion) {
  const CliResult help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: vorloader-cli", 0), 0u);
  const CliResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("vorloader-cli ", 0), 0u);
}

TEST_F(CliEndToEnd, RawBootReprogramsADeviceInItsBootloader) {
  Publish(kNewer);
  auto device = StartDevice(1, {"--raw-boot"});
  // At a terminal, as a technician: OK at once to the first box (the simulated device powers
  // on when the port opens), and OK to the second once the device has restarted.
  const CliResult r =
      Run({"raw-boot"}, /*onTerminal=*/true,
          {{"Press Ok Then Switch Device On. [OK: press Enter] ", "\n", nullptr},
           {"Press Ok when ready. [OK: press Enter] ", "\n", [&] { return device->Contains("restart"); }}});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, "   -Device Programed OK.\r\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "main: Program Loaded.")) << r.out;
  EXPECT_EQ(JsonField(device->Lines("restart").back(), "version"), kNewer);
}

TEST_F(CliEndToEnd, CtrlCClosesThePortAndExits130) {
  Publish(kNewer);
  auto device = StartDevice();  // running firmware: it never sends a boot banner
  // Interrupted while raw boot waits (10 s) for the banner.
  const CliResult r = Run({"--yes", "raw-boot"}, false, {}, {"! Switch Device off."});
  EXPECT_EQ(r.status, 130) << Dump(r);
  EXPECT_FALSE(Contains(r.out, "E0")) << "a stopped workflow reports no result";
  EXPECT_TRUE(device->WaitFor("close", 10000));
}

constexpr const char* kTransferWarning = "stopping now may leave it needing a raw boot";

// The pseudo-terminal holds some 20 KB of the stream at once, so the images here are large
// enough that the loader is still writing when the Ctrl-C arrives.
TEST_F(CliEndToEnd, CtrlCDuringTheStreamOnlyWarns) {
  Publish(kNewer, 16384);
  auto device = StartDevice(1, {"--pace"});  // takes the image at the line rate: about 8 s
  const CliResult r = Run({"--yes"}, false, {}, {"main: Sending Hex file 1"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_TRUE(Contains(r.err, kTransferWarning)) << r.err;
  EXPECT_EQ(r.OutLines().back(), "   -Device Programed OK.");
}

TEST_F(CliEndToEnd, SecondCtrlCDuringTheStreamStops) {
  Publish(kNewer, 65536);
  auto device = StartDevice(1, {"--pace"});
  const CliResult r =
      Run({"--yes"}, false, {}, {"main: Sending Hex file 1", "Press Ctrl-C again to stop anyway."});
  EXPECT_EQ(r.status, 130) << Dump(r);
  EXPECT_TRUE(Contains(r.err, kTransferWarning)) << r.err;
  EXPECT_FALSE(Contains(r.err, "main: Sending Hex file 100.0% done")) << "the stream ends early";
  EXPECT_FALSE(Contains(r.out, "Device Programed OK.")) << r.out;
  EXPECT_TRUE(device->WaitFor("close", 10000));
  EXPECT_EQ(r.ErrLines().back(),
            "vorloader-cli: stopped while the device was being programmed; it may need a raw boot");
}

TEST_F(CliEndToEnd, OnATerminalTheUserAnswersAndSeesAProgressBar) {
  Publish(kNewer, 32768);
  auto device = StartDevice();
  // Enter alone takes the default answer, Yes.
  const CliResult r = Run({}, /*onTerminal=*/true, {{"? Load Hex Now? [Y/n] ", "\n", nullptr}});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, "\x1b[K[")) << r.out;
  EXPECT_TRUE(Contains(r.out, "100.0%")) << r.out;
  EXPECT_TRUE(Contains(r.out, " bytes  0:00 left")) << r.out;
  EXPECT_TRUE(Contains(r.out, "   -Device Programed OK.")) << r.out;
  // The per-chunk texts are folded into the bar; the last follows it.
  EXPECT_FALSE(Contains(r.out, "main: Sending Hex file 50.0% done")) << r.out;
  EXPECT_TRUE(Contains(r.out, "main: Sending Hex file 100.0% done")) << r.out;
}

TEST_F(CliEndToEnd, OnATerminalNoIsTyped) {
  Publish(kNewer);
  auto device = StartDevice();
  const CliResult r = Run({}, /*onTerminal=*/true, {{"[Y/n] ", "n\n", nullptr}});
  EXPECT_EQ(r.status, 15) << r.out;
  EXPECT_TRUE(Contains(r.out, "E15-Load Cancelled by User.")) << r.out;
}

// --- several devices at once ---

// Every line of a session starts with its port; the preparation's lines have none.
void ExpectWholePrefixedLines(const Lines& lines, const std::vector<std::string>& unprefixed) {
  for (const std::string& l : lines) {
    const bool prefixed = l.size() > 6 && l.compare(0, 3, "COM") == 0 && l.find(": ") != std::string::npos;
    const bool preparation = std::find(unprefixed.begin(), unprefixed.end(), l) != unprefixed.end();
    EXPECT_TRUE(prefixed || preparation || l.rfind("summary: ", 0) == 0 || l.rfind("main: ", 0) == 0 ||
                l.rfind("vorloader-cli: ", 0) == 0)
        << "[" << l << "]";
  }
}

std::vector<app::RunRecord> ReadRecords(const std::string& path) {
  std::vector<app::RunRecord> records;
  std::ifstream in(path);
  for (std::string l; std::getline(in, l);) {
    const std::optional<app::RunRecord> r = app::ParseRecordLine(l);
    EXPECT_TRUE(r.has_value()) << "a torn or bad record line: " << l;
    if (r) records.push_back(*r);
  }
  return records;
}

TEST_F(CliEndToEnd, ThreePortsAreProgrammedAtOnceEachAtItsRate) {
  Publish(kNewer, 8192);
  auto a = StartDevice(1, {"--pace"}, {57600});
  auto b = StartDevice(2, {"--pace", "--id", "00002cc1"}, {115200});
  auto c = StartDevice(3, {"--pace", "--id", "00002cc2"}, {38400});
  const std::string records = m_dir.path + "/history.jsonl";
  const CliResult r = Run({"--yes", "--port", "COM1", "--port", "COM2", "--port",
                           "/dev/../" + ComDir() + "/COM3", "--record", records});
  EXPECT_EQ(r.status, 0) << Dump(r);
  // The preparation once, unprefixed; then one result line per port.
  const Lines out = r.OutLines();
  ASSERT_GE(out.size(), 6u) << Dump(r);
  EXPECT_EQ(Lines(out.begin(), out.begin() + 4),
            (Lines{"3 Com Ports Found.", "Checking Online..OK.", "1 Product definitions Found.",
                   "All Files found and Correct."}));
  for (const char* port : {"COM1", "COM2", "COM3"})
    EXPECT_EQ(std::count(out.begin(), out.end(), std::string(port) + ":    -Device Programed OK."), 1)
        << port;
  ExpectWholePrefixedLines(out, Lines(out.begin(), out.begin() + 4));
  ExpectWholePrefixedLines(r.ErrLines(), {});
  EXPECT_EQ(r.ErrLines().back(), "summary: 3 devices: 3 programmed, 0 failed, 0 refused");
  // Each session kept to its own port, at its device's rate.
  EXPECT_TRUE(Contains(r.err, "COM2: port: Connected Com 2 at Baud 115200")) << r.err;
  EXPECT_FALSE(Contains(r.err, "COM1: port: Connected Com 2")) << r.err;
  for (auto* device : {a.get(), b.get(), c.get()}) {
    ASSERT_TRUE(device->WaitFor("restart", 10000));
    EXPECT_EQ(JsonField(device->Lines("image").back(), "verdict"), "good");
  }

  // One whole record per device, every field its own.
  const std::vector<app::RunRecord> got = ReadRecords(records);
  ASSERT_EQ(got.size(), 3u);
  const std::string digest =
      image::Sha256Hex(image::Sha256Of(ReadFile(FirmwareFolder() + "/amp.hex")).value());
  std::vector<std::string> ports;
  for (const app::RunRecord& rec : got) {
    ports.push_back(rec.port);
    EXPECT_EQ(rec.workflow, "connect");
    EXPECT_EQ(rec.path, ComDir() + "/" + rec.port);
    EXPECT_EQ(rec.deviceId, 11456u + static_cast<unsigned>(rec.port.back() - '1'));
    EXPECT_EQ(rec.product, "VORnet Amp ");
    EXPECT_EQ(rec.versionBefore, kDeviceVersion);
    EXPECT_EQ(rec.versionAfter, kNewer);
    EXPECT_EQ(rec.file, "amp.hex");
    EXPECT_EQ(rec.sha256, digest);
    EXPECT_EQ(rec.code, 0);
    EXPECT_EQ(rec.result, "   -Device Programed OK.");
    EXPECT_EQ(rec.time.size(), 20u);
    EXPECT_EQ(rec.time.back(), 'Z');
    EXPECT_GT(rec.durationMs, 0);
    EXPECT_EQ(rec.loader, app::LoaderVersion());
  }
  std::sort(ports.begin(), ports.end());
  EXPECT_EQ(ports, (std::vector<std::string>{"COM1", "COM2", "COM3"}));
}

TEST_F(CliEndToEnd, AFailingDeviceLeavesTheOthersProgrammedAndNamesTheExitStatus) {
  Publish(kNewer, 8192);
  auto a = StartDevice(1, {"--pace"});
  auto b = StartDevice(2, {"--pace", "--no-erase-reply"});
  auto c = StartDevice(3, {"--pace"});
  const CliResult r = Run({"--yes", "--all-ports"});
  EXPECT_EQ(r.status, 13) << Dump(r);
  const Lines out = r.OutLines();
  EXPECT_EQ(std::count(out.begin(), out.end(), "COM2: E13-Device Failed to Erase Flash."), 1) << Dump(r);
  EXPECT_EQ(std::count(out.begin(), out.end(), "COM1:    -Device Programed OK."), 1) << Dump(r);
  EXPECT_EQ(std::count(out.begin(), out.end(), "COM3:    -Device Programed OK."), 1) << Dump(r);
  EXPECT_EQ(r.ErrLines().back(),
            "summary: 3 devices: 2 programmed, 1 failed, 0 refused; not programmed: COM2 13");
  // A session's lines stay in its order.
  const Lines err = r.ErrLines();
  const auto erasing = std::find(err.begin(), err.end(), "COM2: main: Waiting for Erase to Complete.");
  const auto failed = std::find(err.begin(), err.end(), "COM2: main: Erased Failed !!");
  EXPECT_LT(erasing, failed);
  EXPECT_NE(failed, err.end());
}

// Ctrl-C while all three stream: the first lets them finish their image, the second cuts them.
TEST_F(CliEndToEnd, CtrlCDuringTheStreamsOfSeveralDevices) {
  for (int presses : {1, 2}) {
    SCOPED_TRACE(presses);
    Publish(kNewer, 32768);
    std::vector<std::unique_ptr<SimProcess>> devices;
    for (int port = 1; port <= 3; ++port) devices.push_back(StartDevice(port, {"--pace"}));
    const auto allStreaming = [&devices] {
      return std::all_of(devices.begin(), devices.end(), [](const auto& d) { return d->Contains("erased"); });
    };
    std::vector<std::string> when = {"main: Sending Hex file 1"};
    if (presses == 2) when.push_back("Press Ctrl-C again to stop them all.");
    const std::string records = m_dir.path + "/line-records-" + std::to_string(presses) + ".jsonl";
    const CliResult r =
        Run({"--record", records, "--yes", "--port", "COM1", "--port", "COM2", "--port", "COM3"}, false, {},
            when, {}, SIGINT, allStreaming);
    // Every unit of the line is on record, the ones cut while programming as stopped.
    const std::vector<app::RunRecord> kept = ReadRecords(records);
    ASSERT_EQ(kept.size(), 3u) << Dump(r);
    for (const app::RunRecord& record : kept) {
      EXPECT_EQ(record.code, presses == 1 ? 0 : app::kStoppedCode) << record.port;
      EXPECT_EQ(record.eraseBegan, true) << record.port;
      EXPECT_EQ(record.file, "amp.hex") << record.port;
    }
    EXPECT_TRUE(Contains(r.err, "The devices being programmed finish their image")) << Dump(r);
    if (presses == 1) {
      EXPECT_EQ(r.status, 0) << Dump(r);
      EXPECT_EQ(r.ErrLines().back(), "summary: 3 devices: 3 programmed, 0 failed, 0 refused");
    } else {
      EXPECT_EQ(r.status, 130) << Dump(r);
      EXPECT_FALSE(Contains(r.out, "Device Programed OK.")) << r.out;
      EXPECT_EQ(
          r.ErrLines().back(),
          "vorloader-cli: stopped while COM1, COM2, COM3 were being programmed; a raw boot may be needed");
      for (const auto& d : devices) EXPECT_TRUE(d->WaitFor("close", 10000));
    }
  }
}

// A third stop signal right behind the second (two Ctrl-C, then SIGTERM at once) ends the line,
// but only once the devices it cut are on record.
TEST_F(CliEndToEnd, AThirdSignalKeepsTheRecordsOfTheDevicesCut) {
  Publish(kNewer, 32768);
  std::vector<std::unique_ptr<SimProcess>> devices;
  for (int port = 1; port <= 3; ++port) devices.push_back(StartDevice(port, {"--pace"}));
  const auto allStreaming = [&devices] {
    return std::all_of(devices.begin(), devices.end(), [](const auto& d) { return d->Contains("erased"); });
  };
  const std::string records = m_dir.path + "/third-signal.jsonl";
  CliRun run;
  run.args = {"--record", records, "--yes", "--port", "COM1", "--port", "COM2", "--port", "COM3"};
  Cue first;
  first.when = "main: Sending Hex file 1";
  first.ready = allStreaming;
  first.signal = SIGINT;
  Cue secondAndThird;
  secondAndThird.when = "Press Ctrl-C again to stop them all.";
  secondAndThird.signal = SIGINT;
  secondAndThird.moreSignals = {SIGTERM};
  run.cues = {first, secondAndThird};
  const CliResult r = RunIn(run);

  EXPECT_EQ(r.status, 130) << Dump(r);
  const std::vector<app::RunRecord> kept = ReadRecords(records);
  ASSERT_EQ(kept.size(), 3u) << Dump(r);
  for (const app::RunRecord& record : kept) {
    EXPECT_EQ(record.code, app::kStoppedCode) << record.port;
    EXPECT_EQ(record.eraseBegan, true) << record.port;
  }
  EXPECT_FALSE(Contains(r.out, "Device Programed OK.")) << r.out;
}

// On a terminal the board of live lines redraws itself many times a second: the first Ctrl-C's
// warning stays above it, and on the screen once the run has ended.
TEST_F(CliEndToEnd, OnATerminalTheFirstCtrlCWarningStaysAboveTheBoard) {
  Publish(kNewer, 32768);
  std::vector<std::unique_ptr<SimProcess>> devices;
  for (int port = 1; port <= 2; ++port) devices.push_back(StartDevice(port, {"--pace"}));
  const auto allStreaming = [&devices] {
    return std::all_of(devices.begin(), devices.end(), [](const auto& d) { return d->Contains("erased"); });
  };
  // Ctrl-C typed at the terminal once both bars are on the board.
  const CliResult r = Run({"--yes", "--port", "COM1", "--port", "COM2"}, /*onTerminal=*/true,
                          {{"COM2: [", "\x03", allStreaming}});
  EXPECT_EQ(r.status, 0) << r.out;
  const Lines screen = FinalScreen(r.out);
  std::string shown;
  for (const std::string& row : screen) shown += row + "\n";
  const auto rowOf = [&screen](const std::string& text) {
    return std::find(screen.begin(), screen.end(), text) - screen.begin();
  };
  const std::ptrdiff_t warning = rowOf(
      "The devices being programmed finish their image: stopping them now may leave them needing a raw "
      "boot.");
  const std::ptrdiff_t again = rowOf("The others stop. Press Ctrl-C again to stop them all.");
  const std::ptrdiff_t summary = rowOf("summary: 2 devices: 2 programmed, 0 failed, 0 refused");
  const auto rows = static_cast<std::ptrdiff_t>(screen.size());
  EXPECT_LT(warning, rows) << shown;
  EXPECT_EQ(again, warning + 1) << shown;
  EXPECT_LT(again, summary) << shown;
  EXPECT_LT(summary, rows) << shown;
}

// --- A stop before the erase never erases ----------------------------------------------------

// The simulator's banner is 64 bytes, so the loader waits its whole second for the 75 it reads;
// a stop 300 ms into that wait is a stop before programming: the bootloader is declined, the
// erase never goes out, and the record says so.
TEST_F(CliEndToEnd, AStopDuringTheBannerWaitDeclinesTheDeviceAndNeverErases) {
  Publish(kNewer);
  auto device = StartDevice(1, {"--banner-length", "64"});
  const std::string records = m_dir.path + "/records.jsonl";
  const CliResult r = Run({"--record", records, "--yes", "connect"}, false, {}, {"? Load Hex Now? [Y/n] yes"},
                          {}, SIGINT, [&device] { return LoggedSecondsAgo(*device, "boot", 0.3); });
  EXPECT_EQ(r.status, 130) << Dump(r);
  EXPECT_TRUE(device->WaitFor("close", 10000));
  EXPECT_TRUE(device->Contains("decline")) << "the bootloader is sent back to its firmware";
  EXPECT_FALSE(device->Contains("erase")) << "a stop never erases";
  EXPECT_FALSE(Contains(r.err, "being programmed")) << r.err;
  EXPECT_FALSE(Contains(r.err, kTransferWarning)) << r.err;
  std::ifstream in(records);
  std::string line;
  ASSERT_TRUE(std::getline(in, line)) << "no record";
  const std::optional<app::RunRecord> record = app::ParseRecordLine(line);
  ASSERT_TRUE(record) << line;
  EXPECT_EQ(record->code, app::kStoppedCode);
  EXPECT_EQ(record->eraseBegan, false);
  EXPECT_FALSE(std::getline(in, line)) << "one run, one record";
}

}  // namespace
}  // namespace testing_support
