#pragma once
// Text between the loader (UTF-8 everywhere) and the Windows calls that take and give UTF-16,
// the system's words for an error code, and a handle owned by one object. Only the Windows
// side of the platform layer includes this.

#include <string>
#include <string_view>

#include "platform/windows/windows_api.h"

namespace platform::win {

// UTF-8 to UTF-16; bytes that are not UTF-8 become U+FFFD rather than failing the call.
std::wstring Widen(std::string_view utf8);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view wide);

// The system's own words for an error code, on one line without the final full stop, e.g.
// "Access is denied"; "error N" when the system has none.
std::string SystemMessage(DWORD error);

// A kernel handle that closes when its owner goes. INVALID_HANDLE_VALUE and null both mean
// none, since the calls that make handles disagree about which one says "failed".
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : m_h(h) {}
  ~OwnedHandle() { Reset(); }
  OwnedHandle(OwnedHandle&& other) noexcept : m_h(other.Release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  HANDLE get() const { return m_h; }
  bool valid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    HANDLE h = m_h;
    m_h = INVALID_HANDLE_VALUE;
    return h;
  }
  // Closes the handle held; true when there was none or the close succeeded.
  bool Reset(HANDLE h = INVALID_HANDLE_VALUE) {
    bool ok = true;
    if (valid()) ok = ::CloseHandle(m_h) != FALSE;
    m_h = h;
    return ok;
  }

 private:
  HANDLE m_h = INVALID_HANDLE_VALUE;
};

}  // namespace platform::win
