#include "window/win32/main_window.h"

#include <commctrl.h>

#include <utility>

#include "window/win32/dialog_template.h"
#include "window/win32/wide_text.h"

namespace window::win32 {

namespace {

constexpr int kMainDialogId = 102;
constexpr int kAboutDialogId = 100;
constexpr int kAboutMenuStringId = 101;
constexpr int kIconResourceId = 128;
// The pale yellow behind the three status lines, as on Linux.
constexpr COLORREF kStatusBack = RGB(255, 255, 200);
// The progress bar: in the Main Status group, in the strip between the main status line
// (which ends at 164) and the group's lower edge (174), as wide as the line. Dialog units.
constexpr DuRect kProgressRect{33, 165, 240, 7};
constexpr int kProgressSteps = 1000;
// Detail lines sit under the log line they explain.
constexpr const wchar_t* kDetailIndent = L"    ";

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(hwnd, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

// A message box of the closing dialog still on screen goes with it, answered No (or OK).
BOOL CALLBACK AnswerOwnedBox(HWND hwnd, LPARAM dialog) {
  wchar_t cls[16] = {};
  GetClassNameW(hwnd, cls, 16);
  if (lstrcmpW(cls, L"#32770") == 0 && GetWindow(hwnd, GW_OWNER) == reinterpret_cast<HWND>(dialog)) {
    const WPARAM answer = GetDlgItem(hwnd, IDNO) != nullptr ? IDNO : IDOK;
    PostMessageW(hwnd, WM_COMMAND, answer, 0);
  }
  return TRUE;
}

}  // namespace

MainWindow::MainWindow(const ResourceScript& script, std::wstring boxCaption, const app::Options& options)
    : m_script(script), m_boxCaption(std::move(boxCaption)), m_options(options) {}

MainWindow::~MainWindow() {
  ShutDownWorkflows();
  if (m_statusBrush != nullptr) DeleteObject(m_statusBrush);
  if (m_bigIcon != nullptr) DestroyIcon(m_bigIcon);
  if (m_smallIcon != nullptr) DestroyIcon(m_smallIcon);
}

INT_PTR MainWindow::Run(HINSTANCE instance) {
  const auto it = m_script.dialogs.find(kMainDialogId);
  if (it == m_script.dialogs.end()) return -1;
  m_instance = instance;
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  const std::vector<ExtraControl> extras{{kIdProgress, PROGRESS_CLASSW, kProgressRect, 0}};
  const std::vector<std::uint32_t> bytes =
      BuildTemplate(it->second, extras, {kIdPortStatus, kIdDeviceStatus, kIdMainStatus});
  m_statusBrush = CreateSolidBrush(kStatusBack);
  if (m_workflows != nullptr) m_thread = std::make_unique<WorkflowThread>();
  const INT_PTR result =
      DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr,
                              &MainWindow::DialogProc, reinterpret_cast<LPARAM>(this));
  const DWORD why = GetLastError();  // for the caller, when the dialog could not be made
  ShutDownWorkflows();
  SetLastError(why);
  return result;
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<MainWindow*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->m_hwnd = hwnd;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  return self == nullptr ? FALSE : self->Handle(message, wParam, lParam);
}

void MainWindow::OnInitDialog() {
  // The about command sits in the window menu, after a separator.
  if (HMENU menu = GetSystemMenu(m_hwnd, FALSE)) {
    const auto text = m_script.strings.find(kAboutMenuStringId);
    if (text != m_script.strings.end()) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING, kAboutCommand, FromUtf8(text->second).c_str());
    }
  }
  m_bigIcon = static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(kIconResourceId), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  m_smallIcon =
      static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(kIconResourceId), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  if (m_bigIcon != nullptr) SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon));
  if (m_smallIcon != nullptr)
    SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));

  // The log is the loader's record: read, selected, copied, not edited; and as long as it grows.
  HWND log = GetDlgItem(m_hwnd, kIdLog);
  SendMessageW(log, EM_SETREADONLY, TRUE, 0);
  SendMessageW(log, EM_SETLIMITTEXT, 0, 0);
  SendMessageW(GetDlgItem(m_hwnd, kIdProgress), PBM_SETRANGE32, 0, kProgressSteps);

  if (m_options.offline()) m_updatesOn = false;
  ApplyButtons();
  m_view.Attach(m_hwnd);
  m_view.setPortStatus("No Connection");
  m_view.setDeviceStatus("");
  m_view.setMainStatus("");
}

INT_PTR MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case PostedView::kPostedCall:
      PostedView::RunPosted(lParam);
      return TRUE;
    case WM_SHOWWINDOW:
      // The start-up sequence runs once, shortly after the window is first shown.
      if (wParam != 0 && !m_shown) {
        m_shown = true;
        SetTimer(m_hwnd, kStartupTimerId, kStartupDelayMs, nullptr);
      }
      return FALSE;
    case WM_TIMER:
      if (wParam == kStartupTimerId) {
        KillTimer(m_hwnd, kStartupTimerId);
        RunWorkflow(&Workflows::RunStartupSequence);
        return TRUE;
      }
      return FALSE;
    case WM_CTLCOLORSTATIC: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (id == kIdPortStatus || id == kIdDeviceStatus || id == kIdMainStatus) {
        auto* dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, kStatusBack);
        SetTextColor(dc, RGB(0, 0, 0));
        return reinterpret_cast<INT_PTR>(m_statusBrush);
      }
      return FALSE;
    }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == kAboutCommand) {
        ShowAbout();
        return TRUE;
      }
      return FALSE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      RequestClose();
      return TRUE;
    default:
      return FALSE;
  }
}

void MainWindow::OnCommand(int id) {
  switch (id) {
    case IDOK:  // Enter outside a button closes the window, as the OK command does
    case IDCANCEL:
      RequestClose();
      break;
    case kIdConnect:
      RunWorkflow(&Workflows::OnConnect);
      break;
    case kIdRawBoot:
      RunWorkflow(&Workflows::OnRawBoot);
      break;
    case kIdCheckForUpdates:
      RunWorkflow(&Workflows::CheckForUpdates);
      break;
    default:
      break;
  }
}

void MainWindow::RequestClose() {
  if (m_askingToQuit) return;
  if (m_transferActive) {
    // Stopping in the middle of an erase or an image stream can leave the device needing a
    // raw boot: ask first.
    m_askingToQuit = true;
    const bool quit =
        RunBox(MB_ICONQUESTION, L"The device is being programmed. Quit anyway?", {}, true, false);
    m_askingToQuit = false;
    if (!quit) return;
  }
  ShutDownWorkflows();
  EndDialog(m_hwnd, IDCANCEL);
}

void MainWindow::ShowAbout() {
  const auto it = m_script.dialogs.find(kAboutDialogId);
  if (it == m_script.dialogs.end()) return;
  const std::vector<std::uint32_t> bytes = BuildTemplate(it->second, {}, {});
  DialogBoxIndirectParamW(m_instance, reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), m_hwnd, AboutProc, 0);
}

void MainWindow::RunWorkflow(void (Workflows::*workflow)()) {
  if (m_workflows == nullptr || !m_thread || m_shutDown) return;
  const auto port = static_cast<int>(SendDlgItemMessageW(m_hwnd, kIdPorts, CB_GETCURSEL, 0, 0));
  Workflows* workflows = m_workflows;
  const bool posted = m_thread->Post([this, workflows, workflow, port] {
    workflows->SelectPort(port);
    (workflows->*workflow)();
    m_view.Post([this] { WorkflowEnded(); });
  });
  if (!posted) return;
  ++m_queued;
  ApplyButtons();
}

void MainWindow::WorkflowEnded() {
  if (m_queued > 0) --m_queued;
  ApplyButtons();
}

void MainWindow::ApplyButtons() {
  if (m_hwnd == nullptr) return;
  const bool idle = m_queued == 0;
  EnableWindow(GetDlgItem(m_hwnd, kIdConnect), m_connectOn && idle ? TRUE : FALSE);
  EnableWindow(GetDlgItem(m_hwnd, kIdRawBoot), m_rawBootOn && idle ? TRUE : FALSE);
  EnableWindow(GetDlgItem(m_hwnd, kIdCheckForUpdates), m_updatesOn && idle ? TRUE : FALSE);
}

void MainWindow::ShutDownWorkflows() {
  if (m_shutDown) return;
  m_shutDown = true;
  m_view.Close();
  if (m_hwnd != nullptr)
    EnumThreadWindows(GetCurrentThreadId(), AnswerOwnedBox, reinterpret_cast<LPARAM>(m_hwnd));
  // The running workflow ends at its next step; nothing runs any more afterwards.
  if (m_workflows != nullptr) m_workflows->RequestStop();
  if (m_thread) m_thread->Shutdown();
}

void MainWindow::AppendLog(const std::wstring& text) {
  m_log += text;
  m_log += L"\r\n";
  HWND log = GetDlgItem(m_hwnd, kIdLog);
  if (log == nullptr) return;
  // Added at the end, whatever is selected, and scrolled down to the newest line.
  const auto end = static_cast<WPARAM>(GetWindowTextLengthW(log));
  SendMessageW(log, EM_SETSEL, end, static_cast<LPARAM>(end));
  const std::wstring line = text + L"\r\n";
  SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
  SendMessageW(log, EM_SCROLLCARET, 0, 0);
}

bool MainWindow::RunBox(UINT icon, const std::wstring& text, const std::wstring& informative, bool yesNo,
                        bool yesIsDefault) {
  std::wstring shown = text;
  if (!informative.empty()) shown += L"\r\n\r\n" + informative;
  UINT type = icon | (yesNo ? MB_YESNO : MB_OK);
  if (yesNo) type |= yesIsDefault ? MB_DEFBUTTON1 : MB_DEFBUTTON2;
  const int answer = MessageBoxW(m_hwnd, shown.c_str(), m_boxCaption.c_str(), type);
  return answer == IDYES || answer == IDOK;
}

void MainWindow::ShowStatus(StatusLine line, const std::wstring& text) {
  static constexpr std::array<int, 3> kIds{kIdPortStatus, kIdDeviceStatus, kIdMainStatus};
  SetDlgItemTextW(m_hwnd, kIds[static_cast<std::size_t>(line)], text.c_str());
}

void MainWindow::ShowLogLine(const std::wstring& line) {
  AppendLog(line);
}

void MainWindow::ShowDetail(const std::wstring& text) {
  AppendLog(kDetailIndent + text);
}

void MainWindow::EnableButton(Button button, bool on) {
  switch (button) {
    case Button::Connect:
      m_connectOn = on;
      break;
    case Button::RawBoot:
      m_rawBootOn = on;
      break;
    case Button::CheckForUpdates:
      // Offline, there is nothing to check for the whole run.
      if (m_options.offline()) return;
      m_updatesOn = on;
      break;
  }
  ApplyButtons();
}

void MainWindow::ShowPorts(const std::vector<PortEntry>& ports, int selected) {
  HWND combo = GetDlgItem(m_hwnd, kIdPorts);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const PortEntry& port : ports)
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ShownLine(port.comName()).c_str()));
  const int count = static_cast<int>(ports.size());
  SendMessageW(combo, CB_SETCURSEL,
               selected >= 0 && selected < count ? static_cast<WPARAM>(selected) : WPARAM(-1), 0);
}

void MainWindow::ShowTransfer(bool active) {
  m_transferActive = active;
  HWND bar = GetDlgItem(m_hwnd, kIdProgress);
  SendMessageW(bar, PBM_SETPOS, 0, 0);
  ShowWindow(bar, active ? SW_SHOW : SW_HIDE);
}

void MainWindow::ShowProgress(const StreamProgress& progress) {
  HWND bar = GetDlgItem(m_hwnd, kIdProgress);
  if (progress.total == 0) return;
  const auto pos = static_cast<WPARAM>(static_cast<double>(progress.sent) * kProgressSteps /
                                       static_cast<double>(progress.total));
  ShowWindow(bar, SW_SHOW);
  SendMessageW(bar, PBM_SETPOS, pos, 0);
}

void MainWindow::ShowCountdown(int secondsLeft, int secondsTotal) {
  HWND bar = GetDlgItem(m_hwnd, kIdProgress);
  if (secondsLeft <= 0 || secondsTotal <= 0) {
    ShowWindow(bar, m_transferActive ? SW_SHOW : SW_HIDE);
    return;
  }
  ShowWindow(bar, SW_SHOW);
  SendMessageW(bar, PBM_SETPOS,
               static_cast<WPARAM>((secondsTotal - secondsLeft) * kProgressSteps / secondsTotal), 0);
}

bool MainWindow::AskBox(Box kind, const std::wstring& text, const std::wstring& informative) {
  return kind == Box::Question ? RunBox(MB_ICONQUESTION, text, informative, true, true)
                               : RunBox(MB_ICONINFORMATION, text, informative, false, false);
}

}  // namespace window::win32
