// The serial transport over the Win32 communications calls. The cases that need a line run
// when VORLOADER_TEST_COM_PORT names a port whose far end sends every byte back and hangs up
// on 0xFF (run-under-wine.sh sets one up: echo_peer.py behind a Wine COM port).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/port_checks.h"
#include "platform/serial_port.h"
#include "platform/windows/port_identity.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A port no test machine has.
constexpr int kAbsentPort = 29;

long Elapsed(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST(WindowsComPorts, PathsAreTheSystemsDeviceNames) {
  EXPECT_EQ(platform::ComPortPath(1), "\\\\.\\COM1");
  EXPECT_EQ(platform::ComPortPath(32), "\\\\.\\COM32");
  EXPECT_EQ(platform::ComPortPath(0), "");
  EXPECT_EQ(platform::ComPortPath(33), "");
}

TEST(WindowsComPorts, APortThatIsNotThereIsNotFound) {
  const auto opener = platform::MakeSystemPortOpener();
  for (int number : {0, 33, kAbsentPort}) {
    platform::OpenError error = platform::OpenError::None;
    EXPECT_EQ(opener->Open(number, error), nullptr) << number;
    EXPECT_EQ(error, platform::OpenError::NotFound) << number;
  }
  EXPECT_FALSE(platform::ProbePort(platform::ComPortPath(kAbsentPort)).present);
  EXPECT_FALSE(platform::ProbePort("").present);
  EXPECT_FALSE(
      platform::SameCharDevice(platform::ComPortPath(kAbsentPort), platform::ComPortPath(kAbsentPort)));
}

TEST(WindowsComPorts, UsbIdentityFromDeviceIds) {
  struct Case {
    const char* id;
    int vendor;
    int product;
    const char* serial;
  };
  const Case cases[] = {
      {"USB\\VID_0403&PID_6001\\A1B2C3D4", 0x0403, 0x6001, "A1B2C3D4"},
      {"USB\\VID_2341&PID_0043\\5&2F3A1B&0&2", 0x2341, 0x0043, ""},  // made up by Windows
      {"FTDIBUS\\VID_0403+PID_6015+DN05ABCDA\\0000", 0x0403, 0x6015, "DN05ABCDA"},
      {"usb\\vid_10c4&pid_ea60&rev_0100", 0x10c4, 0xea60, ""},
      {"ACPI\\PNP0501\\1", 0, 0, "1"},
      {"USB\\VID_12&PID_XYZW\\1", 0, 0, "1"},
  };
  for (const Case& c : cases) {
    const platform::win::UsbIds ids = platform::win::ParseUsbIds(c.id);
    EXPECT_EQ(ids.vendorId, c.vendor) << c.id;
    EXPECT_EQ(ids.productId, c.product) << c.id;
    EXPECT_EQ(platform::win::UsbSerialFromInstanceId(c.id), c.serial) << c.id;
  }
}

class WindowsComLine : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* named = std::getenv("VORLOADER_TEST_COM_PORT");
    if (named == nullptr || *named == '\0') GTEST_SKIP() << "no looped-back port (VORLOADER_TEST_COM_PORT)";
    m_number = std::atoi(named);
    m_port = OpenWithin(5s);
    ASSERT_NE(m_port, nullptr) << "COM" << m_number << " does not open";
    ASSERT_TRUE(m_port->Configure(57600));
    m_port->DiscardInput();
  }

  std::unique_ptr<platform::SerialPort> OpenWithin(std::chrono::milliseconds wait) {
    const auto until = Clock::now() + wait;
    for (;;) {
      platform::OpenError error = platform::OpenError::None;
      if (auto port = m_opener->Open(m_number, error)) return port;
      if (Clock::now() >= until) return nullptr;
      std::this_thread::sleep_for(100ms);
    }
  }

  long Send(const std::string& text) {
    return m_port->Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }

  std::string Receive(std::size_t n, int timeoutMs, const std::stop_token& stop = {}) {
    std::string out(n, '\0');
    m_port->SetReadTimeout(timeoutMs);
    const long got = m_port->Read(reinterpret_cast<std::uint8_t*>(out.data()), n, stop);
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
  }

  std::unique_ptr<platform::PortOpener> m_opener = platform::MakeSystemPortOpener();
  std::unique_ptr<platform::SerialPort> m_port;
  int m_number = 0;
};

TEST_F(WindowsComLine, BytesGoOutAndComeBack) {
  ASSERT_EQ(Send("hello"), 5);
  EXPECT_EQ(Receive(5, 2000), "hello");
  EXPECT_TRUE(m_port->Drain({}));
  EXPECT_GE(m_port->OutputQueued(), 0);
}

TEST_F(WindowsComLine, ReadsAtEveryRateOfTheDevice) {
  for (int rate : {115200, 38400, 57600}) {
    ASSERT_TRUE(m_port->Configure(rate)) << rate;
    ASSERT_EQ(Send("rate"), 4);
    EXPECT_EQ(Receive(4, 2000), "rate") << rate;
  }
}

TEST_F(WindowsComLine, AShortReadGivesWhatCameByTheTimeOut) {
  ASSERT_EQ(Send("abc"), 3);
  const auto start = Clock::now();
  EXPECT_EQ(Receive(5, 300), "abc");
  EXPECT_GE(Elapsed(start), 250);
}

TEST_F(WindowsComLine, DiscardDropsWhatCameBefore) {
  ASSERT_EQ(Send("stale"), 5);
  std::this_thread::sleep_for(300ms);
  m_port->DiscardInput();
  EXPECT_EQ(Receive(5, 200), "");
}

TEST_F(WindowsComLine, ASilentLineTimesOutAndATimeOutOfZeroDoesNotWait) {
  auto start = Clock::now();
  EXPECT_EQ(Receive(4, 200), "");
  EXPECT_GE(Elapsed(start), 150);
  start = Clock::now();
  EXPECT_EQ(Receive(4, 0), "");
  EXPECT_LT(Elapsed(start), 1000);
}

TEST_F(WindowsComLine, AStopEndsALongWait) {
  std::stop_source stop;
  std::thread stopper([&stop] {
    std::this_thread::sleep_for(200ms);
    stop.request_stop();
  });
  const auto start = Clock::now();
  EXPECT_EQ(Receive(4, 20000, stop.get_token()), "");
  stopper.join();
  EXPECT_LT(Elapsed(start), 5000);  // far less than the read's own time-out
}

TEST_F(WindowsComLine, AHangUpEndsTheReadAndEveryLaterCall) {
  ASSERT_EQ(Send(std::string("ab") + '\xff'), 3);
  const auto start = Clock::now();
  std::string out(5, '\0');
  m_port->SetReadTimeout(20000);
  long got = m_port->Read(reinterpret_cast<std::uint8_t*>(out.data()), out.size(), {});
  EXPECT_LT(Elapsed(start), 10000);
  // The bytes before the hang-up, as a short count; or the failure, when they came with it.
  if (got > 0) {
    EXPECT_EQ(out.substr(0, static_cast<std::size_t>(got)), "ab");
    got = m_port->Read(reinterpret_cast<std::uint8_t*>(out.data()), out.size(), {});
  }
  EXPECT_LT(got, 0);
  const auto after = Clock::now();
  EXPECT_LT(m_port->Read(reinterpret_cast<std::uint8_t*>(out.data()), out.size(), {}), 0);
  EXPECT_LT(Send("x"), 0);
  EXPECT_FALSE(m_port->Configure(57600));
  EXPECT_LT(m_port->OutputQueued(), 0);
  EXPECT_FALSE(m_port->Drain({}));
  EXPECT_LT(Elapsed(after), 1000);  // at once, not after a time-out
  m_port->Close();
  // The far end comes back as a new line, for the cases after this one.
  EXPECT_NE(OpenWithin(10s), nullptr);
}

TEST_F(WindowsComLine, WhatWindowsKnowsOfThePort) {
  const PortEntry entry = m_opener->Describe(m_number);
  EXPECT_EQ(entry.number, m_number);
  EXPECT_EQ(entry.path, platform::ComPortPath(m_number));
  const platform::PortFacts facts = platform::ProbePort(entry.path);
  EXPECT_TRUE(facts.present);
  EXPECT_TRUE(facts.charDevice);
  EXPECT_TRUE(platform::SameCharDevice(entry.path, entry.path));
}

}  // namespace
