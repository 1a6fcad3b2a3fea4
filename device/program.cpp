// Programming: boot request, flash erase, the image stream and the wait for the new firmware.

#include <algorithm>
#include <cstdio>
#include <string>

#include "device/exchange.h"
#include "device/frame_codec.h"
#include "device/steps.h"
#include "image/firmware_decoder.h"

namespace device {
namespace {

constexpr int kRebootPolls = 20;
constexpr int kRebootPollGapMs = 1000;

bool StopRequested(const Link& link) {
  return link.m_stop && link.m_stop();
}

std::string StreamText(float percent) {
  char text[64];
  std::snprintf(text, sizeof text, "Sending Hex file %.1f%% done", static_cast<double>(percent));
  return text;
}

}  // namespace

bool EraseFlash(Link& link, LoaderView& view) {
  PreparePort(link, kEraseTimeoutMs);
  WriteTx(link, BuildEraseCommand(link.m_txBuf));  // a single byte: its count is not tested
  view.setMainStatus("Waiting for Erase to Complete.");
  // The bootloader answers only once the erase is done, so the time-out bounds the erase.
  const long got = ReadReply(link, kEraseReplyLen);
  return CheckEraseReply(std::span<const std::uint8_t>(link.m_rxBuf.data(), static_cast<std::size_t>(got))) ==
         ReplyCheck::Ok;
}

LoadResult SendImage(Link& link, image::MemImage& img, LoaderView& view) {
  if (link.m_hComm) link.m_hComm->DiscardInput();
  const std::size_t total = img.GetLength();
  img.SeekToBegin();
  if (total == 0) {
    // Nothing to send, and nothing to divide by: the stream is complete as it stands.
    view.setMainStatus(StreamText(100.0f));
    view.progress({0, 0, 100.0});
    return RESULT_OK;
  }
  std::size_t sent = 0;
  while (sent < total) {
    if (StopRequested(link) || view.stopRequested()) return RESULT_PROGRAM_FAILED;
    const std::size_t chunk = std::min(kImageChunkLen, total - sent);
    img.Read(link.m_txBuf.data(), chunk);
    // A chunk the port does not take whole means the line is gone: streaming on into it
    // would only pretend progress.
    if (WriteTx(link, chunk) != chunk) return RESULT_PROGRAM_FAILED;
    sent += chunk;
    const float percent = static_cast<float>(sent * 100) / static_cast<float>(total);
    view.setMainStatus(StreamText(percent));
    view.progress({sent, total, static_cast<double>(percent)});
  }
  // The stream is over when the line has carried it, not when the driver has queued it: only
  // then may the device be expected to restart (or the user be told it is programmed).
  if (link.m_hComm && !link.m_hComm->Drain([&] { return StopRequested(link) || view.stopRequested(); }))
    return RESULT_PROGRAM_FAILED;
  return RESULT_OK;
}

LoadResult WaitForReboot(Link& link, Identity& id, const std::string& expectedVersion) {
  for (int poll = 0; poll < kRebootPolls; ++poll) {
    if (StopRequested(link)) return RESULT_PROGRAM_FAILED;
    SleepMs(link, kRebootPollGapMs);
    if (StopRequested(link)) return RESULT_PROGRAM_FAILED;
    if (IdentifyDevice(link, id, false) != RESULT_OK) continue;
    // The device is back; it counts as programmed only if it runs the version just loaded.
    return VersionHundredths(id.m_strDevVersion) == VersionHundredths(expectedVersion)
               ? RESULT_OK
               : RESULT_PROGRAM_FAILED;
  }
  return RESULT_PROGRAM_FAILED;
}

LoadResult ProgramDevice(Link& link, Identity& id, const catalogue::ProductTable& table, int m_nProduct,
                         const std::string& firmFolder, LoaderView& view) {
  if (m_nProduct < 0 || static_cast<std::size_t>(m_nProduct) >= catalogue::kMaxProducts) {
    return RESULT_HEX_OPEN_FAILED;  // no row chosen: there is no file to open
  }
  const auto row = static_cast<std::size_t>(m_nProduct);
  image::MemImage img;
  if (image::DecodeFirmwareFile(firmFolder + table.m_prodHexFile[row], img) < 0)
    return RESULT_HEX_OPEN_FAILED;

  if (const LoadResult boot = RequestBoot(link, id, table, m_nProduct); boot != RESULT_OK) return boot;

  view.transferActive(true);
  if (!EraseFlash(link, view)) {
    view.setMainStatus("Erased Failed !!");
    img.Close();
    view.transferActive(false);
    return RESULT_ERASE_FAILED;
  }
  view.setMainStatus("Sending Hex file 0% done");
  view.setDeviceStatus("Updating " + table.m_prodName[row] + " to Version: V" + table.m_prodVersion[row]);
  const LoadResult stream = SendImage(link, img, view);
  view.setDeviceStatus("..");
  img.Close();
  view.transferActive(false);
  if (stream != RESULT_OK) return stream;

  view.setMainStatus("Waiting for device to reboot");
  return WaitForReboot(link, id, table.m_prodVersion[row]);
}

}  // namespace device
