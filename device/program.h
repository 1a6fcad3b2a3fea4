#pragma once
// Programming: the flash erase, the image stream and the wait for the new firmware. What to
// program comes in as a small value: the device layer knows nothing of the catalogue.

#include <functional>
#include <string>

#include "common/load_result.h"
#include "common/loader_view.h"
#include "device/link.h"
#include "image/mem_image.h"

namespace device {

// What a device is programmed with: the product the firmware belongs to and its version.
struct FirmwareTarget {
  std::string file;         // the firmware file's name, for details
  std::string productCode;  // four hex digits: the bootloader must report the same
  std::string version;      // the version the new firmware must report
  std::string name;         // the product's display name
};

// How a workflow reports its erase and stream: Connect marks a failed erase on the main status
// line and names the stream before the update; raw boot leaves a failed erase unmarked and
// names the update first.
enum class EraseReport { MarkFailure, Quiet };

// How far programming went on the device's flash, for the run's record, and whom to tell when
// the device begins and ends being erased or programmed.
struct FlashSteps {
  bool eraseBegan = false;   // the erase command went to the device: its old firmware may be gone
                             // (a stop before it declines the bootloader and leaves this false)
  bool streamBegan = false;  // the erase was answered and the image began to go out
  // Told true just before the erase command (before the view hears of it), and false once the
  // erase and the stream are over, however they ended (after the view heard).
  std::function<void(bool active)> programming;
};

// The erase and the stream of `img` (decoded and checked by the caller), with the texts of
// the workflow: RESULT_OK, RESULT_ERASE_FAILED, RESULT_PROGRAM_FAILED or RESULT_STOPPED.
// `steps`, when given, is told how far it went. The bootloader must be waiting for the erase
// command; a stop that comes before the command is written declines it instead (RESULT_STOPPED,
// the device untouched).
LoadResult EraseAndStream(Link& link, image::MemImage& img, const FirmwareTarget& target, EraseReport report,
                          LoaderView& view, FlashSteps* steps = nullptr);

// Boots, erases, streams `img` and waits for the new firmware, which must report the target's
// version.
LoadResult ProgramDevice(Link& link, Identity& id, const FirmwareTarget& target, image::MemImage& img,
                         LoaderView& view, FlashSteps* steps = nullptr);
// RESULT_OK when the 16-byte erase reply came, RESULT_ERASE_FAILED, or RESULT_STOPPED. The stop
// is looked at the moment before the erase command is written: a stop by then declines the
// bootloader and writes nothing more. `steps`, when given, is told when the command goes out.
LoadResult EraseFlash(Link& link, LoaderView& view, FlashSteps* steps = nullptr);
// RESULT_OK when every chunk went out whole and the line has carried it, RESULT_PROGRAM_FAILED
// when the port did not take one, RESULT_STOPPED on a stop request.
LoadResult SendImage(Link& link, image::MemImage& img, LoaderView& view);
// Polls identify once a second, up to 20 times: RESULT_OK when the device answered and
// reports `expectedVersion`, RESULT_PROGRAM_FAILED otherwise, RESULT_STOPPED on a stop.
LoadResult WaitForReboot(Link& link, Identity& id, const std::string& expectedVersion);
// As WaitForReboot, and the device query too must answer (raw boot after the power cycle).
LoadResult WaitForRestart(Link& link, Identity& id, const std::string& expectedVersion);

}  // namespace device
