#pragma once
// What a port's device path names right now. A device pulled out takes its adapter's node with
// it, and the one plugged in next brings a new node (or a link to another one): a station sees
// either between two polls by looking at the path alone, which costs nothing worth counting.

#include <string>

namespace app {

struct PortNode {
  bool present = false;
  std::string target;  // where the path leads when it is a link; else empty

  bool operator==(const PortNode&) const = default;
};

PortNode NodeAt(const std::string& path);

}  // namespace app
