// Names from the catalogue are appended to the firmware folder path, so a name that could
// climb out of the folder, name a device or drive, or hide control bytes is never used.

#include "catalogue/catalogue.h"

namespace catalogue {

bool IsSafeFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return false;
    if (c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

}  // namespace catalogue
