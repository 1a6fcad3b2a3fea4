#include "platform/windows/port_identity.h"

#include "platform/windows/windows_api.h"
// windows.h first: the device manager's header needs its types.
#include <setupapi.h>

#include <cctype>
#include <vector>

#include "platform/windows/wide_text.h"

namespace platform::win {
namespace {

// The device setup class of serial and parallel ports, and the interface class every COM port
// driver registers (some virtual ports sit in other setup classes).
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

// A registry text value, without its terminating nulls; nullopt when missing or not text.
std::optional<std::wstring> TextValue(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size > 64 * 1024)
    return std::nullopt;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = size;
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()), &got) !=
      ERROR_SUCCESS)
    return std::nullopt;
  std::wstring text(buffer.data(), std::min<std::size_t>(got / sizeof(wchar_t), buffer.size()));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

bool IsComName(const std::wstring& name, int number) {
  return _wcsicmp(name.c_str(), (L"COM" + std::to_wstring(number)).c_str()) == 0;
}

// A device's property as text (a list of texts gives its first), or empty.
std::string DeviceText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  DWORD type = 0;
  DWORD size = 0;
  ::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, nullptr, 0, &size);
  if (size == 0 || size > 64 * 1024 || (type != REG_SZ && type != REG_MULTI_SZ)) return {};
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<PBYTE>(buffer.data()), size, nullptr))
    return {};
  return Narrow(buffer.data());  // up to the first null: one text
}

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
  std::vector<wchar_t> buffer(1024, L'\0');
  DWORD needed = 0;
  if (!::SetupDiGetDeviceInstanceIdW(set, &device, buffer.data(), static_cast<DWORD>(buffer.size() - 1),
                                     &needed))
    return {};
  return Narrow(buffer.data());
}

int HexValue(const std::string& text, std::size_t at) {
  int value = 0;
  for (std::size_t i = at; i < at + 4; ++i) {
    if (i >= text.size() || std::isxdigit(static_cast<unsigned char>(text[i])) == 0) return 0;
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    value = value * 16 + (c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return value;
}

// Looks through one set of devices for port `number`; true when it was found there.
bool FillFrom(HDEVINFO set, PortEntry& entry) {
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!::SetupDiEnumDeviceInfo(set, index, &device)) return false;
    const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE || key == nullptr) continue;
    const std::optional<std::wstring> portName = TextValue(key, L"PortName");
    ::RegCloseKey(key);
    if (!portName || !IsComName(*portName, entry.number)) continue;

    entry.product = DeviceText(set, device, SPDRP_FRIENDLYNAME);
    if (entry.product.empty()) entry.product = DeviceText(set, device, SPDRP_DEVICEDESC);
    entry.manufacturer = DeviceText(set, device, SPDRP_MFG);
    const std::string instance = InstanceId(set, device);
    UsbIds ids = ParseUsbIds(DeviceText(set, device, SPDRP_HARDWAREID));
    if (ids.vendorId == 0 && ids.productId == 0) ids = ParseUsbIds(instance);
    entry.vendorId = ids.vendorId;
    entry.productId = ids.productId;
    if (ids.vendorId != 0 || ids.productId != 0) entry.serialNumber = UsbSerialFromInstanceId(instance);
    return true;
  }
}

bool FillFromSet(const GUID& guid, DWORD flags, PortEntry& entry) {
  const HDEVINFO set = ::SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags);
  if (set == INVALID_HANDLE_VALUE) return false;
  const bool found = FillFrom(set, entry);
  ::SetupDiDestroyDeviceInfoList(set);
  return found;
}

}  // namespace

std::optional<std::string> SerialDeviceOf(int number) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return std::nullopt;
  std::optional<std::string> device;
  // Each value is named after a kernel device and holds the COM name it is known by.
  for (DWORD index = 0; !device; ++index) {
    std::vector<wchar_t> name(512, L'\0');
    auto nameLength = static_cast<DWORD>(name.size() - 1);
    const LSTATUS status =
        ::RegEnumValueW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    const std::optional<std::wstring> comName = TextValue(key, name.data());
    if (comName && IsComName(*comName, number)) device = Narrow(std::wstring_view(name.data(), nameLength));
  }
  ::RegCloseKey(key);
  return device;
}

void FillPortIdentity(PortEntry& entry) {
  if (entry.number < 1) return;
  if (FillFromSet(kPortsClass, DIGCF_PRESENT, entry)) return;
  if (FillFromSet(kComPortInterface, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, entry)) return;
  if (const std::optional<std::string> device = SerialDeviceOf(entry.number)) entry.product = *device;
}

UsbIds ParseUsbIds(const std::string& id) {
  std::string upper = id;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  UsbIds ids;
  if (const std::size_t vid = upper.find("VID_"); vid != std::string::npos)
    ids.vendorId = HexValue(upper, vid + 4);
  if (const std::size_t pid = upper.find("PID_"); pid != std::string::npos)
    ids.productId = HexValue(upper, pid + 4);
  return ids;
}

std::string UsbSerialFromInstanceId(const std::string& id) {
  // Some adapter drivers put it after the IDs: "FTDIBUS\VID_0403+PID_6001+A1B2C3D4\0000".
  if (const std::size_t pid = id.find("+PID_"); pid != std::string::npos) {
    const std::size_t start = id.find('+', pid + 1);
    if (start == std::string::npos) return {};
    const std::size_t end = id.find('\\', start);
    return id.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
  }
  const std::size_t slash = id.find_last_of('\\');
  if (slash == std::string::npos || slash + 1 >= id.size()) return {};
  std::string last = id.substr(slash + 1);
  // Windows makes up an instance part with '&' in it for a device without a serial number.
  if (last.find('&') != std::string::npos) return {};
  return last;
}

}  // namespace platform::win
