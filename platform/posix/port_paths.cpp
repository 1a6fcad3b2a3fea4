// Port numbers 1 to 32 and the device paths behind them. VORLOADER_COM_DIR names a folder of
// COMn links (one per port, each pointing at a tty or pty); without it a fixed mapping onto
// the usual Linux serial devices applies.

#include <cstdlib>
#include <string>

#include "common/port_entry.h"
#include "platform/serial_port.h"

namespace platform {
namespace {

struct PortRange {
  int first;  // first port number of the range
  int count;
  const char* stem;  // the device path without its index
};

constexpr PortRange kDefaultRanges[] = {
    {1, 8, "/dev/ttyS"},
    {9, 16, "/dev/ttyUSB"},
    {25, 8, "/dev/ttyACM"},
};

}  // namespace

std::string ComPortPath(int number) {
  if (number < 1 || number > 32) return {};
  if (const char* dir = std::getenv("VORLOADER_COM_DIR"); dir != nullptr && *dir != '\0') {
    std::string path(dir);
    if (path.back() != '/') path += '/';
    return path + ComName(number);
  }
  for (const PortRange& r : kDefaultRanges) {
    if (number >= r.first && number < r.first + r.count) return r.stem + std::to_string(number - r.first);
  }
  return {};
}

}  // namespace platform
