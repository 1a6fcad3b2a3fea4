#include "window/main_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimerEvent>
#include <QToolTip>

#include "app/options.h"
#include "window/about_dialog.h"
#include "window/box_lines.h"
#include "window/dialog_builder.h"
#include "window/eliding_label.h"
#include "window/log_file.h"
#include "window/port_description.h"
#include "window/shown_text.h"
#include "window/transfer_progress.h"
#include "window/window_resources.h"
#include "window/workflows.h"

namespace {

// The pale yellow behind the three status lines.
const QColor kStatusBack(255, 255, 200);

// The progress bar: in the Main Status group, in the strip between the main status line
// (which ends at 164) and the group's lower edge (174), as wide as the line. Dialog units.
constexpr window::DuRect kProgressRect{33, 165, 240, 7};

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
  m_edLog = Control<QTextEdit>(built, kIdLog);
  m_stStatus[0] = Control<window::ElidingLabel>(built, kIdPortStatus);
  m_stStatus[1] = Control<window::ElidingLabel>(built, kIdDeviceStatus);
  m_stStatus[2] = Control<window::ElidingLabel>(built, kIdMainStatus);
  m_btConnect = Control<QPushButton>(built, kIdConnect);
  m_btCheckForUpdates = Control<QPushButton>(built, kIdCheckForUpdates);
  m_btRawBoot = Control<QPushButton>(built, kIdRawBoot);

  for (window::ElidingLabel* status : m_stStatus) {
    if (status == nullptr) continue;
    QPalette palette = status->palette();
    palette.setColor(QPalette::Window, kStatusBack);
    palette.setColor(QPalette::WindowText, Qt::black);
    status->setPalette(palette);
    status->setAutoFillBackground(true);
  }
  if (m_edLog != nullptr) {
    // A multi-line edit in a dialog leaves Enter to the dialog, like every other control.
    m_edLog->installEventFilter(this);
    // The log is the loader's record: it can be read, selected, copied and saved, not edited.
    m_edLog->setReadOnly(true);
    m_edLog->viewport()->installEventFilter(this);  // the time of the line under the mouse
    m_edLog->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_edLog, &QWidget::customContextMenuRequested, this, &CVORLoaderXDlg::ShowLogMenu);
  }
  if (m_cbPorts != nullptr) {
    // The closed list shows what the system knows of the selected port, as its entries do.
    connect(m_cbPorts, &QComboBox::currentIndexChanged, this, [this](int index) {
      m_cbPorts->setToolTip(index < 0 ? QString() : m_cbPorts->itemData(index, Qt::ToolTipRole).toString());
    });
  }

  m_progressBar = new QProgressBar(this);
  m_progressBar->setObjectName(QStringLiteral("progress"));
  m_progressBar->setGeometry(window::DialogUnitsToPixels(kProgressRect, built.units));
  // The strip is lower than a line of the dialog font: its text is set to fit it.
  QFont small = font();
  small.setPixelSize(std::max(6, m_progressBar->height() - 2));
  m_progressBar->setFont(small);
  m_progress = std::make_unique<window::TransferProgress>(*m_progressBar);

  m_saveLog = new QAction(QStringLiteral("Save Log..."), this);
  connect(m_saveLog, &QAction::triggered, this, &CVORLoaderXDlg::OnSaveLog);

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
  setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  addAction(separator);
  if (m_saveLog != nullptr) addAction(m_saveLog);
  if (m_openStation) {
    auto* station = new QAction(QStringLiteral("Station Window..."), this);
    station->setObjectName(QStringLiteral("stationWindow"));
    connect(station, &QAction::triggered, this, [this] { m_openStation(); });
    addAction(station);
  }
  const QString aboutText = window::StringResource(window::kAboutMenuStringId);
  if (!aboutText.isEmpty()) {
    auto* about = new QAction(aboutText, this);
    about->setData(kAboutCommand);
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(kAboutCommand); });
    addAction(about);
  }
  setWindowIcon(window::ApplicationIcon());

  m_offline = m_options.offline();
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
  m_logTimes.push_back(QTime::currentTime());
  if (m_edLog == nullptr) return;
  // The whole log replaces the control's text, so whatever the user typed there goes.
  m_edLog->setPlainText(m_strLog);
  IndentDetailLines();
  // Down to the newest line. (Scrolling a fixed 100 lines from the top, as the loader once
  // did, leaves the newest lines out of sight once the log outgrows that.)
  QScrollBar* bar = m_edLog->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void CVORLoaderXDlg::IndentDetailLines() {
  // A detail line that wraps goes on under its own first character, not under the fixed
  // line it explains: a hanging indent as wide as the leading blanks.
  const QString indent = QLatin1String(kDetailIndent);
  const qreal width = QFontMetricsF(m_edLog->document()->defaultFont()).horizontalAdvance(indent);
  QTextCursor cursor(m_edLog->document());
  for (QTextBlock block = m_edLog->document()->begin(); block.isValid(); block = block.next()) {
    if (!block.text().startsWith(indent)) continue;
    QTextBlockFormat format = block.blockFormat();
    format.setLeftMargin(width);
    format.setTextIndent(-width);
    cursor.setPosition(block.position());
    cursor.setBlockFormat(format);
  }
}

QTime CVORLoaderXDlg::logLineTime(int line) const {
  if (line < 0 || static_cast<std::size_t>(line) >= m_logTimes.size()) return {};
  return m_logTimes[static_cast<std::size_t>(line)];
}

QString CVORLoaderXDlg::LogToolTipAt(const QPoint& viewportPos) const {
  if (m_edLog == nullptr) return {};
  const QTextBlock block = m_edLog->cursorForPosition(viewportPos).block();
  // Only a point on the line itself (all of its wrapped rows), not the empty space below.
  QTextCursor first(block);
  QTextCursor last(block);
  last.movePosition(QTextCursor::EndOfBlock);
  const int top = m_edLog->cursorRect(first).top();
  const int bottom = m_edLog->cursorRect(last).bottom();
  if (viewportPos.y() < top || viewportPos.y() > bottom) return {};
  const QTime time = logLineTime(block.blockNumber());
  return time.isValid() ? time.toString(QStringLiteral("HH:mm:ss")) : QString();
}

bool CVORLoaderXDlg::SaveLog(const QString& path) {
  const QString why = window::WriteLogFile(path, m_strLog);
  if (why.isEmpty()) return true;
  RunBox(QMessageBox::Warning, QString::fromLatin1(window::kLogNotSavedText),
         window::LogNotSavedDetail(path, why), false, false);
  return false;
}

void CVORLoaderXDlg::OnSaveLog() {
  const QString path = window::AskLogFilePath(this);
  if (!path.isEmpty()) SaveLog(path);
}

void CVORLoaderXDlg::ShowLogMenu(const QPoint& pos) {
  if (m_edLog == nullptr) return;
  std::unique_ptr<QMenu> menu(m_edLog->createStandardContextMenu(pos));
  if (m_saveLog != nullptr) {
    menu->addSeparator();
    menu->addAction(m_saveLog);
  }
  menu->exec(m_edLog->viewport()->mapToGlobal(pos));
}

void CVORLoaderXDlg::CloseOnRequest() {
  if (m_askingToQuit && m_openBox != nullptr) {
    m_openBox->done(QMessageBox::Yes);
    return;
  }
  close();
}

void CVORLoaderXDlg::ShowStatus(StatusLine line, const QString& text) {
  if (window::ElidingLabel* label = m_stStatus[static_cast<std::size_t>(line)]) label->ShowText(text);
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
    m_cbPorts->addItem(QString::fromStdString(port.comName()), port.number);
    m_cbPorts->setItemData(m_cbPorts->count() - 1, window::PortDescription(port), Qt::ToolTipRole);
  }
  m_cbPorts->setCurrentIndex(selected >= 0 && selected < m_cbPorts->count() ? selected : -1);
  const int current = m_cbPorts->currentIndex();
  m_cbPorts->setToolTip(current < 0 ? QString() : m_cbPorts->itemData(current, Qt::ToolTipRole).toString());
}

void CVORLoaderXDlg::ShowTransfer(bool active) {
  m_transferActive = active;
  if (m_progress) m_progress->OnTransfer(active);
}

void CVORLoaderXDlg::ShowProgress(const StreamProgress& progress) {
  if (m_progress) m_progress->OnProgress(progress);
}

void CVORLoaderXDlg::ShowCountdown(int secondsLeft, int secondsTotal) {
  if (m_progress) m_progress->OnCountdown(secondsLeft, secondsTotal);
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
  if (!informative.isEmpty()) {
    box.setInformativeText(informative);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
      // Device labels and file names are shown as they are, never read as markup.
      label->setTextFormat(Qt::PlainText);
      // A line too wide for the screen (a long file name) loses its middle; the whole text is
      // the tooltip.
      const QString fitted =
          window::FitWordsToWidth(informative, label->fontMetrics(), window::BoxWordWidthLimit(screen()));
      if (fitted != informative) {
        box.setInformativeText(fitted);
        label->setToolTip(informative);
      }
    }
  }
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
  if (m_edLog != nullptr && watched == m_edLog->viewport() && event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = LogToolTipAt(help->pos());
    if (tip.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(help->globalPos(), tip, m_edLog->viewport());
    return true;
  }
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
