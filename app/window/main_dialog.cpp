#include "app/window/main_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimerEvent>

#include "app/options.h"
#include "app/window/about_dialog.h"
#include "app/window/dialog_builder.h"
#include "app/window/shown_text.h"
#include "app/window/window_resources.h"
#include "app/window/workflows.h"

namespace {

// The pale yellow behind the three status lines.
const QColor kStatusBack(255, 255, 200);

template <typename T>
T* Control(const window::BuiltDialog& built, int id) {
  const auto it = built.controls.find(id);
  return it == built.controls.end() ? nullptr : qobject_cast<T*>(it->second);
}

bool IsEnterKey(const QKeyEvent& e) {
  const auto mods = e.modifiers() & ~Qt::KeypadModifier;
  return (e.key() == Qt::Key_Return || e.key() == Qt::Key_Enter) && mods == Qt::NoModifier;
}

}  // namespace

CVORLoaderXDlg::CVORLoaderXDlg(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  const window::DialogTemplate* t = window::DialogResource(window::kMainDialogId);
  if (t == nullptr) return;
  const window::BuiltDialog built = window::BuildDialog(*this, *t);

  m_cbPorts = Control<QComboBox>(built, kIdPorts);
  m_edLog = Control<QPlainTextEdit>(built, kIdLog);
  m_stStatus[0] = Control<QLabel>(built, kIdPortStatus);
  m_stStatus[1] = Control<QLabel>(built, kIdDeviceStatus);
  m_stStatus[2] = Control<QLabel>(built, kIdMainStatus);
  m_btConnect = Control<QPushButton>(built, kIdConnect);
  m_btCheckForUpdates = Control<QPushButton>(built, kIdCheckForUpdates);
  m_btRawBoot = Control<QPushButton>(built, kIdRawBoot);

  for (QLabel* status : m_stStatus) {
    if (status == nullptr) continue;
    QPalette palette = status->palette();
    palette.setColor(QPalette::Window, kStatusBack);
    palette.setColor(QPalette::WindowText, Qt::black);
    status->setPalette(palette);
    status->setAutoFillBackground(true);
  }
  // A multi-line edit in a dialog leaves Enter to the dialog, like every other control.
  if (m_edLog != nullptr) m_edLog->installEventFilter(this);

  if (auto* quit = Control<QPushButton>(built, kIdQuit))
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);
  if (m_btConnect != nullptr)
    connect(m_btConnect, &QPushButton::clicked, this, [this] { RunWorkflow(&window::Workflows::OnConnect); });
  if (m_btCheckForUpdates != nullptr)
    connect(m_btCheckForUpdates, &QPushButton::clicked, this,
            [this] { RunWorkflow(&window::Workflows::CheckForUpdates); });
  if (m_btRawBoot != nullptr)
    connect(m_btRawBoot, &QPushButton::clicked, this, [this] { RunWorkflow(&window::Workflows::OnRawBoot); });
}

CVORLoaderXDlg::~CVORLoaderXDlg() {
  ShutDownWorkflows();
}

void CVORLoaderXDlg::SetWorkflows(window::Workflows* workflows) {
  m_runner.SetWorkflows(workflows);
}

void CVORLoaderXDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!m_initialised) {
    m_initialised = true;
    OnInitDialog();
  }
}

void CVORLoaderXDlg::OnInitDialog() {
  // The window menu of the platform cannot take items: the about command sits in the
  // window's context menu instead.
  const QString aboutText = window::StringResource(window::kAboutMenuStringId);
  if (!aboutText.isEmpty()) {
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    addAction(separator);
    auto* about = new QAction(aboutText, this);
    about->setData(kAboutCommand);
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(kAboutCommand); });
    addAction(about);
  }
  setWindowIcon(window::ApplicationIcon());

  app::Options options;
  options.m_nOptions = m_nOptions;
  options.ApplyBits();
  m_offline = options.m_bOffline;
  if (m_offline) {
    m_updatesOn = false;
    ApplyButtons();
  }

  m_view.setPortStatus("No Connection");
  m_view.setDeviceStatus("");
  m_view.setMainStatus("");
  m_startupTimer = startTimer(kStartupDelayMs);
}

void CVORLoaderXDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() == m_startupTimer) {
    OnTimer(kStartupTimerId);
    return;
  }
  QDialog::timerEvent(event);
}

void CVORLoaderXDlg::OnTimer(int nIDEvent) {
  if (nIDEvent != kStartupTimerId) return;
  // Stopped before anything else, so the start-up sequence runs once.
  if (m_startupTimer != 0) killTimer(m_startupTimer);
  m_startupTimer = 0;
  RunWorkflow(&window::Workflows::RunStartupSequence);
}

void CVORLoaderXDlg::OnSysCommand(int nID) {
  if ((nID & 0xFFF0) == kAboutCommand) {
    CAboutDlg about(this);
    about.exec();
  }
}

void CVORLoaderXDlg::RunWorkflow(window::WorkflowRunner::Workflow workflow) {
  m_runner.Start(workflow, m_cbPorts != nullptr ? m_cbPorts->currentIndex() : -1);
}

void CVORLoaderXDlg::ApplyButtons() {
  const bool idle = !m_runner.busy();
  if (m_btConnect != nullptr) m_btConnect->setEnabled(m_connectOn && idle);
  if (m_btRawBoot != nullptr) m_btRawBoot->setEnabled(m_rawBootOn && idle);
  if (m_btCheckForUpdates != nullptr) m_btCheckForUpdates->setEnabled(m_updatesOn && idle);
}

void CVORLoaderXDlg::AppendLog(const QString& text) {
  m_strLog += text + QStringLiteral("\r\n");
  if (m_edLog == nullptr) return;
  // The whole log replaces the control's text, so whatever the user typed there goes.
  m_edLog->setPlainText(m_strLog);
  // Down to the newest line. (Scrolling a fixed 100 lines from the top, as the loader once
  // did, leaves the newest lines out of sight once the log outgrows that.)
  QScrollBar* bar = m_edLog->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void CVORLoaderXDlg::ShowStatus(StatusLine line, const QString& text) {
  if (QLabel* label = m_stStatus[static_cast<std::size_t>(line)]) label->setText(text);
}

void CVORLoaderXDlg::ShowLogLine(const QString& line) {
  AppendLog(line);
}

void CVORLoaderXDlg::ShowDetail(const QString& text) {
  // Indented under the fixed line it explains, so the fixed texts read as they always did.
  AppendLog(QLatin1String(kDetailIndent) + text);
}

void CVORLoaderXDlg::EnableButton(Button button, bool on) {
  switch (button) {
    case Button::Connect:
      m_connectOn = on;
      break;
    case Button::RawBoot:
      m_rawBootOn = on;
      break;
    case Button::CheckForUpdates:
      // Offline, there is nothing to check for the whole run.
      if (m_offline) return;
      m_updatesOn = on;
      break;
  }
  ApplyButtons();
}

void CVORLoaderXDlg::ShowPorts(const std::vector<PortEntry>& ports, int selected) {
  if (m_cbPorts == nullptr) return;
  const QSignalBlocker block(m_cbPorts);
  m_cbPorts->clear();
  for (const PortEntry& port : ports) {
    m_cbPorts->addItem(QStringLiteral("COM%1").arg(port.number), port.number);
    m_cbPorts->setItemData(m_cbPorts->count() - 1, window::ShownLine(port.path), Qt::ToolTipRole);
  }
  m_cbPorts->setCurrentIndex(selected >= 0 && selected < m_cbPorts->count() ? selected : -1);
}

void CVORLoaderXDlg::ShowTransfer(bool active) {
  m_transferActive = active;
}

void CVORLoaderXDlg::ShowProgress(const StreamProgress& progress) {
  (void)progress;
}

void CVORLoaderXDlg::ShowCountdown(int secondsLeft, int secondsTotal) {
  (void)secondsLeft, (void)secondsTotal;
}

bool CVORLoaderXDlg::AskBox(Box kind, const QString& text, const QString& informative) {
  return kind == Box::Question ? RunBox(QMessageBox::Question, text, informative, true, true)
                               : RunBox(QMessageBox::Information, text, informative, false, false);
}

bool CVORLoaderXDlg::RunBox(QMessageBox::Icon icon, const QString& text, const QString& informative,
                            bool yesNo, bool yesIsDefault) {
  const auto buttons = yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
  QMessageBox box(icon, QCoreApplication::applicationName(), text, buttons, this);
  box.setTextFormat(Qt::PlainText);
  if (!informative.isEmpty()) box.setInformativeText(informative);
  if (yesNo) {
    box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
  }
  QMessageBox* outer = m_openBox;
  m_openBox = &box;
  const int answer = box.exec();
  m_openBox = outer;
  return answer == QMessageBox::Yes || answer == QMessageBox::Ok;
}

void CVORLoaderXDlg::keyPressEvent(QKeyEvent* event) {
  // Enter on a button presses it (the button takes that itself); anywhere else it closes
  // the window like the OK command.
  if (IsEnterKey(*event)) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool CVORLoaderXDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_edLog && event->type() == QEvent::KeyPress &&
      IsEnterKey(*static_cast<QKeyEvent*>(event))) {
    accept();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void CVORLoaderXDlg::done(int result) {
  if (m_askingToQuit) return;
  if (m_transferActive) {
    // Stopping in the middle of an erase or an image stream can leave the device needing a
    // raw boot: ask first.
    m_askingToQuit = true;
    const bool quit = RunBox(QMessageBox::Question,
                             QStringLiteral("The device is being programmed. Quit anyway?"), {}, true, false);
    m_askingToQuit = false;
    if (!quit) return;
  }
  ShutDownWorkflows();
  QDialog::done(result);
}

void CVORLoaderXDlg::ShutDownWorkflows() {
  m_view.Close();
  // A workflow's box still open on screen goes with the window.
  if (m_openBox != nullptr) m_openBox->done(QMessageBox::No);
  m_runner.Shutdown();
}
