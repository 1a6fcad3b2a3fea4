#pragma once

#include "sim/sim_options.h"

namespace sim {

// Plays the device until SIGTERM, SIGINT or SIGHUP. 0 after a clean stop, 1 when the pty,
// the link or the transcript cannot be set up (the reason on stderr).
int RunDevice(const SimOptions& options);

}  // namespace sim
