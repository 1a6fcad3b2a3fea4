#include "window/queued_view.h"

#include <QThread>
#include <condition_variable>
#include <utility>

#include "window/shown_text.h"

namespace window {

// A message box a workflow waits for: answered once, by the user or by the closing view.
struct QueuedView::PendingAnswer {
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  bool yes = false;

  void Answer(bool value) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (done) return;
      done = true;
      yes = value;
    }
    answered.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    answered.wait(lock, [this] { return done; });
    return yes;
  }
  bool Done() {
    std::lock_guard<std::mutex> lock(mutex);
    return done;
  }
};

QueuedView::QueuedView(QObject& context, ViewSink& sink) : m_context(context), m_sink(sink) {}

QueuedView::~QueuedView() {
  Close();
}

bool QueuedView::OnContextThread() const {
  return QThread::currentThread() == m_context.thread();
}

void QueuedView::Post(std::function<void()> call) {
  if (OnContextThread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(&m_context, std::move(call), Qt::QueuedConnection);
}

void QueuedView::PostStatus(ViewSink::StatusLine line, const std::string& text) {
  const auto index = static_cast<std::size_t>(line);
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_statusText[index] = text;
    post = !m_statusPosted[index];
    m_statusPosted[index] = true;
  }
  if (post) Post([this, line] { ShowLatestStatus(line); });
}

void QueuedView::ShowLatestStatus(ViewSink::StatusLine line) {
  const auto index = static_cast<std::size_t>(line);
  std::string text;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    text = m_statusText[index];
    m_statusPosted[index] = false;
  }
  m_sink.ShowStatus(line, ShownLine(text));
}

void QueuedView::setPortStatus(const std::string& text) {
  PostStatus(ViewSink::StatusLine::Port, text);
}
void QueuedView::setDeviceStatus(const std::string& text) {
  PostStatus(ViewSink::StatusLine::Device, text);
}
void QueuedView::setMainStatus(const std::string& text) {
  PostStatus(ViewSink::StatusLine::Main, text);
}

void QueuedView::appendLog(const std::string& line) {
  Post([this, text = ShownLine(line)] { m_sink.ShowLogLine(text); });
}

void QueuedView::detail(const std::string& text) {
  Post([this, shown = ShownLine(text)] { m_sink.ShowDetail(shown); });
}

void QueuedView::enableConnect(bool on) {
  Post([this, on] { m_sink.EnableButton(ViewSink::Button::Connect, on); });
}
void QueuedView::enableRawBoot(bool on) {
  Post([this, on] { m_sink.EnableButton(ViewSink::Button::RawBoot, on); });
}
void QueuedView::enableCheckForUpdates(bool on) {
  Post([this, on] { m_sink.EnableButton(ViewSink::Button::CheckForUpdates, on); });
}

void QueuedView::showPorts(const std::vector<PortEntry>& ports, int selected) {
  Post([this, ports, selected] { m_sink.ShowPorts(ports, selected); });
}

void QueuedView::progress(const StreamProgress& p) {
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_progress = p;
    post = !m_progressPosted;
    m_progressPosted = true;
  }
  if (post) Post([this] { ShowLatestProgress(); });
}

void QueuedView::ShowLatestProgress() {
  StreamProgress p;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    p = m_progress;
    m_progressPosted = false;
  }
  m_sink.ShowProgress(p);
}

void QueuedView::countdown(int secondsLeft, int secondsTotal) {
  Post([this, secondsLeft, secondsTotal] { m_sink.ShowCountdown(secondsLeft, secondsTotal); });
}

void QueuedView::transferActive(bool active) {
  Post([this, active] { m_sink.ShowTransfer(active); });
}

bool QueuedView::stopRequested() {
  return m_closed.load();
}

bool QueuedView::askYesNo(const std::string& text) {
  return Ask(ViewSink::Box::Question, text, {});
}

void QueuedView::tell(const std::string& text) {
  Ask(ViewSink::Box::Information, text, {});
}

bool QueuedView::confirm(const std::string& text, const std::string& informative) {
  return Ask(ViewSink::Box::Question, text, informative);
}

bool QueuedView::Ask(ViewSink::Box kind, const std::string& text, const std::string& informative) {
  const QString shown = ShownLines(text);
  const QString more = ShownLines(informative);
  auto pending = std::make_shared<PendingAnswer>();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    // A closing view answers No at once: the workflow is on its way out.
    if (m_closed) return false;
    m_pending.push_back(pending);
  }
  Post([this, pending, kind, shown, more] {
    if (pending->Done()) return;  // answered No by Close()
    pending->Answer(m_sink.AskBox(kind, shown, more));
  });
  const bool yes = pending->Wait();
  std::lock_guard<std::mutex> lock(m_mutex);
  std::erase(m_pending, pending);
  return yes;
}

void QueuedView::Close() {
  std::vector<std::shared_ptr<PendingAnswer>> pending;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    pending = m_pending;
  }
  for (const auto& p : pending) p->Answer(false);
}

}  // namespace window
