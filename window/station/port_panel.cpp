#include "window/station/port_panel.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "common/load_result.h"
#include "window/port_description.h"
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

QString Versions(const PanelDevice& device) {
  if (device.versionToLoad.isEmpty()) return QStringLiteral("Version V%1").arg(device.versionBefore);
  return QStringLiteral("V%1 -> V%2").arg(device.versionBefore, device.versionToLoad);
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
  ShowWaiting();
  ShowCounts();
}

PortPanel::~PortPanel() = default;

QString PortPanel::portName() const {
  return QString::fromStdString(m_port.comName());
}

QString PortPanel::StateText(PanelState state) {
  switch (state) {
    case PanelState::Waiting:
      return QStringLiteral("Waiting for a device");
    case PanelState::Programming:
      return QStringLiteral("Programming");
    case PanelState::Programmed:
      return QStringLiteral("Programmed");
    case PanelState::Failed:
      return QStringLiteral("Failed");
    case PanelState::UpToDate:
      return QStringLiteral("Already up to date");
    case PanelState::Gone:
      return QStringLiteral("Port gone");
  }
  return {};
}

QColor PortPanel::StateColour(PanelState state) {
  switch (state) {
    case PanelState::Waiting:
      return {225, 225, 225};  // grey
    case PanelState::Programming:
      return {255, 230, 140};  // amber
    case PanelState::Programmed:
      return {150, 220, 150};  // green
    case PanelState::Failed:
      return {240, 140, 140};  // red
    case PanelState::UpToDate:
      return {160, 200, 240};  // blue
    case PanelState::Gone:
      return {170, 170, 170};  // dark grey
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

void PortPanel::ShowCounts() {
  m_counts->setText(QStringLiteral("Programmed: %1   Failed: %2").arg(m_programmed).arg(m_failed));
}

void PortPanel::ShowWaiting() {
  SetState(PanelState::Waiting, {}, {});
}

void PortPanel::ShowProgramming(const PanelDevice& device) {
  // Without an ID apart, the name is the device status line, which says it all.
  if (device.id.isEmpty()) {
    SetState(PanelState::Programming, device.name, {});
    return;
  }
  SetState(PanelState::Programming, QStringLiteral("%1 (ID %2)").arg(device.name, device.id),
           Versions(device));
}

void PortPanel::ShowTransfer(bool active) {
  if (m_state == PanelState::Programming) m_progress->OnTransfer(active);
}

void PortPanel::ShowProgress(const StreamProgress& progress) {
  if (m_state == PanelState::Programming) m_progress->OnProgress(progress);
}

void PortPanel::ShowResult(int code, const PanelDevice& device, const QString& versionAfter) {
  const LoadResultInfo* info = FindLoadResult(code);
  // Without the device reported apart, the result's own text says what happened.
  const QString deviceLine =
      device.id.isEmpty()
          ? (info != nullptr ? QString::fromLatin1(info->logMessage.data(),
                                                   static_cast<qsizetype>(info->logMessage.size()))
                                   .trimmed()
                             : QString())
          : QStringLiteral("ID %1: V%2 -> V%3").arg(device.id, device.versionBefore, versionAfter);
  if (code == RESULT_OK) {
    ++m_programmed;
    SetState(PanelState::Programmed, deviceLine, {});
  } else if (info != nullptr && info->refusal) {
    // Left alone on purpose: the device already has this version (or a later one).
    SetState(
        PanelState::UpToDate,
        device.id.isEmpty() ? QString() : QStringLiteral("ID %1: V%2").arg(device.id, device.versionBefore),
        QString::fromLatin1(info->logMessage.data(), static_cast<qsizetype>(info->logMessage.size())));
  } else if (info == nullptr) {
    // Stopped: only a stop during the erase or the stream leaves the device to recover.
    ++m_failed;
    SetState(PanelState::Failed, QStringLiteral("Stopped."),
             QStringLiteral("If the erase had begun, Raw Boot can recover this device."));
  } else {
    ++m_failed;
    SetState(PanelState::Failed,
             QString::fromLatin1(info->logMessage.data(), static_cast<qsizetype>(info->logMessage.size())),
             info->offerRawBoot ? QStringLiteral("Raw Boot can recover this device.") : QString());
  }
  ShowCounts();
}

void PortPanel::ShowGone() {
  SetState(PanelState::Gone, {}, {});
}

}  // namespace window
