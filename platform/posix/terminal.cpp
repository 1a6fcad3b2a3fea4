#include "platform/terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace platform {

namespace {

int FileOf(StandardStream stream) {
  switch (stream) {
    case StandardStream::kInput:
      return STDIN_FILENO;
    case StandardStream::kOutput:
      return STDOUT_FILENO;
    case StandardStream::kError:
      break;
  }
  return STDERR_FILENO;
}

}  // namespace

bool IsTerminal(StandardStream stream) {
  return ::isatty(FileOf(stream)) != 0;
}

bool RedrawsLines(StandardStream stream) {
  const char* term = std::getenv("TERM");
  return IsTerminal(stream) && !(term != nullptr && std::string_view(term) == "dumb");
}

std::size_t TerminalColumns(StandardStream stream) {
  winsize size{};
  if (::ioctl(FileOf(stream), TIOCGWINSZ, &size) == 0) return size.ws_col;
  return 0;
}

InputWait ReadTypedByte(int file, std::chrono::milliseconds wait, char& byte, std::error_code& error) {
  error.clear();
  pollfd in{file, POLLIN, 0};
  const int ready = ::poll(&in, 1, static_cast<int>(wait.count()));
  if (ready < 0 && errno != EINTR) {
    error = {errno, std::system_category()};
    return InputWait::kFailed;
  }
  if (ready <= 0) return InputWait::kNothing;
  const ssize_t n = ::read(file, &byte, 1);
  if (n < 0 && errno == EINTR) return InputWait::kNothing;
  if (n < 0) error = {errno, std::system_category()};
  return n == 1 ? InputWait::kByte : InputWait::kEnd;
}

}  // namespace platform
