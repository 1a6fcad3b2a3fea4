#pragma once
// What the system says of the machine the loader runs on.

#include <string>

namespace platform {

// The machine's network host name; "unknown" when the system cannot tell.
std::string HostName();

}  // namespace platform
