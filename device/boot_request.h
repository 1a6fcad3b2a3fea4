#pragma once
// Sending the device into its bootloader, and sending it back to sleep.

#include <string>

#include "common/load_result.h"
#include "device/link.h"

namespace device {

// RESULT_OK when the bootloader of `productCode` answered and now waits for the erase command.
// A stop that comes while the banner is awaited ends the wait early: whatever did arrive says
// nothing then, so the bootloader is declined and the result is RESULT_STOPPED.
LoadResult RequestBoot(Link& link, const Identity& id, const std::string& productCode);

// Tells a bootloader that waits for the erase command to go back to sleep: its firmware runs
// on, untouched. What the loader writes when it will not program a device it has booted.
void DeclineBoot(Link& link);

}  // namespace device
