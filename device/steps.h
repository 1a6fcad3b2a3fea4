#pragma once
// The device steps in one include, for callers that run workflows: port discovery,
// identification, authentication and programming. Each step returns a LoadResult
// (RESULT_STOPPED when the link's stop request ended it) and reports only through the
// LoaderView it is given. Files inside device/ include the step headers they use instead.

#include "device/authenticate.h"
#include "device/boot_request.h"
#include "device/exchange.h"
#include "device/find_device.h"
#include "device/identify.h"
#include "device/link.h"
#include "device/port_discovery.h"
#include "device/program.h"
#include "device/raw_banner.h"
#include "device/version.h"
