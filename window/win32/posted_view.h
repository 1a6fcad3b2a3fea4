#pragma once
// A LoaderView for workflows that run on another thread than the dialog they report to.
// Every call is posted to the dialog's thread as a window message and handed to a DialogSink
// there; the message boxes hold the calling workflow until the sink has the answer. Status
// texts and stream progress are coalesced: only the latest value of each travels, and at most
// one update of each waits in the message queue.

#include <windows.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/loader_view.h"

namespace window::win32 {

// The dialog's side of a PostedView. Called on the dialog's thread only.
class DialogSink {
 public:
  enum class StatusLine { Port, Device, Main };
  enum class Button { Connect, RawBoot, CheckForUpdates };
  enum class Box { Question, Information };

  virtual ~DialogSink() = default;
  virtual void ShowStatus(StatusLine line, const std::wstring& text) = 0;
  virtual void ShowLogLine(const std::wstring& line) = 0;
  virtual void ShowDetail(const std::wstring& text) = 0;
  virtual void EnableButton(Button button, bool on) = 0;
  virtual void ShowPorts(const std::vector<PortEntry>& ports, int selected) = 0;
  virtual void ShowTransfer(bool active) = 0;
  virtual void ShowProgress(const StreamProgress& progress) = 0;
  virtual void ShowCountdown(int secondsLeft, int secondsTotal) = 0;
  // A modal box; true for Yes (or OK).
  virtual bool AskBox(Box kind, const std::wstring& text, const std::wstring& informative) = 0;
};

class PostedView final : public LoaderView {
 public:
  // The message that carries a posted call: its LPARAM owns a std::function<void()>.
  static constexpr UINT kPostedCall = WM_APP + 1;

  // Made on the dialog's thread: that thread is the one the sink is called on.
  explicit PostedView(DialogSink& sink);
  ~PostedView() override;
  PostedView(const PostedView&) = delete;
  PostedView& operator=(const PostedView&) = delete;

  // The dialog's window, once it exists: calls made before go to it then, in order.
  void Attach(HWND dialog);
  // The dialog procedure's handling of kPostedCall.
  static void RunPosted(LPARAM lParam);

  // Carries `call` to the dialog's thread (runs it at once when already there).
  void Post(std::function<void()> call);

  // The dialog is going: boxes still waited for are answered No, later boxes are not shown
  // (No at once). Safe to call again.
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

 private:
  struct PendingAnswer;
  static constexpr std::size_t kStatusLines = 3;

  bool OnDialogThread() const { return GetCurrentThreadId() == m_threadId; }
  void PostStatus(DialogSink::StatusLine line, const std::string& text);
  void ShowLatestStatus(DialogSink::StatusLine line);
  void ShowLatestProgress();
  bool Ask(DialogSink::Box kind, const std::string& text, const std::string& informative);

  DialogSink& m_sink;
  const DWORD m_threadId;
  std::mutex m_mutex;  // guards everything below
  HWND m_dialog = nullptr;
  std::vector<std::function<void()>> m_early;  // posted before the dialog existed
  std::atomic<bool> m_closed{false};
  std::vector<std::shared_ptr<PendingAnswer>> m_pending;
  std::array<std::string, kStatusLines> m_statusText;
  std::array<bool, kStatusLines> m_statusPosted{};
  StreamProgress m_progress;
  bool m_progressPosted = false;
};

}  // namespace window::win32
