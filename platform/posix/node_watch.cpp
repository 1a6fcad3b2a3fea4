#include "platform/node_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <set>

namespace platform {

namespace {

constexpr int kSliceMs = 100;  // how soon a stop request is seen
constexpr std::uint32_t kNodeEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

// Reads every event waiting on the non-blocking descriptor: one wake-up for a burst of them.
void Drain(int fd) {
  alignas(inotify_event) std::array<char, 4096> buffer{};
  while (::read(fd, buffer.data(), buffer.size()) > 0) {
  }
}

}  // namespace

NodeWatch::NodeWatch(const std::vector<std::string>& paths) {
  std::set<std::string> folders;
  for (const std::string& path : paths) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    folders.insert(folder.string());
    // A link's node comes and goes in its target's folder (an adapter's device node), which
    // the link's own folder never hears of.
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
    if (ec) continue;
    std::filesystem::path targetFolder = (folder / target).parent_path();
    if (!targetFolder.empty()) folders.insert(targetFolder.lexically_normal().string());
  }
  if (folders.empty()) return;
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return;
  for (const std::string& folder : folders)
    if (::inotify_add_watch(fd, folder.c_str(), kNodeEvents) < 0) {
      ::close(fd);
      return;
    }
  m_fd = fd;
}

NodeWatch::~NodeWatch() {
  if (m_fd >= 0) ::close(m_fd);
}

bool NodeWatch::WaitForChange(std::chrono::milliseconds atMost, const std::stop_token& stop) {
  const auto deadline = std::chrono::steady_clock::now() + atMost;
  while (!stop.stop_requested()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) return false;
    const int slice = static_cast<int>(std::min<long long>(left, kSliceMs));
    if (m_fd < 0) {
      pollfd none{};
      ::poll(&none, 0, slice);
      continue;
    }
    pollfd fd{m_fd, POLLIN, 0};
    const int n = ::poll(&fd, 1, slice);
    if (n > 0) {
      Drain(m_fd);
      return true;
    }
  }
  return false;
}

}  // namespace platform
