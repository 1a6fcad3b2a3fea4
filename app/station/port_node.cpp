#include "app/station/port_node.h"

#include <filesystem>
#include <system_error>

namespace app {

PortNode NodeAt(const std::string& path) {
  PortNode node;
  std::error_code ec;
  node.present = std::filesystem::exists(path, ec);
  if (node.present && std::filesystem::is_symlink(path, ec)) {
    const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
    if (!ec) node.target = target.string();
  }
  return node;
}

}  // namespace app
