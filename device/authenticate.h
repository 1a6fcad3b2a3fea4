#pragma once
// The authentication exchange: a time-stamp challenge, encrypted, packed into one frame.

#include <cstddef>

#include "common/load_result.h"
#include "device/link.h"
#include "image/auth_challenge.h"

namespace device {

// Makes a fresh challenge from `now` into id.m_authBlock (encrypted in place) and writes the
// 30-byte authentication frame into m_txBuf; returns its length.
std::size_t BuildAuthFrame(Link& link, Identity& id, const image::UtcTime& now);

// The authentication exchange with the clock read now.
LoadResult AuthenticateDevice(Link& link, Identity& id);

// AuthenticateDevice with the clock given instead of read.
LoadResult AuthenticateDevice(Link& link, Identity& id, const image::UtcTime& now);

}  // namespace device
