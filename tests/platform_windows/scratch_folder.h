#pragma once
// A fresh folder for one test under the system's temporary folder, removed with what it holds
// when the test ends. Its path is UTF-8 and holds a non-ASCII name, so that every call on it
// also shows the conversion to and from the system's wide text.

#include <filesystem>
#include <string>

#include "platform/random.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

class ScratchFolder {
 public:
  ScratchFolder() {
    std::array<std::uint8_t, 6> unique{};
    platform::FillRandom(unique);
    std::wstring name = L"vorloader-test-\u00e4\u2713-";
    for (std::uint8_t b : unique) name += static_cast<wchar_t>(L'a' + b % 26);
    m_path = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(m_path);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder, UTF-8, without a trailing separator.
  std::string path() const { return platform::win::Narrow(m_path.native()); }
  // A name in the folder, UTF-8.
  std::string operator/(const std::string& name) const { return path() + "\\" + name; }

 private:
  std::filesystem::path m_path;
};
