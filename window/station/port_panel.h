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

class PortPanel : public QFrame {
  Q_OBJECT

 public:
  explicit PortPanel(const PortEntry& port, QWidget* parent = nullptr);
  ~PortPanel() override;

  // What the station reports of the port now. Once the station has ended on the port, the
  // last device's result stays in view.
  void ShowStatus(const app::StationPortStatus& status);

  // The port's state as the panel shows it: the station's, but a port that waits after a
  // device run keeps that run's result in view, and a port that ended shows the result it had.
  app::PortState state() const { return m_state; }
  int programmedCount() const { return m_programmed; }
  int failedCount() const { return m_failed; }
  const PortEntry& port() const { return m_port; }
  QString portName() const;

  // The text and the colour of each state (the colours differ from one another).
  static QString StateText(app::PortState state);
  static QColor StateColour(app::PortState state);

 private:
  void SetState(app::PortState state, const QString& line1, const QString& line2);
  // Keeps the result of the device run that ended with `status`.
  void NoteResult(const app::StationPortStatus& status);

  PortEntry m_port;
  app::PortState m_state = app::PortState::Waiting;
  int m_runs = 0;  // the port's device runs shown so far
  int m_programmed = 0;
  int m_failed = 0;
  struct Result {
    app::PortState state = app::PortState::Waiting;
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
