#include "device/wire_trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/device/step_fixture.h"

namespace device {
namespace {

TEST(WireTrace, LineShowsDeltaDirectionAndBytes) {
  const std::uint8_t bytes[] = {0xBF, 0x00, 0x0A};
  EXPECT_EQ(FormatTraceLine(12, "tx", bytes), "vor-trace +12ms tx 3: BF 00 0A");
  EXPECT_EQ(FormatTraceLine(0, "rx", {}), "vor-trace +0ms rx 0: -");
  EXPECT_EQ(FormatTraceLine(3, "rx", bytes, "COM12"), "vor-trace +3ms COM12 rx 3: BF 00 0A");
}

// Runs `work` with stderr sent to a file; returns what was written there.
template <typename F>
std::string CaptureStderr(F work) {
  char path[] = "/tmp/vor-trace-XXXXXX";
  const int fd = ::mkstemp(path);
  EXPECT_GE(fd, 0);
  std::fflush(stderr);
  const int saved = ::dup(2);
  ::dup2(fd, 2);
  work();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  ::close(fd);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(path);
  return text.str();
}

using WireTraceSteps = StepTest;

TEST_F(WireTraceSteps, TraceGoesToStderrOnlyWhenSwitchedOn) {
  // The environment plays no part once the link has its value.
  ::setenv("VORLOADER_TRACE", "1", 1);
  const std::string quiet = CaptureStderr([&] {
    OpenAt();
    IdentifyDevice(link, id, true);
  });
  EXPECT_EQ(quiet, "");

  ::unsetenv("VORLOADER_TRACE");
  link.m_trace = WireTrace::On;
  dev.script().identifyLen = 3;
  const std::string traced = CaptureStderr([&] { IdentifyDevice(link, id, false); });

  EXPECT_NE(traced.find("tx 5: BF 00 00 00 00\n"), std::string::npos) << traced;
  EXPECT_NE(traced.find("rx 3: 01 02 03\n"), std::string::npos) << traced;
  EXPECT_EQ(traced.rfind("vor-trace +", 0), 0u) << traced;
  // Every line names the link's port, so that several links at once can be told apart.
  EXPECT_NE(traced.find("ms COM3 tx 5: BF 00 00 00 00\n"), std::string::npos) << traced;
  EXPECT_TRUE(view.log.empty());
}

TEST(WireTraceSetting, ComesFromTheEnvironmentOnlyWhenAskedFor) {
  const struct {
    const char* value;
    WireTrace expected;
  } cases[] = {
      {nullptr, WireTrace::Off}, {"0", WireTrace::Off}, {"yes", WireTrace::Off}, {"1", WireTrace::On}};
  for (const auto& c : cases) {
    if (c.value != nullptr)
      ::setenv("VORLOADER_TRACE", c.value, 1);
    else
      ::unsetenv("VORLOADER_TRACE");
    EXPECT_EQ(WireTraceFromEnvironment(), c.expected) << (c.value != nullptr ? c.value : "(unset)");
  }
  ::unsetenv("VORLOADER_TRACE");
}

}  // namespace
}  // namespace device
