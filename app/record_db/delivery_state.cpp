#include "app/record_db/delivery_state.h"

#include <algorithm>
#include <sstream>
#include <string_view>
#include <system_error>

#include "app/record/record_file.h"
#include "image/sha256.h"

namespace app {

namespace {

constexpr std::string_view kMagic = "vorloader-delivered 1";

}  // namespace

std::string DeliveryStatePath(const std::string& recordFile) {
  return recordFile + ".delivered";
}

std::optional<DeliveryState> LoadDeliveryState(const std::string& path) {
  std::error_code error;
  const platform::File file = platform::OpenForReading(path, error);
  if (!file.isOpen()) return std::nullopt;
  std::string text(513, '\0');
  const std::int64_t n = platform::ReadSomeAt(file, 0, text.data(), text.size(), error);
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
  if (const std::error_code error = platform::ReplaceFile(path, text))
    return "cannot write " + path + ": " + error.message();
  return {};
}

std::string LastLineSum(const platform::File& file, std::uint64_t offset) {
  if (offset == 0) return {};
  const std::uint64_t span = std::min<std::uint64_t>(offset, kMaxRecordLine + 1);
  std::string bytes(static_cast<std::size_t>(span), '\0');
  if (!platform::ReadAt(file, offset - span, bytes.data(), bytes.size())) return {};
  // The line end before the last line; the last byte is that line's own end.
  const std::size_t before = bytes.size() >= 2 ? bytes.rfind('\n', bytes.size() - 2) : std::string::npos;
  return image::Sha256Text(before == std::string::npos ? std::string_view(bytes)
                                                       : std::string_view(bytes).substr(before + 1));
}

DeliveryState StateAt(const platform::File& file, const platform::FileInfo& info, std::uint64_t offset) {
  return {info.identity.device, info.identity.file, offset, LastLineSum(file, offset)};
}

std::uint64_t ResumeOffset(const std::optional<DeliveryState>& state, const platform::File& file,
                           const platform::FileInfo& info) {
  if (!state || state->offset == 0) return 0;
  if (state->device != info.identity.device || state->inode != info.identity.file)
    return 0;                               // another file now has the record file's name
  if (state->offset > info.size) return 0;  // it shrank
  // The prefix must end with a line end and with the same last line.
  char end = '\0';
  if (!platform::ReadAt(file, state->offset - 1, &end, 1) || end != '\n') return 0;
  const std::string sum = LastLineSum(file, state->offset);
  return !sum.empty() && sum == state->lastLineSha256 ? state->offset : 0;
}

}  // namespace app
