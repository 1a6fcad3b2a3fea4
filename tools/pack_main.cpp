// vornet-pack: makes a release firmware file for one product and version.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tools/firmware_hex.h"
#include "tools/maker_crypto.h"

namespace {

constexpr const char* kHelp =
    "Usage: vornet-pack --code XXXX --version V -o FILE [options]\n"
    "Makes a firmware file: Intel HEX text with CR LF lines, 16-byte data records of filler\n"
    "data that carry the version tag VOR_T<code>_V<version> (zero-terminated, followed by\n"
    "further data), extended linear address records and the end-of-file record. By default\n"
    "the text is padded with zero bytes to whole 16-byte blocks and encrypted with\n"
    "AES-192-CBC under the firmware file key.\n"
    "\n"
    "  --code XXXX        product code, four hexadecimal digits (e.g. 0a1b)\n"
    "  --version V        firmware version, digits and dots (e.g. 1.80)\n"
    "  --size N           bytes of flash data in the image (default 4096)\n"
    "  --tag-offset N     offset of the version tag within the data (default 256, nearer\n"
    "                     the start in small images but at least 100: the loader does not\n"
    "                     see a tag within 100 bytes after a zero byte, and the extended\n"
    "                     address record brings one)\n"
    "  --plain            write the plain Intel HEX text, not encrypted\n"
    "  -o, --output FILE  the file to write\n"
    "  --help             this text\n"
    "Exit status: 0 written, 1 failed to build or write, 64 bad usage.\n";

bool ParseSize(const char* text, std::size_t& out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || text[0] == '-') return false;
  out = static_cast<std::size_t>(v);
  return true;
}

int Usage(const std::string& message) {
  std::fprintf(stderr, "vornet-pack: %s (see --help)\n", message.c_str());
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  maker::FirmwareRecipe recipe;
  std::string output;
  bool plain = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto needValue = [&]() -> bool {
      if (value == nullptr) return false;
      ++i;
      return true;
    };
    if (arg == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (arg == "--plain") {
      plain = true;
    } else if (arg == "--code") {
      if (!needValue()) return Usage("--code needs a value");
      recipe.code = value;
    } else if (arg == "--version") {
      if (!needValue()) return Usage("--version needs a value");
      recipe.version = value;
    } else if (arg == "--size") {
      if (!needValue() || !ParseSize(value, recipe.dataSize)) return Usage("--size needs a number");
    } else if (arg == "--tag-offset") {
      std::size_t offset = 0;
      if (!needValue() || !ParseSize(value, offset)) return Usage("--tag-offset needs a number");
      recipe.tagOffset = offset;
    } else if (arg == "-o" || arg == "--output") {
      if (!needValue()) return Usage("--output needs a file");
      output = value;
    } else {
      return Usage("unknown option " + arg);
    }
  }
  if (recipe.code.empty() || recipe.version.empty() || output.empty())
    return Usage("--code, --version and -o are required");

  std::string error;
  const std::string text = maker::BuildFirmwareHex(recipe, error);
  if (text.empty()) {
    std::fprintf(stderr, "vornet-pack: %s\n", error.c_str());
    return 1;
  }
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  if (!plain) {
    auto encrypted = maker::EncryptFirmware(maker::PadToCipherBlocks(text));
    if (!encrypted) {
      std::fprintf(stderr, "vornet-pack: encryption failed\n");
      return 1;
    }
    bytes = std::move(*encrypted);
  }
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "vornet-pack: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}
