#pragma once
// The loader's main window (template 102): the port list, three status lines, the information
// log and the four buttons. Its workflows run on a WorkflowRunner's thread and report through
// a QueuedView, which carries every call over to the window's thread, so the window never
// freezes; the message boxes hold the workflow until the user answers.

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QTime>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "common/loader_view.h"
#include "window/queued_view.h"
#include "window/workflow_runner.h"

class QAction;
class QComboBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace window {
class ElidingLabel;
class TransferProgress;
class Workflows;
}  // namespace window

class CVORLoaderXDlg : public QDialog, private window::ViewSink {
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

  // What the workflows report to: callable from any thread.
  window::QueuedView& view() { return m_view; }

  // The workflows the buttons and the start-up timer run (not owned; must stay alive until
  // ShutDownWorkflows has returned). Without them the buttons do nothing.
  void SetWorkflows(window::Workflows* workflows);
  // Stops the running workflow at its next step, answers its open message box with No,
  // and joins the workflow thread. Runs when the window closes; safe to call again.
  void ShutDownWorkflows();

  // Appends one line and "\r\n" to the log, rewrites the log control and scrolls it.
  void AppendLog(const QString& text);
  const QString& log() const { return m_strLog; }
  // The time of day each log line was added, by line number (a tooltip on the line).
  QTime logLineTime(int line) const;
  // The tooltip of the log at a point of its viewport: the time of the line there.
  QString LogToolTipAt(const QPoint& viewportPos) const;
  // Writes the log to `path` (UTF-8, one line each); a failure is told in a box. True when
  // saved. The "Save Log..." command asks for the path first.
  bool SaveLog(const QString& path);

  // A request to close from outside the window (a termination signal): closes it as the
  // user would, asking first during a transfer; a request while that question is open
  // answers it Yes.
  void CloseOnRequest();

  // A workflow is queued or running (the three workflow buttons are held disabled).
  bool workflowRunning() const { return m_runner.busy(); }

  // The timer handler: timer 40 runs the start-up sequence, once.
  void OnTimer(int nIDEvent);
  // The window-menu command handler: command 16 opens the about box.
  void OnSysCommand(int nID);

 protected:
  void showEvent(QShowEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 public:
  // Every way of closing (Quit, Escape, Enter, the title bar) ends here.
  void done(int result) override;

 private:
  void OnInitDialog();
  void OnSaveLog();
  void ShowLogMenu(const QPoint& pos);
  void RunWorkflow(window::WorkflowRunner::Workflow workflow);
  void ApplyButtons();
  // A message box owned by the window and captioned with the program's name.
  bool RunBox(QMessageBox::Icon icon, const QString& text, const QString& informative, bool yesNo,
              bool yesIsDefault);

  // ViewSink: what the workflows report, on the window's thread.
  void ShowStatus(StatusLine line, const QString& text) override;
  void ShowLogLine(const QString& line) override;
  void ShowDetail(const QString& text) override;
  void EnableButton(Button button, bool on) override;
  void ShowPorts(const std::vector<PortEntry>& ports, int selected) override;
  void ShowTransfer(bool active) override;
  void ShowProgress(const StreamProgress& progress) override;
  void ShowCountdown(int secondsLeft, int secondsTotal) override;
  bool AskBox(Box kind, const QString& text, const QString& informative) override;

  // Controls.
  QComboBox* m_cbPorts = nullptr;
  QPlainTextEdit* m_edLog = nullptr;
  std::array<window::ElidingLabel*, 3> m_stStatus{};  // port, device, main
  QProgressBar* m_progressBar = nullptr;              // under the main status line
  std::unique_ptr<window::TransferProgress> m_progress;
  QAction* m_saveLog = nullptr;
  QPushButton* m_btConnect = nullptr;
  QPushButton* m_btCheckForUpdates = nullptr;
  QPushButton* m_btRawBoot = nullptr;

  QString m_strLog;
  std::vector<QTime> m_logTimes;  // one per log line
  bool m_initialised = false;
  int m_startupTimer = 0;  // the toolkit's id of timer 40

  // The buttons as the workflows and the options last set them; while a workflow runs the
  // window holds all three disabled on top of that.
  bool m_connectOn = true;
  bool m_rawBootOn = true;
  bool m_updatesOn = true;
  bool m_offline = false;  // option bit 0: Check for Updates stays grey

  bool m_transferActive = false;
  bool m_askingToQuit = false;
  QMessageBox* m_openBox = nullptr;

  window::QueuedView m_view{*this, *this};
  window::WorkflowRunner m_runner{*this, [this] { ApplyButtons(); }};
};
