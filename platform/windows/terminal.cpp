// The console on Windows. The loader writes UTF-8: the console's output code page is set to
// UTF-8 on first use (and given back when the program ends), and the console is asked for the
// virtual-terminal sequences that erase and redraw a line; a console that has none gets no
// redrawn lines, only carriage returns.

#include "platform/terminal.h"

#include <io.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "platform/windows/windows_api.h"

namespace platform {

namespace {

DWORD StdHandleOf(StandardStream stream) {
  switch (stream) {
    case StandardStream::kInput:
      return STD_INPUT_HANDLE;
    case StandardStream::kOutput:
      return STD_OUTPUT_HANDLE;
    case StandardStream::kError:
      break;
  }
  return STD_ERROR_HANDLE;
}

HANDLE HandleOf(StandardStream stream) {
  return ::GetStdHandle(StdHandleOf(stream));
}

bool IsConsole(HANDLE h) {
  DWORD mode = 0;
  return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode) != FALSE;
}

// What the program found the console as, and whether each output stream takes the sequences.
struct ConsoleSetup {
  UINT outputCodePage = 0;  // 0: nothing to give back
  std::array<bool, 3> sequences{};
};

ConsoleSetup g_setup;
std::once_flag g_prepared;

void GiveBackCodePage() {
  if (g_setup.outputCodePage != 0) ::SetConsoleOutputCP(g_setup.outputCodePage);
}

void PrepareConsole() {
  std::call_once(g_prepared, [] {
    const bool anyConsole =
        IsConsole(HandleOf(StandardStream::kOutput)) || IsConsole(HandleOf(StandardStream::kError));
    if (anyConsole) {
      const UINT before = ::GetConsoleOutputCP();
      if (before != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
        // The console outlives the program: the window it ran in keeps its own code page.
        g_setup.outputCodePage = before;
        std::atexit(GiveBackCodePage);
      }
    }
    for (StandardStream stream : {StandardStream::kOutput, StandardStream::kError}) {
      const HANDLE h = HandleOf(stream);
      DWORD mode = 0;
      if (h == nullptr || h == INVALID_HANDLE_VALUE || !::GetConsoleMode(h, &mode)) continue;
      const bool has = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
                       ::SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
      g_setup.sequences[static_cast<std::size_t>(stream)] = has;
    }
  });
}

// What a console's line input already read and not yet handed out: a console gives a typed
// line only whole, and its waiting state does not tell of what is left of it.
struct LineBuffer {
  std::mutex guard;
  std::array<char, 512> bytes{};  // guarded by `guard`
  std::size_t next = 0;           // guarded by `guard`
  std::size_t end = 0;            // guarded by `guard`
};

LineBuffer g_line;

bool TakeBuffered(char& byte) {
  const std::lock_guard<std::mutex> lock(g_line.guard);
  if (g_line.next >= g_line.end) return false;
  byte = g_line.bytes[g_line.next++];
  return true;
}

std::error_code LastError() {
  return {static_cast<int>(::GetLastError()), std::system_category()};
}

// True when a key that types something is waiting; other input (mouse, focus, key releases)
// is taken away, since it would keep the console signalled.
bool KeyWaiting(HANDLE in, std::error_code& error) {
  for (;;) {
    INPUT_RECORD record{};
    DWORD count = 0;
    if (!::PeekConsoleInputW(in, &record, 1, &count)) {
      error = LastError();
      return false;
    }
    if (count == 0) return false;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
        record.Event.KeyEvent.uChar.UnicodeChar != 0)
      return true;
    if (!::ReadConsoleInputW(in, &record, 1, &count)) {
      error = LastError();
      return false;
    }
  }
}

InputWait ReadConsoleByte(HANDLE in, std::chrono::milliseconds wait, char& byte, std::error_code& error) {
  if (TakeBuffered(byte)) return InputWait::kByte;
  const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(std::max<long long>(wait.count(), 0));
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    const DWORD left = now >= until ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(until - now, MAXDWORD - 1));
    const DWORD r = ::WaitForSingleObject(in, left);
    if (r == WAIT_FAILED) {
      error = LastError();
      return InputWait::kFailed;
    }
    if (r == WAIT_TIMEOUT) return InputWait::kNothing;
    if (KeyWaiting(in, error)) break;
    if (error) return InputWait::kFailed;
    if (left == 0) return InputWait::kNothing;
  }
  // The user is typing: the console hands over the line once it is ended with Enter. Ctrl-C
  // ends the read early with nothing.
  const std::lock_guard<std::mutex> lock(g_line.guard);
  DWORD got = 0;
  if (!::ReadFile(in, g_line.bytes.data(), static_cast<DWORD>(g_line.bytes.size()), &got, nullptr)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_OPERATION_ABORTED) return InputWait::kNothing;
    error = {static_cast<int>(code), std::system_category()};
    return InputWait::kEnd;
  }
  if (got == 0) return InputWait::kNothing;  // Ctrl-C, or Ctrl-Z alone
  g_line.next = 1;
  g_line.end = got;
  byte = g_line.bytes[0];
  return InputWait::kByte;
}

InputWait ReadPipeByte(HANDLE in, std::chrono::milliseconds wait, char& byte, std::error_code& error) {
  // A pipe cannot be waited on for data: it is looked at in short steps.
  constexpr DWORD kStepMs = 10;
  const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(std::max<long long>(wait.count(), 0));
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) {
      // The writer went: the input has ended.
      const DWORD code = ::GetLastError();
      if (code == ERROR_BROKEN_PIPE) return InputWait::kEnd;
      error = {static_cast<int>(code), std::system_category()};
      return InputWait::kFailed;
    }
    if (available > 0) break;
    if (::GetTickCount64() >= until) return InputWait::kNothing;
    ::Sleep(kStepMs);
  }
  DWORD got = 0;
  if (!::ReadFile(in, &byte, 1, &got, nullptr)) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_BROKEN_PIPE) error = {static_cast<int>(code), std::system_category()};
    return InputWait::kEnd;
  }
  return got == 1 ? InputWait::kByte : InputWait::kEnd;
}

}  // namespace

bool IsTerminal(StandardStream stream) {
  PrepareConsole();
  return IsConsole(HandleOf(stream));
}

bool RedrawsLines(StandardStream stream) {
  PrepareConsole();
  if (stream == StandardStream::kInput || !IsConsole(HandleOf(stream))) return false;
  const char* term = std::getenv("TERM");
  if (term != nullptr && std::string_view(term) == "dumb") return false;
  return g_setup.sequences[static_cast<std::size_t>(stream)];
}

std::size_t TerminalColumns(StandardStream stream) {
  PrepareConsole();
  CONSOLE_SCREEN_BUFFER_INFO info{};
  const HANDLE h = HandleOf(stream == StandardStream::kInput ? StandardStream::kOutput : stream);
  if (h == nullptr || h == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(h, &info)) return 0;
  // The visible window, not the buffer, which may be far wider.
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? static_cast<std::size_t>(columns) : 0;
}

InputWait ReadTypedByte(int file, std::chrono::milliseconds wait, char& byte, std::error_code& error) {
  error.clear();
  const auto native = ::_get_osfhandle(file);
  const auto in = reinterpret_cast<HANDLE>(native);  // NOLINT(performance-no-int-to-ptr)
  if (native == -1 || in == nullptr) {
    error = std::make_error_code(std::errc::bad_file_descriptor);
    return InputWait::kFailed;
  }
  if (IsConsole(in)) return ReadConsoleByte(in, wait, byte, error);
  if (::GetFileType(in) == FILE_TYPE_PIPE) return ReadPipeByte(in, wait, byte, error);
  // A file never makes a reader wait.
  DWORD got = 0;
  if (!::ReadFile(in, &byte, 1, &got, nullptr)) {
    error = LastError();
    return InputWait::kEnd;
  }
  return got == 1 ? InputWait::kByte : InputWait::kEnd;
}

}  // namespace platform
