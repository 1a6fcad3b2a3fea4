// The QSerialPort transport over real pseudo-terminals: each port is a COMn link in a
// temporary VORLOADER_COM_DIR, the test holding the master side as the device.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "device/steps.h"
#include "platform/serial_port.h"
#include "tests/support/fixtures/cost_clocks.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/recording_view.h"

namespace device {
namespace {

namespace fs = std::filesystem;

using platform::ComPortPath;
using platform::MakeSystemPortOpener;
using platform::OpenError;
using platform::PortOpener;
using platform::SerialPort;

using testing_support::ThreadCpuMs;
using testing_support::WallMs;

// What one call cost: its wall time and the CPU time the calling thread spent in it.
struct Cost {
  double wallMs = 0;
  double cpuMs = 0;
};

template <typename Call>
Cost Measure(Call&& call) {
  const double wall0 = WallMs();
  const double cpu0 = ThreadCpuMs();
  call();
  return {WallMs() - wall0, ThreadCpuMs() - cpu0};
}

// A wait for a device may cost at most this share of one core.
constexpr double kWaitCpuShare = 0.10;

// The program runs with an application object; so do these tests.
class QtApplication : public ::testing::Environment {
 public:
  void SetUp() override { m_app = std::make_unique<platform::SerialRuntime>(m_argc, m_argv); }
  void TearDown() override { m_app.reset(); }

 private:
  int m_argc = 1;
  char m_name[16] = "device_serial";
  char* m_argv[2] = {m_name, nullptr};
  std::unique_ptr<platform::SerialRuntime> m_app;
};
const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

// A pseudo-terminal whose slave is reachable as DIR/COMn. The slave stays open here too, so
// the line survives between opens, and is raw so no byte is echoed or cooked.
struct Pty {
  int master = -1;
  int slave = -1;

  Pty(const fs::path& dir, int number) {
    char name[256];
    EXPECT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    fs::create_symlink(name, dir / ComName(number));
  }
  ~Pty() {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
  }

  void Send(const std::string& bytes) const {
    ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Waits (generously) until the slave side holds n unread bytes.
  void AwaitQueued(int n) const {
    for (int i = 0; i < 2000; ++i) {
      int queued = 0;
      ::ioctl(slave, FIONREAD, &queued);
      if (queued >= n) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FAIL() << "bytes never reached the port";
  }
  std::string Receive(std::size_t n) const {
    std::string got;
    while (got.size() < n) {
      char buf[64];
      const ssize_t r = ::read(master, buf, std::min(sizeof buf, n - got.size()));
      if (r <= 0) break;
      got.append(buf, static_cast<std::size_t>(r));
    }
    return got;
  }
};

class QtSerialPortTest : public ::testing::Test {
 protected:
  testing_support::TempDir tmp{"vor-com"};
  fs::path dir{tmp.path};
  std::unique_ptr<PortOpener> opener = MakeSystemPortOpener();

  void SetUp() override { ::setenv("VORLOADER_COM_DIR", tmp.path.c_str(), 1); }
  void TearDown() override { ::unsetenv("VORLOADER_COM_DIR"); }

  std::unique_ptr<SerialPort> OpenConfigured(int number) {
    OpenError error = OpenError::Other;
    auto port = opener->Open(number, error);
    EXPECT_NE(port, nullptr);
    EXPECT_EQ(error, OpenError::None);
    if (port) {
      EXPECT_TRUE(port->Configure(57600));
    }
    return port;
  }

  static long ReadInto(SerialPort& port, std::string& out, std::size_t n, const std::stop_token& stop = {}) {
    std::vector<std::uint8_t> buf(n);
    const long got = port.Read(buf.data(), n, stop);
    out.assign(buf.begin(), buf.begin() + std::max(got, 0L));
    return got;
  }
};

TEST_F(QtSerialPortTest, PortNumbersMapIntoTheComDir) {
  EXPECT_EQ(ComPortPath(3), (dir / "COM3").string());
  EXPECT_EQ(opener->PathOf(32), (dir / "COM32").string());
  EXPECT_EQ(ComPortPath(0), "");
  EXPECT_EQ(ComPortPath(33), "");
  ::unsetenv("VORLOADER_COM_DIR");
  const std::pair<int, const char*> defaults[] = {{1, "/dev/ttyS0"},    {8, "/dev/ttyS7"},
                                                  {9, "/dev/ttyUSB0"},  {24, "/dev/ttyUSB15"},
                                                  {25, "/dev/ttyACM0"}, {32, "/dev/ttyACM7"}};
  for (const auto& [number, path] : defaults) EXPECT_EQ(ComPortPath(number), path) << number;
}

TEST_F(QtSerialPortTest, OpensConfiguresAndWritesThrough) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  const std::uint8_t msg[] = {0xBF, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(port->Write(msg, sizeof msg), 5);
  EXPECT_EQ(pty.Receive(5), std::string("\xBF\0\0\0\0", 5));

  // The fixed line settings reached the terminal: 8 data bits, no parity, one stop bit, raw.
  termios tio{};
  ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B57600));
}

TEST_F(QtSerialPortTest, OpenFailuresSayWhy) {
  Pty pty(dir, 3);
  auto first = OpenConfigured(3);
  OpenError error = OpenError::None;
  EXPECT_EQ(opener->Open(3, error), nullptr);
  EXPECT_EQ(error, OpenError::Busy);
  EXPECT_EQ(opener->Open(5, error), nullptr);  // no COM5 in the folder
  EXPECT_EQ(error, OpenError::NotFound);
  EXPECT_EQ(opener->Open(33, error), nullptr);
  EXPECT_EQ(error, OpenError::NotFound);

  first->Close();
  EXPECT_NE(opener->Open(3, error), nullptr);  // closing gives the port back
}

TEST_F(QtSerialPortTest, ReadTimeOutReturnsAShortCount) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  port->SetReadTimeout(200);
  pty.Send("abc");
  std::string got;
  EXPECT_EQ(ReadInto(*port, got, 10), 3);
  EXPECT_EQ(got, "abc");
  EXPECT_EQ(ReadInto(*port, got, 10), 0);
}

TEST_F(QtSerialPortTest, ReadReturnsAsSoonAsTheCountHasArrived) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  // A time-out far beyond the test's own limit: only an early return lets this test finish.
  port->SetReadTimeout(3'600'000);
  std::thread peer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.Send("12");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.Send("345678");
  });
  std::string got;
  const long n = ReadInto(*port, got, 5);
  peer.join();
  EXPECT_EQ(n, 5);
  EXPECT_EQ(got, "12345");
  port->SetReadTimeout(200);
  EXPECT_EQ(ReadInto(*port, got, 10), 3);  // the rest stays for the next read
  EXPECT_EQ(got, "678");
}

// A stop requested from another thread while the read waits ends the read, with what had come
// (nothing): the read's own time-out is an hour.
TEST_F(QtSerialPortTest, AStopEndsAWaitingRead) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  port->SetReadTimeout(3'600'000);
  std::stop_source stop;
  std::jthread stopper([&stop] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop.request_stop();
  });
  std::string got;
  EXPECT_EQ(ReadInto(*port, got, 5, stop.get_token()), 0);
  EXPECT_TRUE(stop.stop_requested());
}

// A stop requested before the read ends it without a wait.
TEST_F(QtSerialPortTest, AReadAfterAStopReturnsWhatIsThereAtOnce) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  port->SetReadTimeout(3'600'000);
  pty.Send("ab");
  pty.AwaitQueued(2);
  std::stop_source stop;
  stop.request_stop();
  std::string got;
  const long n = ReadInto(*port, got, 5, stop.get_token());
  EXPECT_LE(n, 2);
  EXPECT_GE(n, 0);
}

TEST_F(QtSerialPortTest, DiscardDropsUnreadInput) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  pty.Send("stale");
  pty.AwaitQueued(5);
  port->DiscardInput();
  pty.Send("Z");
  port->SetReadTimeout(2000);
  std::string got;
  EXPECT_EQ(ReadInto(*port, got, 1), 1);
  EXPECT_EQ(got, "Z");
  port->SetReadTimeout(100);
  EXPECT_EQ(ReadInto(*port, got, 5), 0);
}

TEST_F(QtSerialPortTest, VanishedPeerShowsInTheCounts) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  ::close(pty.master);
  pty.master = -1;
  const std::vector<std::uint8_t> chunk(50, ':');
  EXPECT_LT(port->Write(chunk.data(), chunk.size()), 50);
  port->SetReadTimeout(200);
  std::string got;
  EXPECT_LE(ReadInto(*port, got, 5), 0);
}

// The device goes away while the loader waits for its reply (the adapter is pulled, the
// other end of the pty closes): the read ends at once with an error instead of waiting, or
// spinning, through the rest of its time-out.
TEST_F(QtSerialPortTest, ReadEndsAtOnceWhenThePeerHangsUpDuringTheWait) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  constexpr int kTimeoutMs = 5000;
  port->SetReadTimeout(kTimeoutMs);
  std::thread peer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::close(pty.master);
    pty.master = -1;
  });
  std::string got;
  long n = 0;
  const Cost cost = Measure([&] { n = ReadInto(*port, got, 16); });
  peer.join();
  EXPECT_LT(n, 0) << "a vanished device is an error, not a time-out";
  EXPECT_LT(cost.wallMs, kTimeoutMs / 2) << "the read waited out its time-out";
  EXPECT_LT(cost.cpuMs, kWaitCpuShare * cost.wallMs + 5) << "wall " << cost.wallMs << " ms";
}

// Once the line is gone, every further call fails at once: nothing waits or spins again.
TEST_F(QtSerialPortTest, AfterAHangUpEveryCallFailsAtOnce) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  ::close(pty.master);
  pty.master = -1;
  port->SetReadTimeout(5000);
  std::string got;
  long firstRead = 0;
  const Cost first = Measure([&] { firstRead = ReadInto(*port, got, 16); });
  EXPECT_LT(firstRead, 0);
  EXPECT_LT(first.wallMs, 2500);

  long secondRead = 0, written = 0;
  bool drained = true;
  const std::vector<std::uint8_t> chunk(50, ':');
  const Cost rest = Measure([&] {
    port->DiscardInput();
    secondRead = ReadInto(*port, got, 16);
    written = port->Write(chunk.data(), chunk.size());
    drained = port->Drain(std::stop_token());
  });
  EXPECT_LT(secondRead, 0);
  EXPECT_LT(written, 0);
  EXPECT_FALSE(drained);
  EXPECT_LT(rest.wallMs, 2500);
  EXPECT_LT(rest.cpuMs, kWaitCpuShare * 5000);
}

// A write into a line whose peer is gone fails at once, and so does the wait for it to drain.
TEST_F(QtSerialPortTest, WriteAndDrainFailAtOnceWhenThePeerIsGone) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  ::close(pty.master);
  pty.master = -1;
  const std::vector<std::uint8_t> chunk(50, ':');
  long written = 0;
  bool drained = true;
  const Cost cost = Measure([&] {
    written = port->Write(chunk.data(), chunk.size());
    drained = port->Drain(std::stop_token());
  });
  EXPECT_LT(written, 0);
  EXPECT_FALSE(drained);
  EXPECT_LT(cost.wallMs, 900) << "the write waited for its budget";
}

// A device that is there but silent: the read waits out its time-out, blocked, not polling.
TEST_F(QtSerialPortTest, WaitingForASilentDeviceCostsLittleCpu) {
  Pty pty(dir, 3);
  auto port = OpenConfigured(3);
  ASSERT_NE(port, nullptr);
  constexpr int kTimeoutMs = 600;
  port->SetReadTimeout(kTimeoutMs);
  std::string got;
  long n = -1;
  const Cost cost = Measure([&] { n = ReadInto(*port, got, 16); });
  EXPECT_EQ(n, 0);
  EXPECT_GE(cost.wallMs, kTimeoutMs - 1);
  EXPECT_LT(cost.cpuMs, kWaitCpuShare * kTimeoutMs) << "wall " << cost.wallMs << " ms";
}

// A port whose device has gone before the loader opens or sets it up: the pty's slave goes
// with its master, so the open finds nothing; a device gone between open and set-up fails
// the set-up. Either way the link reports the port as not openable, without a wait.
TEST_F(QtSerialPortTest, APortWhosePeerIsAlreadyGoneFailsToOpenOrConfigure) {
  Pty gone(dir, 3);
  ::close(gone.master);
  gone.master = -1;
  OpenError error = OpenError::None;
  EXPECT_EQ(opener->Open(3, error), nullptr);
  EXPECT_EQ(error, OpenError::NotFound);

  Pty going(dir, 4);
  auto port = opener->Open(4, error);
  ASSERT_NE(port, nullptr);
  ::close(going.master);
  going.master = -1;
  EXPECT_FALSE(port->Configure(57600));
  port->SetReadTimeout(5000);
  std::string got;
  long n = 0;
  const Cost cost = Measure([&] { n = ReadInto(*port, got, 16); });
  EXPECT_LT(n, 0);
  EXPECT_LT(cost.wallMs, 2500);
}

TEST_F(QtSerialPortTest, WorksFromAPlainWorkerThreadWithoutEventLoop) {
  Pty pty(dir, 7);
  std::string got;
  long n = -2;
  std::thread worker([&] {
    auto port = OpenConfigured(7);
    if (!port) return;
    const std::uint8_t msg[] = {0xE0, 1, 2, 3, 4};
    EXPECT_EQ(port->Write(msg, sizeof msg), 5);
    pty.Send("reply");
    port->SetReadTimeout(3'600'000);
    n = ReadInto(*port, got, 5);
    port->Close();
  });
  worker.join();
  EXPECT_EQ(pty.Receive(5), "\xE0\x01\x02\x03\x04");
  EXPECT_EQ(n, 5);
  EXPECT_EQ(got, "reply");
}

TEST_F(QtSerialPortTest, EnumerationListsTheLinkedPorts) {
  Pty com3(dir, 3);
  Pty com12(dir, 12);
  testing_support::RecordingView view;
  PortList list;
  EXPECT_TRUE(EnumerateComPorts(*opener, list, view));
  ASSERT_EQ(list.entries.size(), 2u);
  EXPECT_EQ(list.entries[0].number, 3);
  EXPECT_EQ(list.entries[0].path, (dir / "COM3").string());
  EXPECT_EQ(list.entries[1].number, 12);
  EXPECT_EQ(list.selected, 0);
  EXPECT_NE(OpenConfigured(12), nullptr);  // enumeration let go of every port
}

}  // namespace
}  // namespace device
