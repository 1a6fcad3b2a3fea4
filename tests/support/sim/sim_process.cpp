#include "tests/support/sim/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "common/port_entry.h"
#include "sim/crc32.h"

extern char** environ;

namespace testing_support {
namespace {

constexpr int kReadyTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;

std::string JoinRates(const std::vector<int>& rates) {
  std::string s;
  for (std::size_t i = 0; i < rates.size(); ++i) s += (i ? "," : "") + std::to_string(rates[i]);
  return s;
}

// Spawns `argv` with its stdout on a pipe when `stdoutFd` is given; -1 on failure.
pid_t Spawn(const std::vector<std::string>& args, int* stdoutFd) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int fds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdoutFd != nullptr) {
    if (pipe2(fds, O_CLOEXEC) != 0) {
      posix_spawn_file_actions_destroy(&actions);
      return -1;
    }
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  }
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (stdoutFd != nullptr) {
    close(fds[1]);
    if (rc != 0) {
      close(fds[0]);
    } else {
      *stdoutFd = fds[0];
    }
  }
  return rc == 0 ? pid : -1;
}

// Reads one line from `fd` within `timeoutMs`; false on time-out or end of file.
bool ReadLine(int fd, int timeoutMs, std::string& line) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  line.clear();
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char c = 0;
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\n') return true;
    line += c;
  }
}

// Waits for `pid` up to `timeoutMs`; the exit status, or -1.
int WaitExit(pid_t pid, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

const char* SimPath() {
  return VORNET_SIM_PATH;
}
const char* PackPath() {
  return VORNET_PACK_PATH;
}

SimProcess::SimProcess(const std::string& comDir, const SimConfig& config) {
  m_comPath = comDir + "/" + ComName(config.port);
  m_transcript = config.transcript.empty() ? m_comPath + ".transcript.jsonl" : config.transcript;
  std::vector<std::string> args = {SimPath(),
                                   "--com-dir",
                                   comDir,
                                   "--port",
                                   std::to_string(config.port),
                                   "--rates",
                                   JoinRates(config.rates),
                                   "--id",
                                   config.id,
                                   "--label",
                                   config.label,
                                   "--code",
                                   config.code,
                                   "--transcript",
                                   m_transcript};
  args.insert(args.end(), config.extraArgs.begin(), config.extraArgs.end());
  m_pid = Spawn(args, &m_stdout);
  if (m_pid < 0) {
    m_error = "cannot start " + std::string(SimPath());
    return;
  }
  if (!ReadLine(m_stdout, kReadyTimeoutMs, m_ptyPath) || m_ptyPath.empty()) {
    m_error = "vornet-sim did not report its pty (bad options? see its stderr)";
    Stop();
    return;
  }
  m_ready = true;
}

SimProcess::~SimProcess() {
  Stop();
}

int SimProcess::Stop() {
  int status = -1;
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    status = WaitExit(m_pid, kStopTimeoutMs);
    if (status == -2) {
      kill(m_pid, SIGKILL);
      WaitExit(m_pid, kStopTimeoutMs);
      status = -1;
    }
    m_pid = -1;
  }
  if (m_stdout >= 0) {
    close(m_stdout);
    m_stdout = -1;
  }
  return status;
}

std::vector<std::string> SimProcess::TranscriptLines() const {
  std::vector<std::string> lines;
  std::ifstream in(m_transcript);
  std::string line;
  // A line still being written has no line end yet: getline hands it over only when the
  // writer has flushed it whole, as the simulator flushes every line with its end.
  while (std::getline(in, line)) {
    if (!in.eof()) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> SimProcess::Lines(const std::string& kind) const {
  std::vector<std::string> out;
  for (auto& l : TranscriptLines())
    if (JsonField(l, "kind") == kind) out.push_back(l);
  return out;
}

bool SimProcess::WaitFor(const std::string& kind, int timeoutMs) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (Contains(kind)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool PackFirmware(const std::string& out, const std::string& code, const std::string& version, bool encrypted,
                  std::size_t size) {
  std::vector<std::string> args = {PackPath(),           "--code", code, "--version", version, "--size",
                                   std::to_string(size), "-o",     out};
  if (!encrypted) args.push_back("--plain");
  pid_t pid = Spawn(args, nullptr);
  if (pid < 0) return false;
  return WaitExit(pid, 60000) == 0;
}

std::string JsonField(const std::string& line, const std::string& key) {
  const std::string needle = "\"" + key + "\":";
  std::size_t pos = line.find(needle);
  if (pos == std::string::npos) return {};
  pos += needle.size();
  if (pos < line.size() && line[pos] == '"') {
    std::string value;
    for (std::size_t i = pos + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        value += line[++i];
      } else if (line[i] == '"') {
        return value;
      } else {
        value += line[i];
      }
    }
    return {};
  }
  std::size_t end = line.find_first_of(",}", pos);
  return line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

std::uint32_t Crc32(const std::vector<std::uint8_t>& bytes) {
  return sim::Crc32(bytes);
}

}  // namespace testing_support
