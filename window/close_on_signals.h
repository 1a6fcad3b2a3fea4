#pragma once
// SIGTERM and SIGHUP close the window as the user would: the signal handler only writes the
// signal's number into a pipe (all it may safely do); the window's thread reads it there and
// asks the window to close. During an erase or an image stream the window asks first, and a
// second signal answers that question Yes. The program then ends with 128 + the number of
// the first signal, as a shell reports a program a signal ended.

#include <QObject>
#include <functional>

class QSocketNotifier;

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

  bool installed() const { return m_installed; }
  // The first signal's number, 0 while none came.
  int firstSignal() const { return m_first; }
  int signalsSeen() const { return m_seen; }
  // 128 + the first signal's number, or `otherwise` when none came.
  int ExitStatus(int otherwise) const { return m_first != 0 ? 128 + m_first : otherwise; }

 private:
  void Drain();

  std::function<void()> m_closeRequest;
  int m_pipe[2] = {-1, -1};
  QSocketNotifier* m_notifier = nullptr;
  bool m_installed = false;
  int m_first = 0;
  int m_seen = 0;
};

}  // namespace window
