#pragma once
// Waiting for device nodes to appear, vanish or change in the folders that hold them, so that a
// station need not look at every port's path over and over while nothing happens.

#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

namespace platform {

class NodeWatch {
 public:
  // Watches the folders holding `paths` (each path's parent folder, once each) and, for a path
  // that is a link, the folder its target is in as it points now.
  explicit NodeWatch(const std::vector<std::string>& paths);
  ~NodeWatch();
  NodeWatch(const NodeWatch&) = delete;
  NodeWatch& operator=(const NodeWatch&) = delete;

  // False when the folders cannot be watched (no such folder, no watch left, or a system whose
  // ports have no nodes): the caller then looks at its paths on a timer instead.
  [[nodiscard]] bool watching() const { return m_fd >= 0; }

  // True as soon as something in a watched folder changed (an entry made, removed, renamed or
  // its attributes changed, or the folder itself removed); false when `atMost` passed or `stop`
  // was requested first. A stop is seen within 100 ms. Without a watch it waits out the time.
  bool WaitForChange(std::chrono::milliseconds atMost, const std::stop_token& stop);

 private:
  int m_fd = -1;
};

}  // namespace platform
