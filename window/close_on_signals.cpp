#include "window/close_on_signals.h"

#include <QMetaObject>
#include <utility>

#include "platform/stop_signals.h"

namespace window {

CloseOnSignals::CloseOnSignals(std::function<void()> closeRequest, QObject* parent)
    : QObject(parent), m_closeRequest(std::move(closeRequest)) {
  // The watch calls on a thread of its own: the signal is taken to this object's thread.
  m_watch = std::make_unique<platform::CloseSignalWatch>([this](int number) {
    QMetaObject::invokeMethod(
        this, [this, number] { OnSignal(number); }, Qt::QueuedConnection);
  });
  if (!m_watch->installed()) m_watch.reset();  // another instance has them
}

CloseOnSignals::~CloseOnSignals() {
  // First: no call of the watch may come while this object goes; calls posted already go
  // with it.
  m_watch.reset();
}

bool CloseOnSignals::installed() const {
  return m_watch != nullptr;
}

void CloseOnSignals::OnSignal(int number) {
  if (m_first == 0) m_first = number;
  ++m_seen;
  // From the event loop: closing may open a question box with a loop of its own, and the next
  // signal is taken there while it is open.
  if (m_closeRequest) m_closeRequest();
}

}  // namespace window
