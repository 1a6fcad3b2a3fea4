// window_probe.exe: reads and drives the loader's window from outside, as a person or an
// automation tool would, for the Windows stage's tests:
//   window_probe ANSWER END_TEXT SECONDS
// waits for the dialog captioned "VORLoader V1.70", then for its message box captioned
// "vorloader" (ANSWER yes or no clicks that button, return presses the Return key; about
// opens the about box from the window menu and closes it; none expects no box), then for a log
// line holding END_TEXT, prints what the window showed, closes the window and waits for it to go.
// Exit status 0 when all of that happened within SECONDS, 1 otherwise (saying which step failed).

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kIdLog = 1004;
constexpr int kIdPortStatus = 1005;
constexpr int kIdDeviceStatus = 1006;
constexpr int kIdMainStatus = 1007;
constexpr const wchar_t* kCaption = L"VORLoader V1.70";
constexpr const wchar_t* kBoxCaption = L"vorloader";

std::wstring TextOf(HWND hwnd) {
  if (hwnd == nullptr) return {};
  DWORD_PTR length = 0;
  if (SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length) == 0) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      2000, &copied);
  text.resize(copied);
  return text;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::wstring Wide(const char* text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
  out.resize(out.size() - 1);
  return out;
}

// Polls `found` every 50 ms until it is true or the deadline passes.
template <typename F>
bool WaitFor(DWORD deadline, F found) {
  while (GetTickCount() < deadline) {
    if (found()) return true;
    Sleep(50);
  }
  return found();
}

// The message box the dialog owns, captioned with the program's name.
HWND FindBox(HWND dialog) {
  HWND box = nullptr;
  while ((box = FindWindowExW(nullptr, box, L"#32770", kBoxCaption)) != nullptr)
    if (GetWindow(box, GW_OWNER) == dialog && IsWindowVisible(box)) return box;
  return nullptr;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM lParam) {
  wchar_t cls[32] = {};
  GetClassNameW(child, cls, 32);
  if (lstrcmpiW(cls, L"Static") == 0) {
    const std::wstring text = TextOf(child);
    // An icon's static holds its resource number, not text.
    if (!text.empty() && text[0] != 0xFFFF) *reinterpret_cast<std::wstring*>(lParam) += text + L"\n";
  }
  return TRUE;
}

int Fail(const char* step, HWND dialog) {
  std::printf("window_probe: %s\n", step);
  if (dialog != nullptr) {
    std::printf("== log\n%s\n", Utf8(TextOf(GetDlgItem(dialog, kIdLog))).c_str());
    std::printf("== main status\n%s\n", Utf8(TextOf(GetDlgItem(dialog, kIdMainStatus))).c_str());
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: window_probe yes|no|return|about|none END_TEXT SECONDS\n", stderr);
    return 2;
  }
  const std::string answer = argv[1];
  const std::wstring endText = Wide(argv[2]);
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(std::atoi(argv[3])) * 1000;

  HWND dialog = nullptr;
  if (!WaitFor(deadline, [&] { return (dialog = FindWindowW(L"#32770", kCaption)) != nullptr; }))
    return Fail("no window captioned \"VORLoader V1.70\"", nullptr);

  std::wstring boxText;
  if (answer == "about") {
    // The about command of the window menu, as a click on it sends it.
    PostMessageW(dialog, WM_SYSCOMMAND, 0x0010, 0);
    HWND about = nullptr;
    if (!WaitFor(deadline, [&] { return (about = FindWindowW(L"#32770", L"About VORLoader")) != nullptr; }))
      return Fail("no about box", dialog);
    EnumChildWindows(about, CollectStatic, reinterpret_cast<LPARAM>(&boxText));
    // Hidden at once; it goes once a box the workflow opened meanwhile over it is answered.
    SendMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    if (!WaitFor(deadline, [&] { return IsWindowVisible(about) == FALSE; }))
      return Fail("the about box stayed", dialog);
  } else if (answer != "none") {
    HWND box = nullptr;
    if (!WaitFor(deadline, [&] { return (box = FindBox(dialog)) != nullptr; }))
      return Fail("no message box captioned \"vorloader\"", dialog);
    EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&boxText));
    HWND button = GetDlgItem(box, answer == "no" ? IDNO : IDYES);
    if (button == nullptr) return Fail("the box has no Yes/No button", dialog);
    // The box's own default button, before it is answered: Yes is the default.
    const bool yesDefault = (GetWindowLongW(GetDlgItem(box, IDYES), GWL_STYLE) & BS_DEFPUSHBUTTON) != 0;
    std::printf("== box default: %s\n", yesDefault ? "Yes" : "No");
    if (answer == "return") {
      // The Return key, as a person answers it: the box's default button takes it.
      SetForegroundWindow(box);
      INPUT keys[2] = {};
      keys[0].type = INPUT_KEYBOARD;
      keys[0].ki.wVk = VK_RETURN;
      keys[1] = keys[0];
      keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
      SendInput(2, keys, sizeof(INPUT));
    } else {
      SendMessageW(button, BM_CLICK, 0, 0);
    }
  }

  std::wstring log;
  if (!WaitFor(deadline, [&] {
        log = TextOf(GetDlgItem(dialog, kIdLog));
        return log.find(endText) != std::wstring::npos;
      }))
    return Fail("the log never showed the end text", dialog);

  std::printf("== box\n%s", Utf8(boxText).c_str());
  std::printf("== port status\n%s\n", Utf8(TextOf(GetDlgItem(dialog, kIdPortStatus))).c_str());
  std::printf("== device status\n%s\n", Utf8(TextOf(GetDlgItem(dialog, kIdDeviceStatus))).c_str());
  std::printf("== main status\n%s\n", Utf8(TextOf(GetDlgItem(dialog, kIdMainStatus))).c_str());
  std::printf("== log\n%s\n", Utf8(log).c_str());
  std::fflush(stdout);

  PostMessageW(dialog, WM_CLOSE, 0, 0);
  if (!WaitFor(GetTickCount() + 10000, [&] { return IsWindow(dialog) == FALSE; }))
    return Fail("the window did not close", dialog);
  return 0;
}
