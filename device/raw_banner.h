#pragma once
// The bootloader's banner, sent by itself at power-on (raw boot).

#include <string>

#include "common/load_result.h"
#include "common/loader_view.h"
#include "device/link.h"

namespace device {

inline constexpr int kRawBootRate = 57600;

// Waits up to `timeoutMs` for the banner, counting down through the view once a second.
// RESULT_NO_SINGLE_DEVICE when it is missing or short, RESULT_FOREIGN_DEVICE when it is not a
// VORnet bootloader's, RESULT_STOPPED on a stop request; on RESULT_OK `deviceTag` is the tag
// of the product code it names.
LoadResult WaitForRawBanner(Link& link, int timeoutMs, LoaderView& view, std::string& deviceTag);

}  // namespace device
