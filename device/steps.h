#pragma once
// The device steps: port discovery, identification, authentication and programming. Each
// returns a LoadResult (RESULT_STOPPED when the link's stop request ended it) and reports only
// through the LoaderView it is given. What to program comes in as a small value: the device
// layer knows nothing of the catalogue.

#include <string>
#include <vector>

#include "common/load_result.h"
#include "common/loader_view.h"
#include "device/link.h"
#include "image/mem_image.h"

namespace device {

inline constexpr int kDeviceRates[3] = {57600, 115200, 38400};
inline constexpr int kRawBootRate = 57600;

// The port list (the window's combo box): entries in insertion order, the selected index.
struct PortList {
  std::vector<PortEntry> entries;
  int selected = -1;
  // Why ports that are there were left out (no permission, in use, not a serial device, a
  // broken link): told after the count of the ports found.
  std::vector<std::string> notes;
};

// What a device is programmed with: the product the firmware belongs to and its version.
struct FirmwareTarget {
  std::string file;         // the firmware file's name, for details
  std::string productCode;  // four hex digits: the bootloader must report the same
  std::string version;      // the version the new firmware must report
  std::string name;         // the product's display name
};

// Sets "Searching Valid Com Ports.", lists every port 1..32 that opens (closing it at once),
// selects entry 0. True when a port was found.
bool EnumerateComPorts(PortOpener& opener, PortList& m_cbPorts, LoaderView& view);

// RESULT_OK with the port open and the flag set, or RESULT_PORT_OPEN_FAILED with both clear.
LoadResult OpenComPort(Link& link, int port, int rate);

// Tries the three rates on `port`: RESULT_OK when the device answered (port left open),
// RESULT_PORT_OPEN_FAILED when the port cannot be opened, RESULT_NO_SINGLE_DEVICE when no rate
// got an answer, RESULT_STOPPED on a stop request.
LoadResult FindDeviceBaud(Link& link, Identity& id, int port, LoaderView& view);

LoadResult IdentifyDevice(Link& link, Identity& id, bool closeOnFailure);
LoadResult QueryDevice(Link& link, Identity& id);
LoadResult AuthenticateDevice(Link& link, Identity& id);
// The device tag of the identity's device code, "VOR_T%02x%02x_V".
std::string DeviceTagOf(const Identity& id);
LoadResult RequestBoot(Link& link, const Identity& id, const std::string& productCode);

// The bootloader's banner, sent by itself at power-on (raw boot): waits up to `timeoutMs`
// for it, counting down through the view once a second. RESULT_NO_SINGLE_DEVICE when it is
// missing or short, RESULT_FOREIGN_DEVICE when it is not a VORnet bootloader's, RESULT_STOPPED
// on a stop request; on RESULT_OK `deviceTag` is the tag of the product code it names.
LoadResult WaitForRawBanner(Link& link, int timeoutMs, LoaderView& view, std::string& deviceTag);

// How a workflow reports its erase and stream: Connect marks a failed erase on the main status
// line and names the stream before the update; raw boot leaves a failed erase unmarked and
// names the update first.
enum class EraseReport { MarkFailure, Quiet };

// How far programming went on the device's flash, for the run's record.
struct FlashSteps {
  bool eraseBegan = false;   // the erase command went to the device: its old firmware may be gone
  bool streamBegan = false;  // the erase was answered and the image began to go out
};

// The erase and the stream of `img` (decoded and checked by the caller), with the texts of
// the workflow: RESULT_OK, RESULT_ERASE_FAILED, RESULT_PROGRAM_FAILED or RESULT_STOPPED.
// `steps`, when given, is told how far it went.
LoadResult EraseAndStream(Link& link, image::MemImage& img, const FirmwareTarget& target, EraseReport report,
                          LoaderView& view, FlashSteps* steps = nullptr);

// Boots, erases, streams `img` and waits for the new firmware, which must report the target's
// version.
LoadResult ProgramDevice(Link& link, Identity& id, const FirmwareTarget& target, image::MemImage& img,
                         LoaderView& view, FlashSteps* steps = nullptr);
// RESULT_OK when the 16-byte erase reply came, RESULT_ERASE_FAILED, or RESULT_STOPPED.
LoadResult EraseFlash(Link& link, LoaderView& view);
// RESULT_OK when every chunk went out whole, RESULT_PROGRAM_FAILED when the port did not take
// one, RESULT_STOPPED on a stop request.
LoadResult SendImage(Link& link, image::MemImage& img, LoaderView& view);
// Polls identify once a second, up to 20 times: RESULT_OK when the device answered and
// reports `expectedVersion`, RESULT_PROGRAM_FAILED otherwise, RESULT_STOPPED on a stop.
LoadResult WaitForReboot(Link& link, Identity& id, const std::string& expectedVersion);
// As WaitForReboot, and the device query too must answer (raw boot after the power cycle).
LoadResult WaitForRestart(Link& link, Identity& id, const std::string& expectedVersion);

// The exchange's preparation (total read time-out, error state, discard unread input) and
// its read into m_rxBuf, for steps that wait for a reply they did not ask for (the raw boot
// banner). ReadReply returns the number of bytes read.
void PreparePort(Link& link, int timeoutMs);
long ReadReply(Link& link, std::size_t n);

// Versions in exact hundredths from the text's longest decimal prefix ("2.01" -> 201,
// " 2.9x" -> 290, "" -> 0).
long long VersionHundredths(const std::string& text);

// "Device: %s    ID: %i    Version: V%s"
std::string DeviceLine(const Identity& id);

}  // namespace device
