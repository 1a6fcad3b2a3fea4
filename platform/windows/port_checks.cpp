// What Windows says of a port's name when the port did not open. Serial ports have no file
// permissions on Windows and no lock files: a port that is there may always be opened, so a
// refused open means another program holds it.

#include "platform/port_checks.h"

#include <cwctype>
#include <vector>

#include "platform/windows/port_identity.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform {
namespace {

constexpr std::string_view kDevicePrefix = R"(\\.\)";

// "COMn" from "\\.\COMn"; empty for any other path.
std::wstring DosName(const std::string& path) {
  if (path.size() <= kDevicePrefix.size() || path.compare(0, kDevicePrefix.size(), kDevicePrefix) != 0)
    return {};
  return win::Widen(std::string_view(path).substr(kDevicePrefix.size()));
}

// The device the name leads to ("\Device\Serial0"), without opening it; empty when no such
// name is defined.
std::wstring TargetOf(const std::wstring& dosName) {
  if (dosName.empty()) return {};
  std::vector<wchar_t> target(1024, L'\0');
  const DWORD n = ::QueryDosDeviceW(dosName.c_str(), target.data(), static_cast<DWORD>(target.size()));
  if (n == 0) return {};
  return target.data();  // the first of the list
}

std::wstring Lowered(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

}  // namespace

PortFacts ProbePort(const std::string& path) {
  PortFacts facts;
  if (path.empty()) return facts;
  const std::wstring dosName = DosName(path);
  if (dosName.empty()) {
    // A path in the file system: a file or folder is there, but no serial device.
    const std::wstring wide = win::Widen(path);
    const DWORD attributes = wide.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return facts;
    facts.present = true;
    facts.regularFile = (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return facts;
  }
  const std::wstring target = TargetOf(dosName);
  int number = 0;
  if (const std::wstring lower = Lowered(dosName); lower.rfind(L"com", 0) == 0)
    number = static_cast<int>(std::wcstol(lower.c_str() + 3, nullptr, 10));
  if (target.empty() && !(number > 0 && win::SerialDeviceOf(number))) return facts;
  facts.present = true;
  facts.charDevice = true;
  facts.mayOpen = true;
  return facts;
}

bool SameCharDevice(const std::string& a, const std::string& b) {
  const std::wstring targetA = TargetOf(DosName(a));
  const std::wstring targetB = TargetOf(DosName(b));
  return !targetA.empty() && Lowered(targetA) == Lowered(targetB);
}

}  // namespace platform
