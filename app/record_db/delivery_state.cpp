#include "app/record_db/delivery_state.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <vector>

#include "app/record/record_file.h"

namespace app {

namespace {

constexpr std::string_view kMagic = "vorloader-delivered 1";

std::string Sha256Hex(const std::string& bytes) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return hex;
}

bool ReadAt(int fd, std::uint64_t at, std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string DeliveryStatePath(const std::string& recordFile) {
  return recordFile + ".delivered";
}

std::optional<DeliveryState> LoadDeliveryState(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text(513, '\0');
  const ssize_t n = ::read(fd, text.data(), text.size());
  ::close(fd);
  if (n < 0) return std::nullopt;
  text.resize(static_cast<std::size_t>(n));
  // One line, ending with its line end: a state without it was cut off.
  if (text.size() > 512 || text.empty() || text.back() != '\n') return std::nullopt;
  text.pop_back();
  if (text.find('\n') != std::string::npos) return std::nullopt;
  std::istringstream fields(text);
  std::string magic1;
  std::string magic2;
  std::string end;
  DeliveryState state;
  fields >> magic1 >> magic2 >> state.device >> state.inode >> state.offset >> state.lastLineSha256;
  if (fields.fail() || magic1 + " " + magic2 != kMagic || (fields >> end)) return std::nullopt;
  const bool hex = state.lastLineSha256.size() == 64 &&
                   std::all_of(state.lastLineSha256.begin(), state.lastLineSha256.end(),
                               [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
  if (!hex && !(state.offset == 0 && state.lastLineSha256 == "-")) return std::nullopt;
  if (state.lastLineSha256 == "-") state.lastLineSha256.clear();
  return state;
}

std::string SaveDeliveryState(const std::string& path, const DeliveryState& state) {
  const std::string text = std::string(kMagic) + " " + std::to_string(state.device) + " " +
                           std::to_string(state.inode) + " " + std::to_string(state.offset) + " " +
                           (state.lastLineSha256.empty() ? "-" : state.lastLineSha256) + "\n";
  const std::string temp = path + ".tmp." + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return "cannot write " + temp + ": " + std::strerror(errno);
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool synced = ::fsync(fd) == 0;
  const int saved = errno;
  ::close(fd);
  if (!written || !synced || ::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(written && synced ? errno : saved);
    ::unlink(temp.c_str());
    return "cannot write " + path + ": " + reason;
  }
  // The rename itself reaches the disk with the folder.
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

std::string LastLineSum(int fd, std::uint64_t offset) {
  if (offset == 0) return {};
  const std::uint64_t span = std::min<std::uint64_t>(offset, kMaxRecordLine + 1);
  std::string bytes(static_cast<std::size_t>(span), '\0');
  if (!ReadAt(fd, offset - span, bytes)) return {};
  // The line end before the last line; the last byte is that line's own end.
  const std::size_t before = bytes.size() >= 2 ? bytes.rfind('\n', bytes.size() - 2) : std::string::npos;
  return Sha256Hex(before == std::string::npos ? bytes : bytes.substr(before + 1));
}

DeliveryState StateAt(int fd, const struct stat& info, std::uint64_t offset) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino), offset,
          LastLineSum(fd, offset)};
}

std::uint64_t ResumeOffset(const std::optional<DeliveryState>& state, int fd, const struct stat& info) {
  if (!state || state->offset == 0) return 0;
  if (state->device != static_cast<std::uint64_t>(info.st_dev) ||
      state->inode != static_cast<std::uint64_t>(info.st_ino))
    return 0;  // another file now has the record file's name
  if (state->offset > static_cast<std::uint64_t>(info.st_size)) return 0;  // it shrank
  // The prefix must end with a line end and with the same last line.
  std::string end(1, '\0');
  if (!ReadAt(fd, state->offset - 1, end) || end[0] != '\n') return 0;
  const std::string sum = LastLineSum(fd, state->offset);
  return !sum.empty() && sum == state->lastLineSha256 ? state->offset : 0;
}

}  // namespace app
