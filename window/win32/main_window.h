#pragma once
// The loader's main window on Windows: the layout's template 102 as a native dialog, with a
// progress bar under the main status line. Its workflows run one at a time on a workflow
// thread and report through a PostedView, so the dialog never freezes; their message boxes are
// the system's, captioned with the program's name, answered on the dialog's thread while the
// workflow waits.

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/options.h"
#include "window/resource_script.h"
#include "window/win32/posted_view.h"
#include "window/workflow_thread.h"
#include "window/workflows.h"

namespace window::win32 {

class MainWindow final : private DialogSink {
 public:
  static constexpr int kIdQuit = 2;
  static constexpr int kIdPorts = 1000;
  static constexpr int kIdConnect = 1001;
  static constexpr int kIdCheckForUpdates = 1002;
  static constexpr int kIdLog = 1004;
  static constexpr int kIdPortStatus = 1005;
  static constexpr int kIdDeviceStatus = 1006;
  static constexpr int kIdMainStatus = 1007;
  static constexpr int kIdRawBoot = 1008;
  static constexpr int kIdProgress = 1010;
  static constexpr UINT_PTR kStartupTimerId = 40;
  static constexpr UINT kStartupDelayMs = 200;
  static constexpr UINT kAboutCommand = 0x0010;

  // `script`: the layout; `caption`: the message boxes' caption (the program's name).
  MainWindow(const ResourceScript& script, std::wstring boxCaption, const app::Options& options);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // What the workflows report to: callable from any thread.
  PostedView& view() { return m_view; }
  // The workflows the buttons and the start-up timer run (not owned; alive until Run returns).
  void SetWorkflows(Workflows* workflows) { m_workflows = workflows; }

  // Shows the dialog until it closes; the workflow thread is gone when it returns.
  // -1 when the dialog could not be made.
  INT_PTR Run(HINSTANCE instance);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnCommand(int id);
  void RequestClose();
  void ShowAbout();
  void RunWorkflow(void (Workflows::*workflow)());
  void WorkflowEnded();
  void ApplyButtons();
  void ShutDownWorkflows();
  void AppendLog(const std::wstring& text);
  bool RunBox(UINT icon, const std::wstring& text, const std::wstring& informative, bool yesNo,
              bool yesIsDefault);

  // DialogSink
  void ShowStatus(StatusLine line, const std::wstring& text) override;
  void ShowLogLine(const std::wstring& line) override;
  void ShowDetail(const std::wstring& text) override;
  void EnableButton(Button button, bool on) override;
  void ShowPorts(const std::vector<PortEntry>& ports, int selected) override;
  void ShowTransfer(bool active) override;
  void ShowProgress(const StreamProgress& progress) override;
  void ShowCountdown(int secondsLeft, int secondsTotal) override;
  bool AskBox(Box kind, const std::wstring& text, const std::wstring& informative) override;

  const ResourceScript& m_script;
  const std::wstring m_boxCaption;
  const app::Options m_options;
  HINSTANCE m_instance = nullptr;
  HWND m_hwnd = nullptr;
  HBRUSH m_statusBrush = nullptr;
  HICON m_bigIcon = nullptr;
  HICON m_smallIcon = nullptr;
  bool m_shown = false;
  bool m_connectOn = true;
  bool m_rawBootOn = true;
  bool m_updatesOn = true;
  bool m_transferActive = false;
  bool m_askingToQuit = false;
  bool m_shutDown = false;
  int m_queued = 0;  // workflows queued or running; dialog thread only
  Workflows* m_workflows = nullptr;
  std::wstring m_log;
  PostedView m_view{*this};
  std::unique_ptr<WorkflowThread> m_thread;
};

}  // namespace window::win32
