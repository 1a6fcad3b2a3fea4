#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "device/port_problems.h"
#include "platform/posix/serial_lock_files.h"
#include "platform/serial_port.h"
#include "tests/device/step_fixture.h"
#include "tests/support/fixtures/temp_dir.h"

namespace device {
namespace {

using platform::MakeSystemPortOpener;
using platform::OpenError;
using platform::PortFacts;
using platform::SerialPort;
using platform::posix::LockFileCandidates;
using platform::posix::ParseLockFile;
using testing_support::RecordingView;
using testing_support::ScriptedOpener;

TEST(EnumerateComPorts, ListsThePortsThatOpenInOrderAndClosesThem) {
  ScriptedOpener opener;
  opener.Line(12);
  opener.Line(3);
  opener.Line(5);
  opener.Refuse(5, OpenError::Busy);
  opener.Line(33);  // beyond the numbered range: never tried
  RecordingView view;
  PortList list;
  list.entries.push_back({9, "stale"});

  EXPECT_TRUE(EnumerateComPorts(opener, list, view));

  ASSERT_EQ(list.entries.size(), 2u);
  EXPECT_EQ(list.entries[0].number, 3);
  EXPECT_EQ(list.entries[0].path, "scripted/COM3");
  EXPECT_EQ(list.entries[1].number, 12);
  EXPECT_EQ(list.selected, 0);
  // Every port once, in order; then only the busy one again, until the wait is over.
  ASSERT_GT(opener.attempts.size(), 32u);
  for (int number = 1; number <= 32; ++number)
    EXPECT_EQ(opener.attempts[static_cast<std::size_t>(number - 1)], number);
  for (std::size_t i = 32; i < opener.attempts.size(); ++i) EXPECT_EQ(opener.attempts[i], 5);
  EXPECT_FALSE(opener.Line(3).open);
  EXPECT_FALSE(opener.Line(12).open);
  EXPECT_EQ(opener.Line(33).OpenCount(), 0);
  EXPECT_EQ(view.calls,
            (std::vector<std::string>{"main: Searching Valid Com Ports.", "ports: COM3,COM12 [0]"}));
}

// An opener that knows the adapter behind a port.
class DescribingOpener : public ScriptedOpener {
 public:
  PortEntry Describe(int number) const override {
    PortEntry entry(number, PathOf(number));
    entry.vendorId = 0x0403;
    entry.productId = 0x6001;
    entry.manufacturer = "Maker";
    entry.product = "Adapter " + std::to_string(number);
    entry.serialNumber = "SN" + std::to_string(number);
    return entry;
  }
};

// Another loader's listing holds a port for a moment: it is listed all the same, in its place.
TEST(EnumerateComPorts, APortBusyForAMomentIsListed) {
  ScriptedOpener opener;
  opener.Line(2);
  opener.Line(5);
  opener.Line(9);
  opener.BusyFor(5, 3);
  opener.BusyFor(9, 1);
  RecordingView view;
  PortList list;
  EXPECT_TRUE(EnumerateComPorts(opener, list, view));
  ASSERT_EQ(list.entries.size(), 3u);
  EXPECT_EQ(list.entries[1].number, 5);
  EXPECT_EQ(list.entries[2].number, 9);
  EXPECT_TRUE(list.busy.empty());
  EXPECT_TRUE(list.notes.empty());
  EXPECT_EQ(std::count(opener.attempts.begin(), opener.attempts.end(), 5), 4);
  for (int number : {2, 5, 9}) EXPECT_FALSE(opener.Line(number).open);
}

TEST(EnumerateComPorts, ListsWhatTheOpenerKnowsOfEachPort) {
  DescribingOpener opener;
  opener.Line(4);
  opener.Line(7);
  opener.Refuse(7, OpenError::Busy);
  RecordingView view;
  PortList list;
  EXPECT_TRUE(EnumerateComPorts(opener, list, view));
  ASSERT_EQ(list.entries.size(), 1u);
  const PortEntry& e = list.entries[0];
  EXPECT_EQ(e.number, 4);
  EXPECT_EQ(e.path, "scripted/COM4");
  EXPECT_EQ(e.vendorId, 0x0403);
  EXPECT_EQ(e.productId, 0x6001);
  EXPECT_EQ(e.manufacturer, "Maker");
  EXPECT_EQ(e.product, "Adapter 4");
  EXPECT_EQ(e.serialNumber, "SN4");
  // A refused port whose path is not there says nothing.
  EXPECT_TRUE(list.notes.empty());
}

TEST(EnumerateComPorts, NoPortLeavesAnEmptyUnselectedList) {
  ScriptedOpener opener;
  RecordingView view;
  PortList list;
  EXPECT_FALSE(EnumerateComPorts(opener, list, view));
  EXPECT_TRUE(list.entries.empty());
  EXPECT_EQ(list.selected, -1);
}

using OpenComPortTest = StepTest;

TEST_F(OpenComPortTest, WaitsForAPortBusyForAMoment) {
  opener.BusyFor(kPort, 2);
  EXPECT_EQ(OpenComPort(link, kPort, 57600), RESULT_OK);
  ExpectOpen(true);
  EXPECT_EQ(opener.attempts.size(), 3u);
}

TEST_F(OpenComPortTest, APortBusyForLongerFailsAfterTheWait) {
  opener.Refuse(kPort, OpenError::Busy);
  EXPECT_EQ(OpenComPort(link, kPort, 57600), RESULT_PORT_OPEN_FAILED);
  ExpectOpen(false);
  EXPECT_GT(opener.attempts.size(), 1u) << "tried again while busy";
  // Any other refusal is final at once.
  opener.Refuse(kPort, OpenError::PermissionDenied);
  opener.attempts.clear();
  EXPECT_EQ(OpenComPort(link, kPort, 57600), RESULT_PORT_OPEN_FAILED);
  EXPECT_EQ(opener.attempts.size(), 1u);
}

TEST_F(OpenComPortTest, OpensAtTheRateOrReportsWhy) {
  EXPECT_EQ(OpenComPort(link, kPort, 115200), RESULT_OK);
  ExpectOpen(true);
  EXPECT_EQ(line.rate, 115200);

  // Opening again lets go of the handle it holds first, so the port is not busy against itself.
  EXPECT_EQ(OpenComPort(link, kPort, 38400), RESULT_OK);
  EXPECT_EQ(line.Events("close").size(), 1u);
  EXPECT_EQ(line.rate, 38400);

  line.configureFails = true;
  EXPECT_EQ(OpenComPort(link, kPort, 57600), RESULT_PORT_OPEN_FAILED);
  ExpectOpen(false);

  opener.Refuse(kPort, OpenError::PermissionDenied);
  EXPECT_EQ(OpenComPort(link, kPort, 57600), RESULT_PORT_OPEN_FAILED);
  ExpectOpen(false);
}

TEST_F(OpenComPortTest, PortNumbersOutsideOneToThirtyTwoNeverReachTheOpener) {
  for (int port : {0, -1, 33}) {
    EXPECT_EQ(OpenComPort(link, port, 57600), RESULT_PORT_OPEN_FAILED);
  }
  EXPECT_TRUE(opener.attempts.empty());
}

using FindDeviceBaudTest = StepTest;

TEST_F(FindDeviceBaudTest, PassesThroughTheRatesUntilTheDeviceAnswers) {
  dev.script().rates = {38400};
  EXPECT_EQ(FindDeviceBaud(link, id, kPort, view), RESULT_OK);
  EXPECT_EQ(view.Calls("port: "), (std::vector<std::string>{"port: Connected Com 3 at Baud 57600",
                                                            "port: Connected Com 3 at Baud 115200",
                                                            "port: Connected Com 3 at Baud 38400"}));
  ExpectOpen(true);
  EXPECT_EQ(line.rate, 38400);
  EXPECT_EQ(line.OpenCount(), 3);
  EXPECT_EQ(id.m_nDevId, 11456u);
}

TEST_F(FindDeviceBaudTest, AnswerAtTheFirstRateTriesNoOther) {
  EXPECT_EQ(FindDeviceBaud(link, id, kPort, view), RESULT_OK);
  EXPECT_EQ(view.Calls("port: ").size(), 1u);
  EXPECT_EQ(line.OpenCount(), 1);
  ExpectOpen(true);
}

TEST_F(FindDeviceBaudTest, PortThatCannotOpenReturnsCodeOneWithoutOtherRates) {
  opener.Remove(kPort);
  EXPECT_EQ(FindDeviceBaud(link, id, kPort, view), RESULT_PORT_OPEN_FAILED);
  EXPECT_EQ(opener.attempts, (std::vector<int>{kPort}));
  EXPECT_EQ(view.portStatus, "Connected Com 3 at Baud 57600");
  ExpectOpen(false);
}

TEST_F(FindDeviceBaudTest, BadChecksumAtEveryRateReturnsCodeTwoWithThePortClosed) {
  dev.script().rates = {57600, 115200, 38400};
  dev.script().identifyBadSum = true;
  EXPECT_EQ(FindDeviceBaud(link, id, kPort, view), RESULT_NO_SINGLE_DEVICE);
  EXPECT_EQ(line.OpenCount(), 3);
  EXPECT_EQ(view.portStatus, "Connected Com 3 at Baud 38400");
  ExpectOpen(false);
}

struct ClassifyCase {
  const char* name;
  PortFacts facts;
  OpenError error;
  PortProblem problem;
};

PortFacts Facts(bool present, bool brokenLink, bool charDevice, bool regularFile, bool mayOpen,
                bool terminalKnown, bool terminal, std::optional<long> lockPid = std::nullopt) {
  PortFacts f;
  f.present = present;
  f.brokenLink = brokenLink;
  f.charDevice = charDevice;
  f.regularFile = regularFile;
  f.mayOpen = mayOpen;
  f.terminalKnown = terminalKnown;
  f.terminal = terminal;
  f.lockPid = lockPid;
  return f;
}

class ClassifyPortTable : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(ClassifyPortTable, NamesTheReason) {
  EXPECT_EQ(ClassifyPort(GetParam().facts, GetParam().error), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClassifyPortTable,
    ::testing::Values(ClassifyCase{"Missing", Facts(false, false, false, false, false, false, false),
                                   OpenError::NotFound, PortProblem::None},
                      ClassifyCase{"BrokenLink", Facts(true, true, false, false, false, false, false),
                                   OpenError::NotFound, PortProblem::BrokenLink},
                      ClassifyCase{"RegularFile", Facts(true, false, false, true, false, false, false),
                                   OpenError::Other, PortProblem::NotSerial},
                      ClassifyCase{"NoPermission", Facts(true, false, true, false, false, false, false),
                                   OpenError::PermissionDenied, PortProblem::NoPermission},
                      ClassifyCase{"NotATerminal", Facts(true, false, true, false, true, true, false),
                                   OpenError::Other, PortProblem::NotSerial},
                      ClassifyCase{"BusyWithoutLock", Facts(true, false, true, false, true, false, false),
                                   OpenError::Busy, PortProblem::InUse},
                      ClassifyCase{"Locked", Facts(true, false, true, false, true, true, true, 4242L),
                                   OpenError::Busy, PortProblem::InUse},
                      // A terminal that fails for another reason (a UART that is not fitted) is no port.
                      ClassifyCase{"OtherFailure", Facts(true, false, true, false, true, true, true),
                                   OpenError::Other, PortProblem::None}),
    [](const ::testing::TestParamInfo<ClassifyCase>& param) { return std::string(param.param.name); });

TEST(DescribePortProblem, SaysWhyInOneLine) {
  PortFacts locked = Facts(true, false, true, false, true, true, true, 4242L);
  locked.lockProcess = "minicom";
  EXPECT_EQ(DescribePortProblem(3, "/dev/ttyUSB0", PortProblem::InUse, locked),
            "COM3 (/dev/ttyUSB0) is not listed: in use by process 4242 (minicom)");
  EXPECT_EQ(DescribePortProblem(3, "/dev/ttyUSB0", PortProblem::InUse,
                                Facts(true, false, true, false, true, false, false)),
            "COM3 (/dev/ttyUSB0) is not listed: in use by another program");
  EXPECT_EQ(DescribePortProblem(2, "/c/COM2", PortProblem::NotSerial,
                                Facts(true, false, false, true, false, false, false)),
            "COM2 (/c/COM2) is not listed: not a serial device (a regular file)");
  PortFacts broken = Facts(true, true, false, false, false, false, false);
  broken.target = "/dev/ttyUSB9";
  EXPECT_EQ(DescribePortProblem(5, "/c/COM5", PortProblem::BrokenLink, broken),
            "COM5 (/c/COM5) is not listed: the link leads to nothing (/dev/ttyUSB9)");
  EXPECT_EQ(DescribePortProblem(1, "/dev/ttyS0", PortProblem::NoPermission, PortFacts{}),
            "COM1 (/dev/ttyS0) is not listed: no permission to open it; " + PermissionFix());
  EXPECT_EQ(DescribeDeniedPorts({{1, "/dev/ttyS0"}, {9, "/dev/ttyUSB0"}}),
            "COM1 (/dev/ttyS0), COM9 (/dev/ttyUSB0) are not listed: no permission to open them; " +
                PermissionFix());
  EXPECT_EQ(DescribePortProblem(1, "/dev/ttyS0", PortProblem::None, PortFacts{}), "");
  EXPECT_NE(PermissionFix().find("dialout"), std::string::npos);
}

std::string Binary(std::int32_t pid) {
  std::string bytes(sizeof pid, '\0');
  std::memcpy(bytes.data(), &pid, sizeof pid);
  return bytes;
}

TEST(ParseLockFile, ReadsThePidInEveryFormAndNothingElse) {
  EXPECT_EQ(ParseLockFile("      4242\n"), 4242);                 // UUCP: ten columns, blank-padded
  EXPECT_EQ(ParseLockFile("4242\nvorloader-cli\nhost\n"), 4242);  // Qt: PID, program, host
  EXPECT_EQ(ParseLockFile("4242"), 4242);                         // digits alone
  EXPECT_EQ(ParseLockFile(Binary(4242)), 4242);                   // the PID as a binary int
  EXPECT_EQ(ParseLockFile(Binary(0x00313233)), 0x00313233);       // binary bytes that start with digits
  for (const std::string& bad :
       {std::string(), std::string("\n"), std::string("abc\n"), std::string("0\n"), std::string("-5\n"),
        std::string("12ab\n"), std::string("99999999999\n"), std::string("5000000\n"), Binary(0), Binary(-1),
        std::string(200, '1'), std::string("4242") + std::string(200, ' ')})
    EXPECT_EQ(ParseLockFile(bad), std::nullopt) << bad;
}

TEST(LockFileCandidates, NamesTheFilesOfQtAndOfUucpTools) {
  const std::vector<std::string> files = LockFileCandidates("/dev/ttyUSB0", {"/run/lock", "/tmp"});
  EXPECT_EQ(files.front(), "/run/lock/LCK..ttyUSB0");
  EXPECT_NE(std::find(files.begin(), files.end(), "/tmp/LCK..ttyUSB0"), files.end());
  const std::vector<std::string> linked = LockFileCandidates("/c/COM1", {"/var/lock"});
  EXPECT_EQ(linked.front(), "/var/lock/LCK.._c_COM1");
}

namespace fs = std::filesystem;

// The system opener over a folder of COMn entries, each a different reason not to list it.
class WhyNotListed : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("VORLOADER_COM_DIR");
    if (old != nullptr) m_oldComDir = old;
    ::setenv("VORLOADER_COM_DIR", m_dir.c_str(), 1);
    m_app = std::make_unique<platform::SerialRuntime>(m_argc, m_argv);
  }
  void TearDown() override {
    for (int fd : m_fds) ::close(fd);
    if (m_oldComDir)
      ::setenv("VORLOADER_COM_DIR", m_oldComDir->c_str(), 1);
    else
      ::unsetenv("VORLOADER_COM_DIR");
  }

  // A pseudo-terminal at COMn; returns the path of its terminal end.
  std::string Pty(int number) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    EXPECT_EQ(::grantpt(master), 0);
    EXPECT_EQ(::unlockpt(master), 0);
    const std::string name = ::ptsname(master);
    m_fds.push_back(master);
    fs::create_symlink(name, Com(number));
    return name;
  }
  std::string Com(int number) const { return (m_dir / ComName(number)).string(); }

  testing_support::TempDir m_tmp{"vor-why"};
  fs::path m_dir{m_tmp.path};
  std::optional<std::string> m_oldComDir;
  std::vector<int> m_fds;
  int m_argc = 1;
  char m_name[16] = "device_steps";
  char* m_argv[2] = {m_name, nullptr};
  std::unique_ptr<platform::SerialRuntime> m_app;
};

TEST_F(WhyNotListed, SaysWhyEachPortThatIsThereIsMissing) {
  Pty(1);                                      // a good port
  std::ofstream(Com(2)) << "not a device";     // a plain file
  fs::create_symlink(m_dir / "gone", Com(3));  // a link to nothing
  Pty(4);                                      // held by another opener below
  fs::create_symlink("/dev/null", Com(5));     // a device, but no terminal
  // COM6 does not exist: nothing is said of it.

  const auto opener = MakeSystemPortOpener();
  OpenError error = OpenError::None;
  const std::unique_ptr<SerialPort> held = opener->Open(4, error);
  ASSERT_NE(held, nullptr) << static_cast<int>(error);

  RecordingView view;
  PortList list;
  EXPECT_TRUE(EnumerateComPorts(*opener, list, view));
  ASSERT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(list.entries[0].number, 1);
  EXPECT_EQ(list.entries[0].path, Com(1));
  EXPECT_EQ(list.entries[0].vendorId, 0) << "a pseudo-terminal has no USB identity";

  ASSERT_EQ(list.notes.size(), 4u) << ::testing::PrintToString(list.notes);
  EXPECT_EQ(list.notes[0], "COM2 (" + Com(2) + ") is not listed: not a serial device (a regular file)");
  EXPECT_EQ(list.notes[1], "COM3 (" + Com(3) + ") is not listed: the link leads to nothing (" +
                               (m_dir / "gone").string() + ")");
  // The lock file names this very process.
  EXPECT_EQ(
      list.notes[2].rfind(
          "COM4 (" + Com(4) + ") is not listed: in use by process " + std::to_string(::getpid()) + " (", 0),
      0u)
      << list.notes[2];
  EXPECT_EQ(list.notes[3], "COM5 (" + Com(5) + ") is not listed: not a serial device (not a terminal)");
  // The port held for longer than the wait is the one busy port, with its holder.
  ASSERT_EQ(list.busy.size(), 1u);
  EXPECT_EQ(list.busy[0].number, 4);
  EXPECT_EQ(list.busy[0].path, Com(4));
  EXPECT_EQ(list.busy[0].holder.rfind("in use by process " + std::to_string(::getpid()) + " (", 0), 0u)
      << list.busy[0].holder;
}

TEST_F(WhyNotListed, APortThisUserMayNotOpenGetsTheFix) {
  const std::string terminal = Pty(2);
  ASSERT_EQ(::chmod(terminal.c_str(), 0), 0);
  if (::geteuid() == 0) GTEST_SKIP() << "root opens any port; the classification table covers this case";
  RecordingView view;
  PortList list;
  const auto opener = MakeSystemPortOpener();
  EXPECT_FALSE(EnumerateComPorts(*opener, list, view));
  EXPECT_EQ(list.notes,
            (std::vector<std::string>{"COM2 (" + Com(2) + ") is not listed: no permission to open it; " +
                                      PermissionFix()}));
}

}  // namespace
}  // namespace device
