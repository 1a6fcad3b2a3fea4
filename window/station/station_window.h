#pragma once
// The station window: plug a device into a listed port and it is programmed, until Stop. One
// panel per listed port in a grid that scrolls (1 to 32 ports), and above it what to program (newer images;
// also older; also the same version, preset from the option bits), Start and Stop for the whole station, the
// totals, Check for Updates (only while no device is being programmed; it refreshes the firmware between
// devices), and a shared log whose lines start with their port, with Save Log. It asks nothing per device.
// Closing it while a device is being programmed asks first; a close request from outside (a signal) while
// that question is open answers it Yes.

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/options.h"
#include "common/loader_view.h"
#include "window/station/port_panel.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTextEdit;

namespace window {

// What the station runs under, shown in the window's header: the station profile's name, the
// work order and the operator (the field beside Start, preset from here).
struct StationSetUp {
  std::string profileName;  // empty without a profile
  std::string workOrder;
  std::string operatorName;
  bool operatorRequired = false;  // Start waits for an operator's name
};

class StationControl;
class StationPortView;

class StationWindow : public QDialog {
  Q_OBJECT

 public:
  // One panel per port, in the order given. `options` presets what to program.
  StationWindow(const std::vector<PortEntry>& ports, const app::Options& options, QWidget* parent = nullptr);
  StationWindow(const std::vector<PortEntry>& ports, const app::Options& options, StationSetUp setUp,
                QWidget* parent = nullptr);
  ~StationWindow() override;

  // The station behind the buttons (not owned; must outlive the window's use of it). Without
  // one, Start, Stop and Check for Updates do nothing.
  void SetControl(StationControl* control) { m_control = control; }

  // Where the station reports: one view per panel, and one for the shared part.
  StationPortView& portView(int panel);
  StationPortView& sharedView() { return *m_sharedView; }

  // The option bits Start hands to the station, from what to program.
  int chosenOptionBits() const;
  // The operator's name as typed (blanks at its ends dropped).
  std::string operatorName() const;
  // "Profile: Line 3   Work order: WO-7   Operator: Ana": the header's text.
  QString setUpText() const;
  bool running() const { return m_running; }
  bool anyProgramming() const { return m_programming; }
  bool refreshing() const { return m_refreshing; }
  int panelCount() const { return static_cast<int>(m_panels.size()); }
  PortPanel& panel(int index) { return *m_panels[static_cast<std::size_t>(index)]; }
  // The shared log keeps its last kMaxLogLines lines, so that a station left running for days
  // does not grow without end; the window's log shows the same lines.
  static constexpr int kMaxLogLines = 10000;
  // The shared log as kept ("\r\n" after each line).
  QString log() const;
  // How many older lines the shared log has dropped.
  long long droppedLogLines() const { return m_droppedLogLines; }
  // Writes the log as kept; when older lines were dropped, its first line says how many.
  bool SaveLog(const QString& path);

  // A request to close from outside (a termination signal).
  void CloseOnRequest();
  void done(int result) override;

  // What the StationPortViews deliver, on the window's thread. `panel` -1: the shared part.
  void AddLogLine(int panel, const QString& text, bool detail);
  void ShowPortStatus(int panel, const app::StationPortStatus& status);
  // Whether some device is being erased or programmed now.
  void ShowProgramming(bool any);
  // A Check for Updates has ended.
  void ShowRefreshDone();
  // The station has stopped (after Stop, or when its start-up preparation failed).
  void ShowStopped();

 private:
  PortPanel* PanelAt(int panel);
  void OnStart();
  void OnStop();
  void OnSaveLog();
  void ApplyControls();
  void ShowTotals();
  void ShowSetUp();

  app::Options m_options;
  StationSetUp m_setUp;
  StationControl* m_control = nullptr;
  std::vector<PortPanel*> m_panels;  // owned by the grid
  std::vector<std::unique_ptr<StationPortView>> m_views;
  std::unique_ptr<StationPortView> m_sharedView;

  QCheckBox* m_alsoOlder = nullptr;
  QCheckBox* m_alsoSame = nullptr;
  QLabel* m_setUpLabel = nullptr;
  QLineEdit* m_operator = nullptr;
  QPushButton* m_start = nullptr;
  QPushButton* m_stop = nullptr;
  QPushButton* m_checkForUpdates = nullptr;
  QLabel* m_totals = nullptr;
  QScrollArea* m_scroll = nullptr;
  QTextEdit* m_edLog = nullptr;
  std::deque<QString> m_logLines;  // the last kMaxLogLines lines of the shared log
  long long m_droppedLogLines = 0;

  bool m_running = false;
  int m_stopPresses = 0;       // since the last Start
  bool m_programming = false;  // some device is being erased or programmed
  bool m_refreshing = false;   // a Check for Updates runs
  bool m_askingToQuit = false;
  QMessageBox* m_openBox = nullptr;
};

}  // namespace window
