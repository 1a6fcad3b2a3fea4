#pragma once
// A recording view that holds its session, on the session's thread, at a chosen point until
// the test lets it go on: for stops that must come at a known step of a run.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "tests/support/recording_view.h"

namespace app_tests {

// Where a view holds its session: at its question, as programming begins (before the erase
// command is written), or once the erase command has gone out.
enum class HoldAt { Nowhere, Question, Programming, Erasing };

// Answers Yes to its first question; holds once, at `holdAt`.
class HoldingView : public testing_support::RecordingView {
 public:
  explicit HoldingView(HoldAt at) : m_at(at) { answers = {true}; }

  bool askYesNo(const std::string& text) override {
    if (m_at == HoldAt::Question) Hold();
    return RecordingView::askYesNo(text);
  }
  void transferActive(bool active) override {
    RecordingView::transferActive(active);
    if (active && m_at == HoldAt::Programming) Hold();
  }
  void setMainStatus(const std::string& text) override {
    RecordingView::setMainStatus(text);
    if (text == "Waiting for Erase to Complete." && m_at == HoldAt::Erasing) Hold();
  }

  // True once the session is held; false when it did not get there within a minute (a hang,
  // not a matter of speed).
  bool WaitHeld() {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::minutes(1), [this] { return m_held; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_released = true;
    m_changed.notify_all();
  }

 private:
  void Hold() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_held) return;  // once
    m_held = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_released; });
  }

  HoldAt m_at;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_held = false;
  bool m_released = false;
};

}  // namespace app_tests
