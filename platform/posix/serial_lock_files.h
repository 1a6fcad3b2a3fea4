#pragma once
// Serial lock files: the convention by which programs on Linux say who holds a port. A file
// named after the device in a lock directory holds the PID of the holder.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::posix {

// The process ID a serial lock file holds: ASCII decimal (blank-padded, up to a line end, as
// UUCP and Qt write it) or a 4-byte binary integer in the machine's order. nullopt for
// anything else.
std::optional<long> ParseLockFile(std::string_view bytes);

// The lock files that may guard the device at `path` (as given and as resolved), newest
// convention first, in `lockDirs`.
std::vector<std::string> LockFileCandidates(const std::string& path,
                                            const std::vector<std::string>& lockDirs);

}  // namespace platform::posix
