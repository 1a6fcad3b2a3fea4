#pragma once
// The loader's main window (template 102): the port list, three status lines, the information
// log and the four buttons. It is the workflows' LoaderView: they run on the window's workflow
// thread and every call they make is carried over to the window's own thread, so the window
// never freezes; the message boxes hold the workflow until the user answers.

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/loader_view.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace window {
class WorkflowThread;
class Workflows;
}  // namespace window

class CVORLoaderXDlg : public QDialog, public LoaderView {
 public:
  // Control ids of the template.
  static constexpr int kIdQuit = 2;
  static constexpr int kIdPorts = 1000;
  static constexpr int kIdConnect = 1001;
  static constexpr int kIdCheckForUpdates = 1002;
  static constexpr int kIdLog = 1004;
  static constexpr int kIdPortStatus = 1005;
  static constexpr int kIdDeviceStatus = 1006;
  static constexpr int kIdMainStatus = 1007;
  static constexpr int kIdRawBoot = 1008;
  static constexpr int kIdLogo = 1009;
  static constexpr int kStartupTimerId = 40;
  static constexpr int kStartupDelayMs = 200;
  static constexpr int kAboutCommand = 0x0010;
  // Detail lines sit under the log line they explain.
  static constexpr const char* kDetailIndent = "    ";

  explicit CVORLoaderXDlg(QWidget* parent = nullptr);
  ~CVORLoaderXDlg() override;

  // The option bits given after "--x"; the window reads them when it first shows.
  int m_nOptions = 0;

  // The workflows the buttons and the start-up timer run (not owned; must stay alive until
  // ShutDownWorkflows has returned). Without them the buttons do nothing.
  void SetWorkflows(window::Workflows* workflows);
  // Stops the running workflow at its next step, answers its open message box with No,
  // and joins the workflow thread. Runs when the window closes; safe to call again.
  void ShutDownWorkflows();

  // Appends one line and "\r\n" to the log, rewrites the log control and scrolls it.
  void AppendLog(const QString& text);
  const QString& log() const { return m_strLog; }
  // A workflow is queued or running (the three workflow buttons are held disabled).
  bool workflowRunning() const { return m_workflowsQueued > 0; }

  // The timer handler: timer 40 runs the start-up sequence, once.
  void OnTimer(int nIDEvent);
  // The window-menu command handler: command 16 opens the about box.
  void OnSysCommand(int nID);

  // LoaderView: callable from any thread.
  void setPortStatus(const std::string& text) override;
  void setDeviceStatus(const std::string& text) override;
  void setMainStatus(const std::string& text) override;
  void appendLog(const std::string& line) override;
  void detail(const std::string& text) override;
  void enableConnect(bool on) override;
  void enableRawBoot(bool on) override;
  void enableCheckForUpdates(bool on) override;
  bool askYesNo(const std::string& text) override;
  void tell(const std::string& text) override;
  void showPorts(const std::vector<PortEntry>& ports, int selected) override;
  void transferActive(bool active) override;
  // The window is closing: the workflows are being stopped.
  bool stopRequested();

 protected:
  void showEvent(QShowEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 public:
  // Every way of closing (Quit, Escape, Enter, the title bar) ends here.
  void done(int result) override;

 private:
  enum class Box { Question, Information };
  struct PendingAnswer;
  enum StatusLine { kPortLine, kDeviceLine, kMainLine, kStatusLines };

  void OnInitDialog();
  void RunWorkflow(void (window::Workflows::*workflow)());
  void WorkflowEnded();
  void ApplyButtons();
  void PostToWindow(std::function<void()> call);
  void PostStatus(StatusLine line, const std::string& text);
  void ShowStatus(StatusLine line);
  bool AskFromWorkflow(Box kind, const std::string& text);
  void ShowPendingBox(const std::shared_ptr<PendingAnswer>& pending, Box kind, const QString& text);
  // A message box owned by the window and captioned with the program's name.
  bool RunBox(QMessageBox::Icon icon, const QString& text, bool yesNo, bool yesIsDefault);
  bool OnWindowThread() const;

  // Controls.
  QComboBox* m_cbPorts = nullptr;
  QPlainTextEdit* m_edLog = nullptr;
  std::array<QLabel*, kStatusLines> m_stStatus{};
  QPushButton* m_btConnect = nullptr;
  QPushButton* m_btCheckForUpdates = nullptr;
  QPushButton* m_btRawBoot = nullptr;

  QString m_strLog;
  bool m_initialised = false;
  int m_startupTimer = 0;  // the toolkit's id of timer 40

  // The buttons as the workflows and the options last set them; while a workflow runs the
  // window holds all three disabled on top of that.
  bool m_connectOn = true;
  bool m_rawBootOn = true;
  bool m_updatesOn = true;
  bool m_offline = false;  // option bit 0: Check for Updates stays grey
  int m_workflowsQueued = 0;

  bool m_transferActive = false;
  bool m_askingToQuit = false;
  QMessageBox* m_openBox = nullptr;

  window::Workflows* m_workflows = nullptr;
  std::unique_ptr<window::WorkflowThread> m_thread;

  // Shared with the workflow thread.
  std::mutex m_mutex;
  std::atomic<bool> m_stopping{false};
  std::vector<std::shared_ptr<PendingAnswer>> m_pending;  // boxes the workflow waits for
  std::array<std::string, kStatusLines> m_statusText;     // latest text per status line
  std::array<bool, kStatusLines> m_statusPosted{};        // an update is on its way
};
