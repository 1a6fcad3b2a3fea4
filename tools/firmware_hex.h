#pragma once
// The maker's release image: Intel HEX text (CR LF lines, 16-byte data records, extended
// linear address records, end-of-file record) of filler data that carries the version tag
// "VOR_T" + product code + "_V" + version as a zero-terminated text inside the data.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace maker {

struct FirmwareRecipe {
  std::string code;             // four hexadecimal digits, as the device reports them
  std::string version;          // e.g. "1.80"
  std::size_t dataSize = 4096;  // bytes of flash data in the image
  // Where the version tag starts within the data; unset: 256, or as far in as a small image
  // allows but never before byte 100, where the loader's tag search could not see it.
  std::optional<std::size_t> tagOffset;
  std::uint32_t baseAddress = 0x08000000;
};

// One Intel HEX record line: ':' count address type data checksum in upper-case hexadecimal
// digits, then CR LF. The count is the data's length taken modulo 256.
std::string HexRecord(std::uint8_t type, std::uint16_t address, std::span<const std::uint8_t> data);

// `data` placed from `baseAddress` as data records of `perRecord` bytes (at most 255, and a
// divisor of 64 KiB so that no record crosses a 64 KiB boundary), then the end-of-file record.
// An extended linear address record comes first when the base lies above the first 64 KiB (a
// reader starts at zero) and before every further 64 KiB.
std::string HexText(std::span<const std::uint8_t> data, std::uint32_t baseAddress,
                    std::size_t perRecord = 16);

// "VOR_T" + code + "_V" + version.
std::string VersionTag(const std::string& code, const std::string& version);

// Empty text and a reason in `error` when the recipe cannot be built (bad code or version, tag
// not fitting with the 16 bytes that must follow it).
std::string BuildFirmwareHex(const FirmwareRecipe& recipe, std::string& error);

// The text padded with zero bytes to a whole number of 16-byte cipher blocks.
std::vector<std::uint8_t> PadToCipherBlocks(const std::string& text);

}  // namespace maker
