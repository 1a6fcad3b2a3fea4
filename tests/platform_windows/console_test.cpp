// The console on Windows: typed input read without waiting past the wait, the console's
// control events as stop signals, and the end of the process by the clock.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/stop_signals.h"
#include "platform/terminal.h"
#include "platform/windows/windows_api.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(WindowsTerminal, APipeGivesItsBytesThenNothingThenItsEnd) {
  int ends[2] = {-1, -1};
  ASSERT_EQ(::_pipe(ends, 64, _O_BINARY), 0);
  ASSERT_EQ(::_write(ends[1], "y", 1), 1);
  char byte = 0;
  std::error_code error;
  EXPECT_EQ(platform::ReadTypedByte(ends[0], 500ms, byte, error), platform::InputWait::kByte);
  EXPECT_EQ(byte, 'y');
  const auto start = Clock::now();
  EXPECT_EQ(platform::ReadTypedByte(ends[0], 100ms, byte, error), platform::InputWait::kNothing);
  EXPECT_GE(Clock::now() - start, 80ms);
  ::_close(ends[1]);
  EXPECT_EQ(platform::ReadTypedByte(ends[0], 500ms, byte, error), platform::InputWait::kEnd);
  EXPECT_FALSE(error);
  ::_close(ends[0]);
}

TEST(WindowsTerminal, NoFileCannotBeWaitedFor) {
  char byte = 0;
  std::error_code error;
  EXPECT_EQ(platform::ReadTypedByte(-1, 10ms, byte, error), platform::InputWait::kFailed);
  EXPECT_TRUE(error);
}

TEST(WindowsTerminal, AStreamThatIsNoConsoleHasNoWidthAndNoRedrawing) {
  for (platform::StandardStream stream :
       {platform::StandardStream::kOutput, platform::StandardStream::kError}) {
    if (platform::IsTerminal(stream)) continue;
    EXPECT_EQ(platform::TerminalColumns(stream), 0U);
    EXPECT_FALSE(platform::RedrawsLines(stream));
  }
}

std::atomic<int> g_lastSignal{0};

void RecordSignal(int number) {
  g_lastSignal.store(number);
}

int WaitForSignal() {
  const auto until = Clock::now() + 5s;
  while (g_lastSignal.load() == 0 && Clock::now() < until) std::this_thread::sleep_for(10ms);
  return g_lastSignal.exchange(0);
}

TEST(WindowsStopSignals, CtrlCAndCtrlBreakAreInterrupts) {
  // Under Wine only a program started at a terminal has a console to send Ctrl-C to.
  platform::InstallStopSignalHandler(RecordSignal);
  if (!::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) GTEST_SKIP() << "no console to send Ctrl-C to";
  EXPECT_EQ(WaitForSignal(), platform::kInterruptSignal);
  // Wine sends Ctrl-Break to a process group only, not to the whole console.
  if (::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)) {
    EXPECT_EQ(WaitForSignal(), platform::kInterruptSignal);
  }
}

TEST(WindowsStopSignals, OneCloseWatchAtATime) {
  {
    platform::CloseSignalWatch first([](int) {});
    EXPECT_TRUE(first.installed());
    platform::CloseSignalWatch second([](int) {});
    EXPECT_FALSE(second.installed());
  }
  platform::CloseSignalWatch again([](int) {});
  EXPECT_TRUE(again.installed());
}

// Run only as the child of the case below: it must be ended by the clock, with its status.
TEST(WindowsStopSignals, ChildEndedByTheClock) {
  if (std::getenv("VORLOADER_TEST_END_CHILD") == nullptr) GTEST_SKIP() << "runs as a child only";
  platform::EndProcessAfterFromHandler(60, 1);
  platform::EndProcessAfterFromHandler(1, 77);  // replaces the first
  std::this_thread::sleep_for(30s);
  ADD_FAILURE() << "still running";
}

TEST(WindowsStopSignals, TheProcessEndsWithTheStatusGiven) {
  wchar_t self[MAX_PATH] = {};
  ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0U);
  std::wstring command =
      L"\"" + std::wstring(self) + L"\" --gtest_filter=WindowsStopSignals.ChildEndedByTheClock";
  ASSERT_TRUE(::SetEnvironmentVariableW(L"VORLOADER_TEST_END_CHILD", L"1"));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &child);
  ::SetEnvironmentVariableW(L"VORLOADER_TEST_END_CHILD", nullptr);
  ASSERT_TRUE(started);
  const auto start = Clock::now();
  const DWORD waited = ::WaitForSingleObject(child.hProcess, 20000);
  DWORD status = 0;
  ::GetExitCodeProcess(child.hProcess, &status);
  if (waited != WAIT_OBJECT_0) ::TerminateProcess(child.hProcess, 1);
  ::CloseHandle(child.hThread);
  ::CloseHandle(child.hProcess);
  EXPECT_EQ(waited, WAIT_OBJECT_0);
  EXPECT_EQ(status, 77U);
  EXPECT_LT(Clock::now() - start, 15s);  // by the second call's second, not the first's minute
}

}  // namespace
