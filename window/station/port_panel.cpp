#include "window/station/port_panel.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "common/load_result.h"
#include "window/port_description.h"
#include "window/shown_text.h"
#include "window/transfer_progress.h"

namespace window {

namespace {

constexpr int kPanelWidth = 260;

QLabel* AddLabel(QVBoxLayout& layout, QWidget* parent, const QString& objectName) {
  auto* label = new QLabel(parent);
  label->setObjectName(objectName);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  layout.addWidget(label);
  return label;
}

QString Shown(std::string_view text) {
  return ShownLine(text);
}

// "VORnet Amp (ID 11456)".
QString DeviceLine(const app::StationDevice& device) {
  return QStringLiteral("%1 (ID %2)").arg(Shown(device.name)).arg(device.id);
}

}  // namespace

PortPanel::PortPanel(const PortEntry& port, QWidget* parent) : QFrame(parent), m_port(port) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  setObjectName(portName());
  setFixedWidth(kPanelWidth);
  auto* layout = new QVBoxLayout(this);
  QLabel* name = AddLabel(*layout, this, QStringLiteral("port"));
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  name->setText(portName());
  // The device path and what the adapter tells of itself, one per line.
  AddLabel(*layout, this, QStringLiteral("identity"))->setText(PortDescription(port));
  m_stateLabel = AddLabel(*layout, this, QStringLiteral("state"));
  m_stateLabel->setAutoFillBackground(true);
  m_stateLabel->setAlignment(Qt::AlignCenter);
  m_stateLabel->setMargin(4);
  m_line1 = AddLabel(*layout, this, QStringLiteral("line1"));
  m_line2 = AddLabel(*layout, this, QStringLiteral("line2"));
  m_bar = new QProgressBar(this);
  m_bar->setObjectName(QStringLiteral("progress"));
  layout->addWidget(m_bar);
  m_progress = std::make_unique<TransferProgress>(*m_bar);
  m_counts = AddLabel(*layout, this, QStringLiteral("counts"));
  layout->addStretch();
  ShowStatus(app::StationPortStatus{});
}

PortPanel::~PortPanel() = default;

QString PortPanel::portName() const {
  return QString::fromStdString(m_port.comName());
}

QString PortPanel::StateText(app::PortState state) {
  using app::PortState;
  switch (state) {
    case PortState::Ready:
    case PortState::Waiting:
      return QStringLiteral("Waiting for a device");
    case PortState::Checking:
      return QStringLiteral("Checking");
    case PortState::Programming:
      return QStringLiteral("Programming");
    case PortState::Programmed:
      return QStringLiteral("Programmed");
    case PortState::Failed:
      return QStringLiteral("Failed");
    case PortState::UpToDate:
      return QStringLiteral("Already up to date");
    case PortState::NotApproved:
      return QStringLiteral("Image not approved");
    case PortState::PortGone:
      return QStringLiteral("Port gone");
    case PortState::Ended:
      return QStringLiteral("Stopped");
  }
  return {};
}

QColor PortPanel::StateColour(app::PortState state) {
  using app::PortState;
  switch (state) {
    case PortState::Ready:
    case PortState::Waiting:
      return {225, 225, 225};  // grey
    case PortState::Checking:
      return {255, 250, 200};  // pale yellow
    case PortState::Programming:
      return {255, 230, 140};  // amber
    case PortState::Programmed:
      return {150, 220, 150};  // green
    case PortState::Failed:
      return {240, 140, 140};  // red
    case PortState::UpToDate:
      return {160, 200, 240};  // blue
    case PortState::NotApproved:
      return {200, 170, 230};  // violet
    case PortState::PortGone:
      return {170, 170, 170};  // dark grey
    case PortState::Ended:
      return {250, 250, 250};  // white
  }
  return {};
}

void PortPanel::SetState(app::PortState state, const QString& line1, const QString& line2) {
  m_state = state;
  m_stateLabel->setText(StateText(state));
  QPalette palette = m_stateLabel->palette();
  palette.setColor(QPalette::Window, StateColour(state));
  palette.setColor(QPalette::WindowText, Qt::black);
  m_stateLabel->setPalette(palette);
  m_line1->setText(line1);
  m_line1->setVisible(!line1.isEmpty());
  m_line2->setText(line2);
  m_line2->setVisible(!line2.isEmpty());
  if (state != app::PortState::Programming) m_progress->OnTransfer(false);
}

void PortPanel::ShowStatus(const app::StationPortStatus& status) {
  using app::PortState;
  // A device run ended since the last status shown (a status in between may have been passed
  // over): its result, as the status tells it.
  if (status.runs > m_runs) NoteResult(status);
  m_runs = status.runs;
  m_programmed = status.programmed;
  m_failed = status.failed;
  m_counts->setText(QStringLiteral("Programmed: %1   Failed: %2").arg(m_programmed).arg(m_failed));
  const app::StationDevice& device = status.device;
  switch (status.state) {
    case PortState::Ready:
    case PortState::Waiting:
      // The last device's result stays in sight until the next device answers.
      SetState(PortState::Waiting,
               m_last.line1.isEmpty() ? QString() : QStringLiteral("Last: ") + m_last.line1, m_last.line2);
      return;
    case PortState::Checking:
      SetState(PortState::Checking, DeviceLine(device),
               QStringLiteral("Version V%1").arg(Shown(device.versionBefore)));
      return;
    case PortState::Programming: {
      const bool begins = m_state != PortState::Programming;
      SetState(
          PortState::Programming, DeviceLine(device),
          device.versionTarget.empty()
              ? QStringLiteral("Version V%1").arg(Shown(device.versionBefore))
              : QStringLiteral("V%1 -> V%2").arg(Shown(device.versionBefore), Shown(device.versionTarget)));
      // Busy while the device erases; the share sent and the time left once the image streams.
      if (begins) m_progress->OnTransfer(true);
      m_progress->OnProgress(status.progress);
      return;
    }
    case PortState::Programmed:
    case PortState::Failed:
    case PortState::UpToDate:
    case PortState::NotApproved:
      SetState(m_last.state, m_last.line1, m_last.line2);
      return;
    case PortState::PortGone:
      SetState(PortState::PortGone, {}, {});
      return;
    case PortState::Ended:
      // The last device's result stays in view.
      if (!app::HoldsAResult(m_state)) SetState(PortState::Ended, {}, {});
      return;
  }
}

void PortPanel::NoteResult(const app::StationPortStatus& status) {
  using app::PortState;
  const app::StationDevice& device = status.device;
  const QString id = QString::number(device.id);
  const LoadResultInfo* info = FindLoadResult(status.result);
  const RunOutcome outcome = status.stopped ? RunOutcome::Stopped : OutcomeOfResult(status.result);
  switch (outcome) {
    case RunOutcome::Programmed:
      m_last.state = PortState::Programmed;
      m_last.line1 = QStringLiteral("ID %1: V%2 -> V%3")
                         .arg(id, Shown(device.versionBefore), Shown(device.versionAfter));
      m_last.line2.clear();
      return;
    case RunOutcome::Refused:
      // Left alone on purpose: the device already has this version (or a later one), or the
      // profile does not approve the image it would get.
      m_last.state = status.result == RESULT_NOT_APPROVED ? PortState::NotApproved : PortState::UpToDate;
      m_last.line1 = QStringLiteral("ID %1: V%2").arg(id, Shown(device.versionBefore));
      m_last.line2 = info != nullptr ? Shown(info->logMessage).trimmed() : QString();
      return;
    case RunOutcome::Failed:
    case RunOutcome::Stopped:
      m_last.state = PortState::Failed;
      if (outcome == RunOutcome::Stopped || info == nullptr) {
        // Only a stop during the erase or the stream leaves the device to recover.
        m_last.line1 = QStringLiteral("ID %1: stopped.").arg(id);
        m_last.line2 = QStringLiteral("If the erase had begun, Raw Boot can recover this device.");
      } else {
        m_last.line1 = QStringLiteral("ID %1: %2").arg(id, Shown(info->logMessage).trimmed());
        m_last.line2 = info->offerRawBoot ? QStringLiteral("Raw Boot can recover this device.") : QString();
      }
      return;
  }
}

}  // namespace window
