#pragma once
// The device steps: port discovery, identification, authentication, firmware selection and
// programming. Each returns a LoadResult (or the value its comment names) and reports only
// through the LoaderView it is given.

#include <string>
#include <vector>

#include "catalogue/product_table.h"
#include "common/load_result.h"
#include "common/loader_view.h"
#include "device/link.h"
#include "image/mem_image.h"

namespace device {

inline constexpr int kDeviceRates[3] = {57600, 115200, 38400};

// The port list (the window's combo box): entries in insertion order, the selected index.
struct PortList {
  std::vector<PortEntry> entries;
  int selected = -1;
};

// Sets "Searching Valid Com Ports.", lists every port 1..32 that opens (closing it at once),
// selects entry 0. True when a port was found.
bool EnumerateComPorts(PortOpener& opener, PortList& m_cbPorts, LoaderView& view);

// 0 on success (port open, flag set), 1 on failure (port closed, flag clear).
int OpenComPort(Link& link, int port, int rate);

// 0 device answered (port left open), 1 port cannot be opened, 2 no answer at any rate.
int FindDeviceBaud(Link& link, Identity& id, int port, LoaderView& view);

LoadResult IdentifyDevice(Link& link, Identity& id, bool closeOnFailure);
LoadResult QueryDevice(Link& link, Identity& id);
LoadResult AuthenticateDevice(Link& link, Identity& id);
// 0, 8, 9 or 10; sets m_nProduct on a match.
LoadResult SelectFirmware(const Identity& id, const catalogue::ProductTable& table, int& m_nProduct);
LoadResult RequestBoot(Link& link, const Identity& id, const catalogue::ProductTable& table, int m_nProduct);

// Decodes row m_nProduct's file from `firmFolder` (ends with a separator), boots, erases,
// streams and waits for the new firmware, which must report the catalogue version.
LoadResult ProgramDevice(Link& link, Identity& id, const catalogue::ProductTable& table, int m_nProduct,
                         const std::string& firmFolder, LoaderView& view);
bool EraseFlash(Link& link, LoaderView& view);
// 0 when every chunk went out whole, 14 when the port did not take one or a stop was requested.
LoadResult SendImage(Link& link, image::MemImage& img, LoaderView& view);
// 0 when the device answered within 20 polls and reports `expectedVersion`, else 14.
LoadResult WaitForReboot(Link& link, Identity& id, const std::string& expectedVersion);

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
