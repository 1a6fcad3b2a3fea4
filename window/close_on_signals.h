#pragma once
// SIGTERM and SIGHUP (on Windows: the console closing, logoff and shutdown) close the window as
// the user would: the platform's watch hands each signal to a thread of its own, which passes
// it on to the window's thread, which asks the window to close. During an erase or an image
// stream the window asks first, and a second signal answers that question Yes. The program then ends with 128
// + the number of the first signal, as a shell reports a program a signal ended.

#include <QObject>
#include <functional>
#include <memory>

namespace platform {
class CloseSignalWatch;
}

namespace window {

class CloseOnSignals : public QObject {
  Q_OBJECT

 public:
  // `closeRequest` runs on this object's thread once per signal. One instance at a time;
  // it restores the signals' earlier handling when it goes.
  explicit CloseOnSignals(std::function<void()> closeRequest, QObject* parent = nullptr);
  ~CloseOnSignals() override;
  CloseOnSignals(const CloseOnSignals&) = delete;
  CloseOnSignals& operator=(const CloseOnSignals&) = delete;

  bool installed() const;
  // The first signal's number, 0 while none came.
  int firstSignal() const { return m_first; }
  int signalsSeen() const { return m_seen; }
  // 128 + the first signal's number, or `otherwise` when none came.
  int ExitStatus(int otherwise) const { return m_first != 0 ? 128 + m_first : otherwise; }

 private:
  void OnSignal(int number);

  std::function<void()> m_closeRequest;
  std::unique_ptr<platform::CloseSignalWatch> m_watch;
  int m_first = 0;
  int m_seen = 0;
};

}  // namespace window
