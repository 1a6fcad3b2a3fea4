// Feeds arbitrary bytes, as the port would deliver them, to every reply check and to the
// device label decoder. The first byte picks how many of the rest count as read, so short
// replies are explored as well as long ones.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "device/frame_codec.h"
#include "device/steps.h"

namespace {

void Consume(const device::DeviceLabel& label) {
  if (label.name.size() + label.version.size() > 16) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t count = std::min<std::size_t>(data[0], size - 1);
  const std::span<const std::uint8_t> rx(data + 1, count);

  if (device::CheckIdentifyReply(rx) == device::ReplyCheck::Ok) {
    Consume(device::DecodeDeviceLabel(device::IdentifyReplyLabel(rx)));
    (void)device::DeviceIdValue(device::IdentifyReplyId(rx));
  }
  if (device::CheckDeviceReply(rx) != device::ReplyCheck::Short) (void)device::DeviceReplyCode(rx);
  (void)device::CheckAuthReply(rx);
  (void)device::CheckEraseReply(rx);
  for (std::size_t min : {device::kBootBannerMinLen, device::kRawBannerMinLen, std::size_t{0}}) {
    if (device::CheckBootBanner(rx, min) == device::ReplyCheck::Ok)
      (void)device::ProductCodeText(rx[4], rx[5]);
  }

  device::DeviceLabelBytes label{};
  std::copy_n(data + 1, std::min<std::size_t>(size - 1, label.size()), label.begin());
  Consume(device::DecodeDeviceLabel(label));

  (void)device::VersionHundredths(std::string(rx.begin(), rx.end()));
  return 0;
}
