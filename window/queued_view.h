#pragma once
// A LoaderView for workflows that run on another thread than the widgets they report to.
// Every call is carried over to the thread of a context object and handed to a ViewSink
// there; the message boxes hold the calling workflow until the sink has the answer.
// Status texts and stream progress are coalesced: they can change far faster than anyone
// reads them (one per image chunk), so only the latest value of each travels, and at most
// one update of each waits in the queue.

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/loader_view.h"

namespace window {

// The widget side of a QueuedView. Called on the context object's thread only.
class ViewSink {
 public:
  enum class StatusLine { Port, Device, Main };
  enum class Button { Connect, RawBoot, CheckForUpdates };
  enum class Box { Question, Information };

  virtual ~ViewSink() = default;
  virtual void ShowStatus(StatusLine line, const QString& text) = 0;
  virtual void ShowLogLine(const QString& line) = 0;
  virtual void ShowDetail(const QString& text) = 0;
  virtual void EnableButton(Button button, bool on) = 0;
  virtual void ShowPorts(const std::vector<PortEntry>& ports, int selected) = 0;
  virtual void ShowTransfer(bool active) = 0;
  virtual void ShowProgress(const StreamProgress& progress) = 0;
  virtual void ShowCountdown(int secondsLeft, int secondsTotal) = 0;
  // A modal box; true for Yes (or OK).
  virtual bool AskBox(Box kind, const QString& text, const QString& informative) = 0;
};

class QueuedView final : public LoaderView {
 public:
  // `context` names the thread the sink lives on. Calls still queued when the context goes
  // are dropped with it, so the view must not outlive the context.
  QueuedView(QObject& context, ViewSink& sink);
  ~QueuedView() override;
  QueuedView(const QueuedView&) = delete;
  QueuedView& operator=(const QueuedView&) = delete;

  // The widgets are going: boxes still waited for are answered No, later boxes are not
  // shown (No at once), and stopRequested() turns true. Safe to call again.
  void Close();
  bool closed() const { return m_closed.load(); }

  // LoaderView: callable from any thread.
  void setPortStatus(const std::string& text) override;
  void setDeviceStatus(const std::string& text) override;
  void setMainStatus(const std::string& text) override;
  void appendLog(const std::string& line) override;
  void detail(const std::string& text) override;
  void enableConnect(bool on) override;
  void enableRawBoot(bool on) override;
  void enableCheckForUpdates(bool on) override;
  bool askYesNo(const std::string& text) override;
  void tell(const std::string& text) override;
  bool confirm(const std::string& text, const std::string& informative) override;
  void showPorts(const std::vector<PortEntry>& ports, int selected) override;
  void progress(const StreamProgress& p) override;
  void countdown(int secondsLeft, int secondsTotal) override;
  void transferActive(bool active) override;
  // The window is closing: the workflows are being stopped.
  bool stopRequested();

 private:
  struct PendingAnswer;
  static constexpr std::size_t kStatusLines = 3;

  bool OnContextThread() const;
  void Post(std::function<void()> call);
  void PostStatus(ViewSink::StatusLine line, const std::string& text);
  void ShowLatestStatus(ViewSink::StatusLine line);
  void ShowLatestProgress();
  bool Ask(ViewSink::Box kind, const std::string& text, const std::string& informative);

  QObject& m_context;
  ViewSink& m_sink;
  std::mutex m_mutex;
  std::atomic<bool> m_closed{false};
  std::vector<std::shared_ptr<PendingAnswer>> m_pending;  // boxes a workflow waits for
  std::array<std::string, kStatusLines> m_statusText;     // latest text per status line
  std::array<bool, kStatusLines> m_statusPosted{};        // an update is on its way
  StreamProgress m_progress;
  bool m_progressPosted = false;
};

}  // namespace window
