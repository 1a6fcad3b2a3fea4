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
#include <QThread>
#include <QTimerEvent>
#include <condition_variable>
#include <utility>

#include "app/options.h"
#include "app/window/about_dialog.h"
#include "app/window/dialog_builder.h"
#include "app/window/window_resources.h"
#include "app/window/workflow_thread.h"
#include "app/window/workflows.h"

// A message box the workflow thread waits for: answered once, by the user or by the closing
// window.
struct CVORLoaderXDlg::PendingAnswer {
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  bool yes = false;

  void Answer(bool value) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (done) return;
      done = true;
      yes = value;
    }
    answered.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    answered.wait(lock, [this] { return done; });
    return yes;
  }
  bool Done() {
    std::lock_guard<std::mutex> lock(mutex);
    return done;
  }
};

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
  m_stStatus[kPortLine] = Control<QLabel>(built, kIdPortStatus);
  m_stStatus[kDeviceLine] = Control<QLabel>(built, kIdDeviceStatus);
  m_stStatus[kMainLine] = Control<QLabel>(built, kIdMainStatus);
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
  m_workflows = workflows;
  if (m_workflows != nullptr && !m_thread) m_thread = std::make_unique<window::WorkflowThread>();
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

  setPortStatus("No Connection");
  setDeviceStatus("");
  setMainStatus("");
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

void CVORLoaderXDlg::RunWorkflow(void (window::Workflows::*workflow)()) {
  if (m_workflows == nullptr || !m_thread || m_stopping) return;
  window::Workflows* workflows = m_workflows;
  const int port = m_cbPorts != nullptr ? m_cbPorts->currentIndex() : -1;
  const bool posted = m_thread->Post([this, workflows, workflow, port] {
    workflows->SelectPort(port);
    (workflows->*workflow)();
    PostToWindow([this] { WorkflowEnded(); });
  });
  if (!posted) return;
  ++m_workflowsQueued;
  ApplyButtons();
}

void CVORLoaderXDlg::WorkflowEnded() {
  if (m_workflowsQueued > 0) --m_workflowsQueued;
  ApplyButtons();
}

void CVORLoaderXDlg::ApplyButtons() {
  const bool idle = m_workflowsQueued == 0;
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

bool CVORLoaderXDlg::OnWindowThread() const {
  return QThread::currentThread() == thread();
}

void CVORLoaderXDlg::PostToWindow(std::function<void()> call) {
  if (OnWindowThread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

// Status texts can change far faster than anyone reads them (one per image chunk): only the
// latest text of each line travels, and at most one update per line waits in the queue.
void CVORLoaderXDlg::PostStatus(StatusLine line, const std::string& text) {
  const auto index = static_cast<std::size_t>(line);
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_statusText[index] = text;
    post = !m_statusPosted[index];
    m_statusPosted[index] = true;
  }
  if (post) PostToWindow([this, line] { ShowStatus(line); });
}

void CVORLoaderXDlg::ShowStatus(StatusLine line) {
  const auto index = static_cast<std::size_t>(line);
  std::string text;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    text = m_statusText[index];
    m_statusPosted[index] = false;
  }
  if (QLabel* label = m_stStatus[index])
    label->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void CVORLoaderXDlg::setPortStatus(const std::string& text) {
  PostStatus(kPortLine, text);
}
void CVORLoaderXDlg::setDeviceStatus(const std::string& text) {
  PostStatus(kDeviceLine, text);
}
void CVORLoaderXDlg::setMainStatus(const std::string& text) {
  PostStatus(kMainLine, text);
}

void CVORLoaderXDlg::appendLog(const std::string& line) {
  PostToWindow([this, text = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()))] {
    AppendLog(text);
  });
}

void CVORLoaderXDlg::detail(const std::string& text) {
  // Indented under the fixed line it explains, so the fixed texts read as they always did.
  appendLog(std::string(kDetailIndent) + text);
}

void CVORLoaderXDlg::enableConnect(bool on) {
  PostToWindow([this, on] {
    m_connectOn = on;
    ApplyButtons();
  });
}

void CVORLoaderXDlg::enableRawBoot(bool on) {
  PostToWindow([this, on] {
    m_rawBootOn = on;
    ApplyButtons();
  });
}

void CVORLoaderXDlg::enableCheckForUpdates(bool on) {
  PostToWindow([this, on] {
    // Offline, there is nothing to check for the whole run.
    if (m_offline) return;
    m_updatesOn = on;
    ApplyButtons();
  });
}

void CVORLoaderXDlg::showPorts(const std::vector<PortEntry>& ports, int selected) {
  PostToWindow([this, ports, selected] {
    if (m_cbPorts == nullptr) return;
    const QSignalBlocker block(m_cbPorts);
    m_cbPorts->clear();
    for (const PortEntry& port : ports) {
      m_cbPorts->addItem(QStringLiteral("COM%1").arg(port.number), port.number);
      m_cbPorts->setItemData(m_cbPorts->count() - 1,
                             QString::fromLatin1(port.path.data(), static_cast<qsizetype>(port.path.size())),
                             Qt::ToolTipRole);
    }
    m_cbPorts->setCurrentIndex(selected >= 0 && selected < m_cbPorts->count() ? selected : -1);
  });
}

void CVORLoaderXDlg::transferActive(bool active) {
  PostToWindow([this, active] { m_transferActive = active; });
}

bool CVORLoaderXDlg::stopRequested() {
  return m_stopping.load();
}

bool CVORLoaderXDlg::askYesNo(const std::string& text) {
  return AskFromWorkflow(Box::Question, text);
}

void CVORLoaderXDlg::tell(const std::string& text) {
  AskFromWorkflow(Box::Information, text);
}

bool CVORLoaderXDlg::AskFromWorkflow(Box kind, const std::string& text) {
  QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  auto pending = std::make_shared<PendingAnswer>();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    // A closing window answers No at once: the workflow is on its way out.
    if (m_stopping) return false;
    m_pending.push_back(pending);
  }
  if (OnWindowThread()) {
    ShowPendingBox(pending, kind, shown);
  } else {
    QMetaObject::invokeMethod(
        this, [this, pending, kind, shown] { ShowPendingBox(pending, kind, shown); }, Qt::QueuedConnection);
  }
  const bool yes = pending->Wait();
  std::lock_guard<std::mutex> lock(m_mutex);
  std::erase(m_pending, pending);
  return yes;
}

void CVORLoaderXDlg::ShowPendingBox(const std::shared_ptr<PendingAnswer>& pending, Box kind,
                                    const QString& text) {
  if (pending->Done()) return;  // answered No by the closing window
  const bool yes = kind == Box::Question ? RunBox(QMessageBox::Question, text, true, true)
                                         : RunBox(QMessageBox::Information, text, false, false);
  pending->Answer(yes);
}

bool CVORLoaderXDlg::RunBox(QMessageBox::Icon icon, const QString& text, bool yesNo, bool yesIsDefault) {
  const auto buttons = yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
  QMessageBox box(icon, QCoreApplication::applicationName(), text, buttons, this);
  box.setTextFormat(Qt::PlainText);
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
                             QStringLiteral("The device is being programmed. Quit anyway?"), true, false);
    m_askingToQuit = false;
    if (!quit) return;
  }
  ShutDownWorkflows();
  QDialog::done(result);
}

void CVORLoaderXDlg::ShutDownWorkflows() {
  std::vector<std::shared_ptr<PendingAnswer>> pending;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
    pending = m_pending;
  }
  for (const auto& p : pending) p->Answer(false);
  // A workflow's box still open on screen goes with the window.
  if (m_openBox != nullptr) m_openBox->done(QMessageBox::No);
  if (m_workflows != nullptr) m_workflows->RequestStop();
  if (m_thread) m_thread->Shutdown();
  // Nothing runs any more: the workflows may go before the window does.
  m_workflows = nullptr;
}
