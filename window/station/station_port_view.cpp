#include "window/station/station_port_view.h"

#include <QMetaObject>
#include <QThread>

#include "window/shown_text.h"
#include "window/station/station_window.h"

namespace window {

StationPortView::StationPortView(StationWindow& window, int panel) : m_window(window), m_panel(panel) {}

template <typename Call>
void StationPortView::Post(Call call) {
  StationWindow* window = &m_window;
  if (QThread::currentThread() == window->thread()) {
    call(*window);
    return;
  }
  // Queued on the window: dropped unseen if the window goes first.
  QMetaObject::invokeMethod(
      window, [window, call] { call(*window); }, Qt::QueuedConnection);
}

void StationPortView::setPortStatus(const std::string& /*text*/) {}

void StationPortView::setDeviceStatus(const std::string& text) {
  const int panel = m_panel;
  Post([panel, shown = ShownLine(text)](StationWindow& w) { w.NotePanelDeviceStatus(panel, shown); });
}

void StationPortView::setMainStatus(const std::string& /*text*/) {}

void StationPortView::appendLog(const std::string& line) {
  const int panel = m_panel;
  Post([panel, text = ShownLine(line)](StationWindow& w) { w.AddLogLine(panel, text, false); });
}

void StationPortView::detail(const std::string& text) {
  const int panel = m_panel;
  Post([panel, text = ShownLine(text)](StationWindow& w) { w.AddLogLine(panel, text, true); });
}

bool StationPortView::askYesNo(const std::string& text) {
  appendLog(text + " Yes");
  return true;
}

void StationPortView::tell(const std::string& text) {
  appendLog(text);
}

void StationPortView::progress(const StreamProgress& p) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_progress = p;
    if (m_progressPosted) return;
    m_progressPosted = true;
  }
  const int panel = m_panel;
  Post([this, panel](StationWindow& w) {
    StreamProgress latest;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      latest = m_progress;
      m_progressPosted = false;
    }
    w.ShowPanelProgress(panel, latest);
  });
}

void StationPortView::transferActive(bool active) {
  const int panel = m_panel;
  Post([panel, active](StationWindow& w) { w.ShowPanelTransfer(panel, active); });
}

void StationPortView::deviceFound(const std::string& name, const std::string& id,
                                  const std::string& versionNow, const std::string& versionToLoad) {
  const PanelDevice device{ShownLine(name), ShownLine(id), ShownLine(versionNow), ShownLine(versionToLoad)};
  const int panel = m_panel;
  Post([panel, device](StationWindow& w) { w.ShowPanelDevice(panel, device); });
}

void StationPortView::deviceDone(int code, const std::string& versionAfter) {
  const int panel = m_panel;
  Post([panel, code, after = ShownLine(versionAfter)](StationWindow& w) {
    w.ShowPanelResult(panel, code, after);
  });
}

void StationPortView::deviceLeft() {
  const int panel = m_panel;
  Post([panel](StationWindow& w) { w.ShowPanelWaiting(panel); });
}

void StationPortView::portGone() {
  const int panel = m_panel;
  Post([panel](StationWindow& w) { w.ShowPanelGone(panel); });
}

}  // namespace window

namespace window {

void StationPortView::stationStopped() {
  Post([](StationWindow& w) { w.ShowStopped(); });
}

}  // namespace window
