// Programming: boot request, flash erase, the image stream and the wait for the new firmware.

#include "device/program.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "common/time_left.h"
#include "device/boot_request.h"
#include "device/exchange.h"
#include "device/frame_codec.h"
#include "device/identify.h"
#include "device/version.h"

namespace device {
namespace {

constexpr int kRebootPolls = 20;
constexpr int kRebootPollGapMs = 1000;
// How often the progress is told while the port drains the end of the stream.
constexpr auto kDrainReportEvery = std::chrono::milliseconds(100);

std::string StreamText(float percent) {
  char text[64];
  std::snprintf(text, sizeof text, "Sending Hex file %.1f%% done", static_cast<double>(percent));
  return text;
}

// The device is back; it counts as programmed only if it runs the version just loaded.
LoadResult RunsVersion(const Identity& id, const std::string& expectedVersion) {
  return VersionHundredths(id.m_strDevVersion) == VersionHundredths(expectedVersion) ? RESULT_OK
                                                                                     : RESULT_PROGRAM_FAILED;
}

// A stop before the erase command is a stop before programming: the bootloader is sent back to
// sleep and the device keeps its firmware.
LoadResult DeclineForStop(Link& link) {
  DeclineBoot(link);
  return RESULT_STOPPED;
}

}  // namespace

LoadResult EraseFlash(Link& link, LoaderView& view, FlashSteps* steps) {
  PreparePort(link, kEraseTimeoutMs);
  // The last moment a stop spares the device, so it is looked at here and not only between
  // steps: a stop may come until now (a station or line tells from the view's start of
  // programming on whether a stop still reaches this device).
  if (link.StopRequested()) return DeclineForStop(link);
  if (steps) steps->eraseBegan = true;
  WriteTx(link, BuildEraseCommand(link.m_txBuf));  // a single byte: its count is not tested
  view.setMainStatus("Waiting for Erase to Complete.");
  // The bootloader answers only once the erase is done, so the time-out bounds the erase.
  const long got = ReadReply(link, kEraseReplyLen);
  if (link.StopRequested()) return RESULT_STOPPED;
  return CheckEraseReply(std::span<const std::uint8_t>(link.m_rxBuf.data(), static_cast<std::size_t>(got))) ==
                 ReplyCheck::Ok
             ? RESULT_OK
             : RESULT_ERASE_FAILED;
}

LoadResult SendImage(Link& link, image::MemImage& img, LoaderView& view) {
  if (link.m_hComm) link.m_hComm->DiscardInput();
  const std::size_t total = img.GetLength();
  img.SeekToBegin();
  if (total == 0) {
    // Nothing to send, and nothing to divide by: the stream is complete as it stands.
    view.progress({0, 0, 100.0});
    view.setMainStatus(StreamText(100.0f));
    return RESULT_OK;
  }
  // The progress counts what has left on the line, not what the port took: the port's buffer
  // (a UART's, or a pseudo-terminal's, which does not even say what it holds) runs seconds
  // ahead. What the port says it still holds has not left, and the line cannot have carried
  // more than its rate allows since the stream began.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point began = Clock::now();
  bool complete = false;  // the last report had the whole stream on the line
  const auto report = [&](std::size_t sent, bool drained) {
    StreamProgress p{sent, total,
                     static_cast<double>(static_cast<float>(sent * 100) / static_cast<float>(total)),
                     std::nullopt, link.m_rate};
    std::size_t onLine = sent;
    if (const long queued = link.m_hComm ? link.m_hComm->OutputQueued() : -1; queued >= 0)
      onLine -= std::min(sent, static_cast<std::size_t>(queued));
    if (link.m_rate > 0) {
      const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
      const double carried = seconds * static_cast<double>(link.m_rate) / kLineBitsPerByte;
      if (carried < static_cast<double>(onLine)) onLine = static_cast<std::size_t>(carried);
    }
    p.onLine = drained ? sent : onLine;
    complete = BytesOnLine(p) >= total;
    view.progress(p);
  };
  std::size_t sent = 0;
  while (sent < total) {
    if (link.StopRequested()) return RESULT_STOPPED;
    const std::size_t chunk = std::min(kImageChunkLen, total - sent);
    img.Read(link.m_txBuf.data(), chunk);
    // A chunk the port does not take whole means the line is gone: streaming on into it
    // would only pretend progress.
    if (WriteTx(link, chunk) != chunk) return RESULT_PROGRAM_FAILED;
    sent += chunk;
    // The numbers first, then the text that says them: a view decides from the numbers.
    report(sent, false);
    view.setMainStatus(StreamText(static_cast<float>(sent * 100) / static_cast<float>(total)));
  }
  // The stream is over when the line has carried it, not when the driver has queued it: only
  // then may the device be expected to restart (or the user be told it is programmed). While
  // the port drains, the progress goes on counting what leaves.
  auto lastReport = Clock::now();
  const bool drained = !link.m_hComm || link.m_hComm->Drain(link.m_stop, [&] {
    if (!complete && Clock::now() - lastReport >= kDrainReportEvery) {
      lastReport = Clock::now();
      report(total, false);
    }
  });
  if (!drained) return link.StopRequested() ? RESULT_STOPPED : RESULT_PROGRAM_FAILED;
  if (!complete) report(total, true);
  return RESULT_OK;
}

LoadResult EraseAndStream(Link& link, image::MemImage& img, const FirmwareTarget& target, EraseReport report,
                          LoaderView& view, FlashSteps* steps) {
  // A stop that came already is told to no one as programming (a station would show a port
  // programming, a terminal would warn): the device is declined at once.
  if (link.StopRequested()) {
    img.Close();
    return DeclineForStop(link);
  }
  const auto tell = [steps](bool active) {
    if (steps != nullptr && steps->programming) steps->programming(active);
  };
  tell(true);
  view.transferActive(true);
  const LoadResult erased = EraseFlash(link, view, steps);
  if (erased != RESULT_OK) {
    if (erased == RESULT_ERASE_FAILED && report == EraseReport::MarkFailure)
      view.setMainStatus("Erased Failed !!");
    img.Close();
    view.transferActive(false);
    tell(false);
    return erased;
  }
  const std::string updating = "Updating " + target.name + " to Version: V" + target.version;
  if (report == EraseReport::MarkFailure) {
    view.setMainStatus("Sending Hex file 0% done");
    view.setDeviceStatus(updating);
  } else {
    view.setDeviceStatus(updating);
    view.setMainStatus("Sending Hex file 0% done");
  }
  if (steps) steps->streamBegan = true;
  const LoadResult stream = SendImage(link, img, view);
  view.setDeviceStatus("..");
  img.Close();
  view.transferActive(false);
  tell(false);
  return stream;
}

LoadResult WaitForReboot(Link& link, Identity& id, const std::string& expectedVersion) {
  for (int poll = 0; poll < kRebootPolls; ++poll) {
    if (link.StopRequested()) return RESULT_STOPPED;
    SleepMs(link, kRebootPollGapMs);
    if (link.StopRequested()) return RESULT_STOPPED;
    if (IdentifyDevice(link, id, false) != RESULT_OK) continue;
    return RunsVersion(id, expectedVersion);
  }
  return RESULT_PROGRAM_FAILED;
}

LoadResult WaitForRestart(Link& link, Identity& id, const std::string& expectedVersion) {
  // The user has just been asked to power-cycle the device: it may still be starting, and a
  // script answers the box at once, so it is asked again once a second before giving up.
  for (int poll = 0; poll < kRebootPolls; ++poll) {
    if (poll > 0) SleepMs(link, kRebootPollGapMs);
    if (link.StopRequested()) return RESULT_STOPPED;
    if (!link.m_bCommOpen()) return RESULT_PROGRAM_FAILED;
    if (IdentifyDevice(link, id, false) != RESULT_OK) continue;
    if (QueryDevice(link, id) != RESULT_OK) return RESULT_PROGRAM_FAILED;
    return RunsVersion(id, expectedVersion);
  }
  return RESULT_PROGRAM_FAILED;
}

LoadResult ProgramDevice(Link& link, Identity& id, const FirmwareTarget& target, image::MemImage& img,
                         LoaderView& view, FlashSteps* steps) {
  if (const LoadResult boot = RequestBoot(link, id, target.productCode); boot != RESULT_OK) return boot;
  if (const LoadResult sent = EraseAndStream(link, img, target, EraseReport::MarkFailure, view, steps);
      sent != RESULT_OK)
    return sent;
  view.setMainStatus("Waiting for device to reboot");
  return WaitForReboot(link, id, target.version);
}

}  // namespace device
