#include "window/station/station_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringList>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "window/log_file.h"
#include "window/station/station_control.h"
#include "window/station/station_port_view.h"
#include "window/window_resources.h"

namespace window {

namespace {

constexpr int kMaxColumns = 4;
constexpr int kMaxPanels = 32;
constexpr const char* kDetailIndent = "    ";

}  // namespace

StationWindow::StationWindow(const std::vector<PortEntry>& ports, const app::Options& options,
                             QWidget* parent)
    : StationWindow(ports, options, StationSetUp{}, parent) {}

StationWindow::StationWindow(const std::vector<PortEntry>& ports, const app::Options& options,
                             StationSetUp setUp, QWidget* parent)
    : QDialog(parent), m_options(options), m_setUp(std::move(setUp)) {
  setWindowTitle(QStringLiteral("VORnet Loader Station"));
  setWindowIcon(ApplicationIcon());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);

  // At the top: under which profile, for which work order and by whom the devices are programmed.
  m_setUpLabel = new QLabel(this);
  m_setUpLabel->setObjectName(QStringLiteral("setUp"));
  m_setUpLabel->setTextFormat(Qt::PlainText);
  QFont bold = m_setUpLabel->font();
  bold.setBold(true);
  m_setUpLabel->setFont(bold);
  layout->addWidget(m_setUpLabel);

  // Above the panels: what to program, Start and Stop, the totals, Check for Updates.
  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(QStringLiteral("Program newer images;"), this));
  m_alsoOlder = new QCheckBox(QStringLiteral("also older"), this);
  m_alsoOlder->setObjectName(QStringLiteral("alsoOlder"));
  m_alsoOlder->setChecked(options.allowOlder());
  m_alsoSame = new QCheckBox(QStringLiteral("also the same version"), this);
  m_alsoSame->setObjectName(QStringLiteral("alsoSame"));
  m_alsoSame->setChecked(options.allowReload());
  m_operator = new QLineEdit(QString::fromStdString(m_setUp.operatorName), this);
  m_operator->setObjectName(QStringLiteral("operator"));
  m_operator->setPlaceholderText(m_setUp.operatorRequired ? QStringLiteral("required")
                                                          : QStringLiteral("name"));
  m_operator->setMaxLength(100);
  auto* operatorLabel = new QLabel(QStringLiteral("Operator:"), this);
  operatorLabel->setBuddy(m_operator);
  m_start = new QPushButton(QStringLiteral("Start"), this);
  m_start->setObjectName(QStringLiteral("start"));
  m_stop = new QPushButton(QStringLiteral("Stop"), this);
  m_stop->setObjectName(QStringLiteral("stop"));
  m_totals = new QLabel(this);
  m_totals->setObjectName(QStringLiteral("totals"));
  m_checkForUpdates = new QPushButton(QStringLiteral("Check for Updates"), this);
  m_checkForUpdates->setObjectName(QStringLiteral("checkForUpdates"));
  auto* saveLog = new QPushButton(QStringLiteral("Save Log..."), this);
  saveLog->setObjectName(QStringLiteral("saveLog"));
  for (QWidget* w : std::initializer_list<QWidget*>{m_alsoOlder, m_alsoSame, operatorLabel, m_operator,
                                                    m_start, m_stop, m_totals})
    controls->addWidget(w);
  controls->addStretch();
  controls->addWidget(m_checkForUpdates);
  controls->addWidget(saveLog);
  layout->addLayout(controls);

  // The panels, in a grid that scrolls.
  auto* grid = new QWidget;
  auto* gridLayout = new QGridLayout(grid);
  const std::size_t count = std::min<std::size_t>(ports.size(), kMaxPanels);
  const int columns = std::clamp(static_cast<int>(count), 1, kMaxColumns);
  for (std::size_t i = 0; i < count; ++i) {
    auto* panel = new PortPanel(ports[i], grid);
    gridLayout->addWidget(panel, static_cast<int>(i) / columns, static_cast<int>(i) % columns);
    m_panels.push_back(panel);
    m_views.push_back(std::make_unique<StationPortView>(*this, static_cast<int>(i)));
  }
  m_sharedView = std::make_unique<StationPortView>(*this, -1);
  m_scroll = new QScrollArea(this);
  m_scroll->setObjectName(QStringLiteral("panels"));
  m_scroll->setWidgetResizable(true);
  m_scroll->setWidget(grid);
  layout->addWidget(m_scroll, 3);

  // The shared log.
  m_edLog = new QTextEdit(this);
  m_edLog->setObjectName(QStringLiteral("log"));
  m_edLog->setReadOnly(true);
  m_edLog->setAcceptRichText(false);
  m_edLog->setLineWrapMode(QTextEdit::WidgetWidth);
  // Each log line is one paragraph: the oldest go as the kept lines do.
  m_edLog->document()->setMaximumBlockCount(kMaxLogLines);
  layout->addWidget(m_edLog, 1);

  connect(m_start, &QPushButton::clicked, this, &StationWindow::OnStart);
  connect(m_stop, &QPushButton::clicked, this, &StationWindow::OnStop);
  connect(m_checkForUpdates, &QPushButton::clicked, this, [this] {
    if (m_control == nullptr || m_programming || m_refreshing) return;
    m_refreshing = true;
    ApplyControls();
    m_control->CheckForUpdates(chosenOptionBits());
  });
  connect(saveLog, &QPushButton::clicked, this, &StationWindow::OnSaveLog);
  connect(m_operator, &QLineEdit::textChanged, this, [this] { ShowSetUp(); });
  // As wide as the panels' columns, the scroll area's frame and scroll bar and the margins.
  const QMargins margins = layout->contentsMargins();
  resize(grid->sizeHint().width() + 2 * m_scroll->frameWidth() +
             m_scroll->verticalScrollBar()->sizeHint().width() + margins.left() + margins.right(),
         640);
  ShowTotals();
  ShowSetUp();
  ApplyControls();
}

StationWindow::~StationWindow() = default;

StationPortView& StationWindow::portView(int panel) {
  return *m_views[static_cast<std::size_t>(panel)];
}

int StationWindow::chosenOptionBits() const {
  int bits = m_options.bits() & ~(app::kOptionAllowOlder | app::kOptionAllowReload);
  if (m_alsoOlder->isChecked()) bits |= app::kOptionAllowOlder;
  if (m_alsoSame->isChecked()) bits |= app::kOptionAllowReload;
  return bits;
}

std::string StationWindow::operatorName() const {
  return m_operator->text().trimmed().toStdString();
}

QString StationWindow::setUpText() const {
  QStringList parts;
  if (!m_setUp.profileName.empty())
    parts << QStringLiteral("Profile: ") + QString::fromStdString(m_setUp.profileName);
  if (!m_setUp.workOrder.empty())
    parts << QStringLiteral("Work order: ") + QString::fromStdString(m_setUp.workOrder);
  const QString name = QString::fromStdString(operatorName());
  parts << QStringLiteral("Operator: ") + (name.isEmpty() ? QStringLiteral("-") : name);
  return parts.join(QStringLiteral("   "));
}

void StationWindow::ShowSetUp() {
  m_setUpLabel->setText(setUpText());
}

PortPanel* StationWindow::PanelAt(int panel) {
  if (panel < 0 || panel >= panelCount()) return nullptr;
  return m_panels[static_cast<std::size_t>(panel)];
}

void StationWindow::ApplyControls() {
  // A refresh ends before a station starts.
  m_start->setEnabled(!m_running && !m_refreshing);
  m_stop->setEnabled(m_running);
  // What to program is chosen before Start, not while devices are being programmed.
  m_alsoOlder->setEnabled(!m_running);
  m_alsoSame->setEnabled(!m_running);
  // The records of a run name one operator: the name is changed between runs only.
  m_operator->setReadOnly(m_running);
  // Offline, there is nothing to check for; never while a device is being programmed.
  m_checkForUpdates->setEnabled(!m_options.offline() && !m_programming && !m_refreshing);
}

void StationWindow::ShowTotals() {
  int programmed = 0;
  int failed = 0;
  for (const PortPanel* p : m_panels) {
    programmed += p->programmedCount();
    failed += p->failedCount();
  }
  m_totals->setText(QStringLiteral("Programmed: %1   Failed: %2").arg(programmed).arg(failed));
}

void StationWindow::OnStart() {
  if (m_running) return;
  const std::string name = operatorName();
  if (m_setUp.operatorRequired && name.empty()) {
    AddLogLine(-1, QStringLiteral("Enter the operator's name beside Start: the profile requires one."),
               false);
    m_operator->setFocus();
    return;
  }
  m_running = true;
  m_stopPresses = 0;
  ApplyControls();
  AddLogLine(-1, QStringLiteral("Station started."), false);
  if (!name.empty()) AddLogLine(-1, setUpText(), true);
  if (m_control != nullptr) m_control->Start(chosenOptionBits(), name);
}

void StationWindow::OnStop() {
  if (!m_running) return;
  // The first Stop lets the devices being programmed finish; a second cuts them.
  ++m_stopPresses;
  AddLogLine(-1,
             !anyProgramming()    ? QStringLiteral("Stopping.")
             : m_stopPresses == 1 ? QStringLiteral("Stopping: the devices being programmed finish first.")
                                  : QStringLiteral("Stopping now: the devices being programmed are cut."),
             false);
  if (m_control != nullptr)
    m_control->Stop(app::StopLevelFor(m_stopPresses));
  else
    ShowStopped();
}

void StationWindow::ShowStopped() {
  m_running = false;
  m_programming = false;
  ApplyControls();
  AddLogLine(-1, QStringLiteral("Station stopped."), false);
}

void StationWindow::AddLogLine(int panel, const QString& text, bool detail) {
  QString line = detail ? QLatin1String(kDetailIndent) + text : text;
  if (const PortPanel* p = PanelAt(panel)) line = p->portName() + QStringLiteral(": ") + line;
  m_logLines.push_back(line);
  while (m_logLines.size() > static_cast<std::size_t>(kMaxLogLines)) {
    m_logLines.pop_front();
    ++m_droppedLogLines;
  }
  m_edLog->append(line);
  m_edLog->verticalScrollBar()->setValue(m_edLog->verticalScrollBar()->maximum());
}

void StationWindow::ShowPortStatus(int panel, const app::StationPortStatus& status) {
  PortPanel* p = PanelAt(panel);
  if (p == nullptr) return;
  p->ShowStatus(status);
  ShowTotals();
}

void StationWindow::ShowProgramming(bool any) {
  m_programming = any;
  ApplyControls();
}

void StationWindow::ShowRefreshDone() {
  m_refreshing = false;
  ApplyControls();
}

QString StationWindow::log() const {
  QString text;
  for (const QString& line : m_logLines) text += line + QStringLiteral("\r\n");
  return text;
}

bool StationWindow::SaveLog(const QString& path) {
  QString text = log();
  if (m_droppedLogLines > 0)
    text.prepend(QStringLiteral("(%1 older %2 dropped: the log keeps its last %3 lines.)\r\n")
                     .arg(m_droppedLogLines)
                     .arg(m_droppedLogLines == 1 ? QStringLiteral("line was") : QStringLiteral("lines were"))
                     .arg(kMaxLogLines));
  const QString why = WriteLogFile(path, text);
  if (why.isEmpty()) return true;
  QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                  QString::fromLatin1(kLogNotSavedText), QMessageBox::Ok, this);
  box.setInformativeText(LogNotSavedDetail(path, why));
  box.exec();
  return false;
}

void StationWindow::OnSaveLog() {
  const QString path = AskLogFilePath(this);
  if (!path.isEmpty()) SaveLog(path);
}

void StationWindow::CloseOnRequest() {
  if (m_askingToQuit && m_openBox != nullptr) {
    m_openBox->done(QMessageBox::Yes);
    return;
  }
  close();
}

void StationWindow::done(int result) {
  if (m_askingToQuit) return;
  if (anyProgramming()) {
    // Stopping in the middle of an erase or an image stream can leave a device needing a raw
    // boot: ask first.
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(),
                    QStringLiteral("A device is being programmed. Quit anyway?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    m_askingToQuit = true;
    m_openBox = &box;
    const int answer = box.exec();
    m_openBox = nullptr;
    m_askingToQuit = false;
    if (answer != QMessageBox::Yes) return;
  }
  QDialog::done(result);
}

}  // namespace window
