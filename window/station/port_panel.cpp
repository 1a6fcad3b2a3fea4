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

QString PortPanel::StateText(PanelState state) {
  switch (state) {
    case PanelState::Waiting:
      return QStringLiteral("Waiting for a device");
    case PanelState::Checking:
      return QStringLiteral("Checking");
    case PanelState::Programming:
      return QStringLiteral("Programming");
    case PanelState::Programmed:
      return QStringLiteral("Programmed");
    case PanelState::Failed:
      return QStringLiteral("Failed");
    case PanelState::UpToDate:
      return QStringLiteral("Already up to date");
    case PanelState::NotApproved:
      return QStringLiteral("Image not approved");
    case PanelState::Gone:
      return QStringLiteral("Port gone");
    case PanelState::Stopped:
      return QStringLiteral("Stopped");
  }
  return {};
}

QColor PortPanel::StateColour(PanelState state) {
  switch (state) {
    case PanelState::Waiting:
      return {225, 225, 225};  // grey
    case PanelState::Checking:
      return {255, 250, 200};  // pale yellow
    case PanelState::Programming:
      return {255, 230, 140};  // amber
    case PanelState::Programmed:
      return {150, 220, 150};  // green
    case PanelState::Failed:
      return {240, 140, 140};  // red
    case PanelState::UpToDate:
      return {160, 200, 240};  // blue
    case PanelState::NotApproved:
      return {200, 170, 230};  // violet
    case PanelState::Gone:
      return {170, 170, 170};  // dark grey
    case PanelState::Stopped:
      return {250, 250, 250};  // white
  }
  return {};
}

void PortPanel::SetState(PanelState state, const QString& line1, const QString& line2) {
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
  if (state != PanelState::Programming) m_progress->OnTransfer(false);
}

void PortPanel::ShowStatus(const app::StationPortStatus& status) {
  using app::StationState;
  // A device run ended since the last status shown: its result, by the count that grew (a
  // status in between may have been passed over).
  if (status.programmed > m_programmed)
    NoteResult(status, PanelState::Programmed);
  else if (status.failed > m_failed)
    NoteResult(status, PanelState::Failed);
  else if (status.refused > m_refused)
    NoteResult(status, status.result == RESULT_NOT_APPROVED ? PanelState::NotApproved : PanelState::UpToDate);
  m_programmed = status.programmed;
  m_failed = status.failed;
  m_refused = status.refused;
  m_counts->setText(QStringLiteral("Programmed: %1   Failed: %2").arg(m_programmed).arg(m_failed));
  const app::StationDevice& device = status.device;
  switch (status.state) {
    case StationState::Waiting:
      // The last device's result stays in sight until the next device answers.
      SetState(PanelState::Waiting,
               m_last.line1.isEmpty() ? QString() : QStringLiteral("Last: ") + m_last.line1, m_last.line2);
      return;
    case StationState::Checking:
      SetState(PanelState::Checking, DeviceLine(device),
               QStringLiteral("Version V%1").arg(Shown(device.versionBefore)));
      return;
    case StationState::Programming: {
      const bool begins = m_state != PanelState::Programming;
      SetState(
          PanelState::Programming, DeviceLine(device),
          device.versionTarget.empty()
              ? QStringLiteral("Version V%1").arg(Shown(device.versionBefore))
              : QStringLiteral("V%1 -> V%2").arg(Shown(device.versionBefore), Shown(device.versionTarget)));
      // Busy while the device erases; the share sent and the time left once the image streams.
      if (begins) m_progress->OnTransfer(true);
      m_progress->OnProgress(status.progress);
      return;
    }
    case StationState::Programmed:
    case StationState::Failed:
    case StationState::UpToDate:
      SetState(m_last.state, m_last.line1, m_last.line2);
      return;
    case StationState::PortGone:
      SetState(PanelState::Gone, {}, {});
      return;
    case StationState::Ended:
      // The last device's result stays in view.
      if (m_state != PanelState::Programmed && m_state != PanelState::Failed &&
          m_state != PanelState::UpToDate && m_state != PanelState::NotApproved)
        SetState(PanelState::Stopped, {}, {});
      return;
  }
}

void PortPanel::NoteResult(const app::StationPortStatus& status, PanelState state) {
  const app::StationDevice& device = status.device;
  const QString id = QString::number(device.id);
  const LoadResultInfo* info = FindLoadResult(status.result);
  m_last.state = state;
  if (state == PanelState::Programmed) {
    m_last.line1 =
        QStringLiteral("ID %1: V%2 -> V%3").arg(id, Shown(device.versionBefore), Shown(device.versionAfter));
    m_last.line2.clear();
  } else if (state == PanelState::UpToDate || state == PanelState::NotApproved) {
    // Left alone on purpose: the device already has this version (or a later one), or the
    // profile does not approve the image it would get.
    m_last.line1 = QStringLiteral("ID %1: V%2").arg(id, Shown(device.versionBefore));
    m_last.line2 = info != nullptr ? Shown(info->logMessage).trimmed() : QString();
  } else if (status.stopped || info == nullptr) {
    // Only a stop during the erase or the stream leaves the device to recover.
    m_last.line1 = QStringLiteral("ID %1: stopped.").arg(id);
    m_last.line2 = QStringLiteral("If the erase had begun, Raw Boot can recover this device.");
  } else {
    m_last.line1 = QStringLiteral("ID %1: %2").arg(id, Shown(info->logMessage).trimmed());
    m_last.line2 = info->offerRawBoot ? QStringLiteral("Raw Boot can recover this device.") : QString();
  }
}

}  // namespace window
