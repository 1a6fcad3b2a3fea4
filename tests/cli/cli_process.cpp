#include "tests/cli/cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace testing_support {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The argument and environment vectors, built before fork: the child only calls execve.
struct ExecArgs {
  std::vector<std::string> argStrings, envStrings;
  std::vector<char*> argv, envp;

  explicit ExecArgs(const CliRun& run) {
    argStrings = run.launcher;
    argStrings.push_back(CliPath());
    argStrings.insert(argStrings.end(), run.args.begin(), run.args.end());
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      bool replaced = name == "VORLOADER_TRACE";  // a trace would mix into standard error
      for (const auto& [key, value] : run.env) replaced = replaced || key == name;
      if (!replaced) envStrings.push_back(entry);
    }
    for (const auto& [key, value] : run.env) envStrings.push_back(key + "=" + value);
    for (auto& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
  }
};

int ExitStatus(int waitStatus) {
  return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}

// Reads what is there on `fd` into `into`; false at end of file (or EIO from a closed pty).
bool Drain(int fd, std::string& into) {
  char buf[4096];
  const ssize_t n = ::read(fd, buf, sizeof buf);
  if (n > 0) {
    into.append(buf, static_cast<std::size_t>(n));
    return true;
  }
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

// Waits for the child, killing it when the deadline has passed.
int Reap(pid_t pid, Clock::time_point deadline, bool& timedOut) {
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return ExitStatus(status);
    if (r < 0 && errno != EINTR) return -1;
    if (Clock::now() >= deadline) {
      timedOut = true;
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    ::poll(nullptr, 0, 10);
  }
}

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

CliResult RunWithPipes(const CliRun& run) {
  ExecArgs exec(run);
  CliResult result;
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) return result;
  const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(outPipe[1], STDOUT_FILENO);
    ::dup2(errPipe[1], STDERR_FILENO);
    ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    ::_exit(127);
  }
  ::close(devNull);
  ::close(outPipe[1]);
  ::close(errPipe[1]);

  const auto deadline = Clock::now() + std::chrono::milliseconds(run.timeoutMs);
  bool outOpen = true, errOpen = true;
  std::size_t nextInterrupt = 0, searchFrom = 0;
  std::size_t nextCue = 0, cueOutFrom = 0, cueErrFrom = 0;
  while ((outOpen || errOpen) && MsLeft(deadline) > 0) {
    pollfd fds[2] = {{outPipe[0], static_cast<short>(outOpen ? POLLIN : 0), 0},
                     {errPipe[0], static_cast<short>(errOpen ? POLLIN : 0), 0}};
    if (::poll(fds, 2, std::min(MsLeft(deadline), 100)) < 0 && errno != EINTR) break;
    if (outOpen && (fds[0].revents & (POLLIN | POLLHUP))) outOpen = Drain(outPipe[0], result.out);
    if (errOpen && (fds[1].revents & (POLLIN | POLLHUP))) errOpen = Drain(errPipe[0], result.err);
    while (nextInterrupt < run.interrupts.size()) {
      const std::size_t at = result.err.find(run.interrupts[nextInterrupt], searchFrom);
      if (at == std::string::npos || (run.interruptReady && !run.interruptReady())) break;
      ::kill(pid, run.interruptSignal);
      searchFrom = at + run.interrupts[nextInterrupt].size();
      ++nextInterrupt;
    }
    while (nextCue < run.cues.size()) {
      const Cue& cue = run.cues[nextCue];
      std::size_t& from = cue.onOut ? cueOutFrom : cueErrFrom;
      const std::size_t at = (cue.onOut ? result.out : result.err).find(cue.when, from);
      if (at == std::string::npos || (cue.ready && !cue.ready())) break;
      if (cue.act) cue.act();
      if (cue.signal != 0) ::kill(pid, cue.signal);
      for (int more : cue.moreSignals) ::kill(pid, more);
      from = at + cue.when.size();
      ++nextCue;
    }
  }
  ::close(outPipe[0]);
  ::close(errPipe[0]);
  result.status = Reap(pid, deadline, result.timedOut);
  return result;
}

CliResult RunOnTerminal(const CliRun& run) {
  ExecArgs exec(run);
  CliResult result;
  int master = -1;
  winsize size{};
  size.ws_row = static_cast<unsigned short>(kTerminalRows);
  size.ws_col = static_cast<unsigned short>(kTerminalColumns);
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) return result;
  if (pid == 0) {
    ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    ::_exit(127);
  }

  const auto deadline = Clock::now() + std::chrono::milliseconds(run.timeoutMs);
  std::size_t nextTyping = 0, searchFrom = 0;
  bool open = true;
  while (open && MsLeft(deadline) > 0) {
    pollfd fd{master, POLLIN, 0};
    if (::poll(&fd, 1, std::min(MsLeft(deadline), 100)) < 0 && errno != EINTR) break;
    if (fd.revents & (POLLIN | POLLHUP | POLLERR)) open = Drain(master, result.out);
    while (nextTyping < run.typing.size()) {
      const Typing& typing = run.typing[nextTyping];
      const std::size_t at = result.out.find(typing.when, searchFrom);
      if (at == std::string::npos || (typing.ready && !typing.ready())) break;
      if (::write(master, typing.keys.data(), typing.keys.size()) != static_cast<ssize_t>(typing.keys.size()))
        break;
      searchFrom = at + typing.when.size();
      ++nextTyping;
    }
  }
  ::close(master);
  result.status = Reap(pid, deadline, result.timedOut);
  return result;
}

}  // namespace

std::vector<std::string> CliResult::OutLines() const {
  return SplitLines(out);
}
std::vector<std::string> CliResult::ErrLines() const {
  return SplitLines(err);
}

const char* CliPath() {
  return VORLOADER_CLI_PATH;
}

std::vector<std::string> FinalScreen(const std::string& bytes) {
  const auto rows = static_cast<std::size_t>(kTerminalRows);
  const auto columns = static_cast<std::size_t>(kTerminalColumns);
  std::vector<std::string> screen(rows, std::string(columns, ' '));
  std::vector<bool> wrapped(rows, false);  // the row's text goes on in the next
  std::size_t row = 0, col = 0;
  const auto lineFeed = [&] {
    if (row + 1 < rows) {
      ++row;
      return;
    }
    screen.erase(screen.begin());
    wrapped.erase(wrapped.begin());
    screen.emplace_back(columns, ' ');
    wrapped.push_back(false);
  };
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\n') {
      lineFeed();
    } else if (c == '\r') {
      col = 0;
    } else if (c == '\b') {
      col = col > 0 ? col - 1 : 0;
    } else if (c == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      std::size_t j = i + 2;
      std::size_t n = 0;
      bool given = false;
      for (; j < bytes.size() && (std::isdigit(static_cast<unsigned char>(bytes[j])) != 0 || bytes[j] == ';');
           ++j)
        if (bytes[j] != ';' && n < 1000) {
          n = n * 10 + static_cast<std::size_t>(bytes[j] - '0');
          given = true;
        }
      if (j >= bytes.size()) break;
      const char command = bytes[j];
      if (command == 'A') row -= std::min(row, given ? n : 1);
      if (command == 'K' || command == 'J') {
        std::fill(screen[row].begin() + static_cast<std::ptrdiff_t>(std::min(col, columns)),
                  screen[row].end(), ' ');
        wrapped[row] = false;
      }
      if (command == 'J')
        for (std::size_t r = row + 1; r < rows; ++r) {
          screen[r].assign(columns, ' ');
          wrapped[r] = false;
        }
      i = j;
    } else if (static_cast<unsigned char>(c) >= 0x20) {
      if (col >= columns) {
        wrapped[row] = true;
        lineFeed();
        col = 0;
      }
      screen[row][col++] = c;
    }
  }
  std::vector<std::string> shown;
  std::string pending;
  for (std::size_t r = 0; r < rows; ++r) {
    if (wrapped[r]) {
      pending += screen[r];
      continue;
    }
    std::string text = pending + screen[r];
    pending.clear();
    text.erase(text.find_last_not_of(' ') + 1);
    shown.push_back(text);
  }
  return shown;
}

CliResult RunCli(const CliRun& run) {
  return run.onTerminal ? RunOnTerminal(run) : RunWithPipes(run);
}

}  // namespace testing_support
