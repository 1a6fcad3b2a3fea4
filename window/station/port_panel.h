#pragma once
// One port of the station window: the port's name, its device path and USB identity, and
// what happens on it now, each state in its own colour: waiting for a device, checking the
// device that answered, programming (the device, the versions, a bar with the time left),
// programmed (ID, version before -> after), failed (the result's text, and a hint when Raw
// Boot can recover the device), already up to date, the port gone, or stopped with the
// station. It counts the devices it programmed and failed.

#include <QColor>
#include <QFrame>
#include <QString>
#include <memory>

#include "app/station/station.h"
#include "common/loader_view.h"

class QLabel;
class QProgressBar;

namespace window {

class TransferProgress;

// NotApproved: left alone because the station profile does not approve its image.
enum class PanelState {
  Waiting,
  Checking,
  Programming,
  Programmed,
  Failed,
  UpToDate,
  NotApproved,
  Gone,
  Stopped
};

class PortPanel : public QFrame {
  Q_OBJECT

 public:
  explicit PortPanel(const PortEntry& port, QWidget* parent = nullptr);
  ~PortPanel() override;

  // What the station reports of the port now. Once the station has ended on the port, the
  // last device's result stays in view.
  void ShowStatus(const app::StationPortStatus& status);

  PanelState state() const { return m_state; }
  int programmedCount() const { return m_programmed; }
  int failedCount() const { return m_failed; }
  const PortEntry& port() const { return m_port; }
  QString portName() const;

  // The text and the colour of each state (the colours differ from one another).
  static QString StateText(PanelState state);
  static QColor StateColour(PanelState state);

 private:
  void SetState(PanelState state, const QString& line1, const QString& line2);
  // Keeps the result of the device run that ended with `status` as `state` shows it.
  void NoteResult(const app::StationPortStatus& status, PanelState state);

  PortEntry m_port;
  PanelState m_state = PanelState::Waiting;
  int m_programmed = 0;
  int m_failed = 0;
  int m_refused = 0;
  struct Result {
    PanelState state = PanelState::Waiting;
    QString line1, line2;
  } m_last;  // the last device run's result
  QLabel* m_stateLabel = nullptr;
  QLabel* m_line1 = nullptr;  // the device, or the result
  QLabel* m_line2 = nullptr;  // the versions, or the hint
  QLabel* m_counts = nullptr;
  QProgressBar* m_bar = nullptr;
  std::unique_ptr<TransferProgress> m_progress;
};

}  // namespace window
