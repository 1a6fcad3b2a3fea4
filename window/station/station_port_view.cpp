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

void StationPortView::status(const app::StationPortStatus& status) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_status = status;
    if (m_statusPosted) return;
    m_statusPosted = true;
  }
  const int panel = m_panel;
  Post([this, panel](StationWindow& w) {
    app::StationPortStatus latest;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      latest = m_status;
      m_statusPosted = false;
    }
    w.ShowPortStatus(panel, latest);
  });
}

void StationPortView::programming(bool any) {
  Post([any](StationWindow& w) { w.ShowProgramming(any); });
}

void StationPortView::stationStopped() {
  Post([](StationWindow& w) { w.ShowStopped(); });
}

void StationPortView::refreshDone() {
  Post([](StationWindow& w) { w.ShowRefreshDone(); });
}

}  // namespace window
