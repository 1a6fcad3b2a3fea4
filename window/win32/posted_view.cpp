#include "window/win32/posted_view.h"

#include <condition_variable>
#include <utility>

#include "window/win32/wide_text.h"

namespace window::win32 {

// A message box a workflow waits for: answered once, by the user or by the closing view.
struct PostedView::PendingAnswer {
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

PostedView::PostedView(DialogSink& sink) : m_sink(sink), m_threadId(GetCurrentThreadId()) {}

PostedView::~PostedView() {
  Close();
}

void PostedView::Attach(HWND dialog) {
  std::vector<std::function<void()>> early;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dialog = dialog;
    early.swap(m_early);
  }
  for (auto& call : early) Post(std::move(call));
}

void PostedView::RunPosted(LPARAM lParam) {
  std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lParam));
  if (call && *call) (*call)();
}

void PostedView::Post(std::function<void()> call) {
  HWND dialog = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    dialog = m_dialog;
    if (dialog == nullptr) {
      m_early.push_back(std::move(call));
      return;
    }
  }
  if (OnDialogThread()) {
    call();
    return;
  }
  auto owned = std::make_unique<std::function<void()>>(std::move(call));
  // A dialog already gone takes no more calls: they are dropped.
  if (PostMessageW(dialog, kPostedCall, 0, reinterpret_cast<LPARAM>(owned.get())) != 0) (void)owned.release();
}

void PostedView::PostStatus(DialogSink::StatusLine line, const std::string& text) {
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

void PostedView::ShowLatestStatus(DialogSink::StatusLine line) {
  const auto index = static_cast<std::size_t>(line);
  std::string text;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    text = m_statusText[index];
    m_statusPosted[index] = false;
  }
  m_sink.ShowStatus(line, ShownLine(text));
}

void PostedView::setPortStatus(const std::string& text) {
  PostStatus(DialogSink::StatusLine::Port, text);
}
void PostedView::setDeviceStatus(const std::string& text) {
  PostStatus(DialogSink::StatusLine::Device, text);
}
void PostedView::setMainStatus(const std::string& text) {
  PostStatus(DialogSink::StatusLine::Main, text);
}

void PostedView::appendLog(const std::string& line) {
  Post([this, text = ShownLine(line)] { m_sink.ShowLogLine(text); });
}

void PostedView::detail(const std::string& text) {
  Post([this, shown = ShownLine(text)] { m_sink.ShowDetail(shown); });
}

void PostedView::enableConnect(bool on) {
  Post([this, on] { m_sink.EnableButton(DialogSink::Button::Connect, on); });
}
void PostedView::enableRawBoot(bool on) {
  Post([this, on] { m_sink.EnableButton(DialogSink::Button::RawBoot, on); });
}
void PostedView::enableCheckForUpdates(bool on) {
  Post([this, on] { m_sink.EnableButton(DialogSink::Button::CheckForUpdates, on); });
}

void PostedView::showPorts(const std::vector<PortEntry>& ports, int selected) {
  Post([this, ports, selected] { m_sink.ShowPorts(ports, selected); });
}

void PostedView::progress(const StreamProgress& p) {
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_progress = p;
    post = !m_progressPosted;
    m_progressPosted = true;
  }
  if (post) Post([this] { ShowLatestProgress(); });
}

void PostedView::ShowLatestProgress() {
  StreamProgress p;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    p = m_progress;
    m_progressPosted = false;
  }
  m_sink.ShowProgress(p);
}

void PostedView::countdown(int secondsLeft, int secondsTotal) {
  Post([this, secondsLeft, secondsTotal] { m_sink.ShowCountdown(secondsLeft, secondsTotal); });
}

void PostedView::transferActive(bool active) {
  Post([this, active] { m_sink.ShowTransfer(active); });
}

bool PostedView::askYesNo(const std::string& text) {
  return Ask(DialogSink::Box::Question, text, {});
}

void PostedView::tell(const std::string& text) {
  Ask(DialogSink::Box::Information, text, {});
}

bool PostedView::confirm(const std::string& text, const std::string& informative) {
  return Ask(DialogSink::Box::Question, text, informative);
}

bool PostedView::Ask(DialogSink::Box kind, const std::string& text, const std::string& informative) {
  const std::wstring shown = ShownLines(text);
  const std::wstring more = ShownLines(informative);
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

void PostedView::Close() {
  std::vector<std::shared_ptr<PendingAnswer>> pending;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    pending = m_pending;
  }
  for (const auto& p : pending) p->Answer(false);
}

}  // namespace window::win32
