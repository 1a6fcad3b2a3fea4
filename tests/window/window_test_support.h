#pragma once
// Helpers for the window tests: finding controls, waiting for the window's thread to catch
// up, answering message boxes, and scripted workflows.

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "window/command_line.h"
#include "window/main_dialog.h"
#include "window/workflows.h"

namespace window_test {

// Generous: the tests never depend on speed, only on things happening at all.
inline constexpr int kPatienceMs = 20000;

template <typename T = QWidget>
T* ControlOf(const QWidget& dialog, int id) {
  return dialog.findChild<T*>(QString::number(id));
}

// Processes window events until `done` holds or patience runs out.
inline bool WaitFor(const std::function<bool()>& done) {
  return QTest::qWaitFor(done, kPatienceMs);
}

// What a message box showed.
struct SeenBox {
  QString title;
  QString text;
  QString informative;
  Qt::TextFormat informativeFormat = Qt::AutoText;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Answers the message boxes that open while it lives, in order, with the given buttons.
// Boxes run their own event loop, so this watches from a timer inside that loop.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::vector<QMessageBox::StandardButton> answers) : m_answers(std::move(answers)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start(10);
  }
  const std::vector<SeenBox>& seen() const { return m_seen; }

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box == m_last || m_next >= m_answers.size()) return;
    m_last = box;
    SeenBox s;
    s.title = box->windowTitle();
    s.text = box->text();
    s.informative = box->informativeText();
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
      s.informativeFormat = label->textFormat();
    s.icon = box->icon();
    s.buttons = box->standardButtons();
    if (box->defaultButton() != nullptr) s.defaultButton = box->standardButton(box->defaultButton());
    m_seen.push_back(s);
    QAbstractButton* button = box->button(m_answers[m_next++]);
    if (button != nullptr) button->click();
  }

  std::vector<QMessageBox::StandardButton> m_answers;
  std::size_t m_next = 0;
  std::vector<SeenBox> m_seen;
  QPointer<QMessageBox> m_last;
  QTimer m_timer;
};

// A door a workflow waits at until the test opens it, or until the window asks the workflow
// to stop.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_open = true;
    }
    m_cv.notify_all();
  }
  // True when opened, false when stopped first.
  bool Pass(window::QueuedView& view) {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_open) {
      if (view.stopRequested()) return false;
      m_cv.wait_for(lock, std::chrono::milliseconds(5));
    }
    return true;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_open = false;
};

// Workflows whose steps the test writes; each runs on the window's workflow thread.
class ScriptedWorkflows : public window::Workflows {
 public:
  std::function<void()> startup, connect, rawBoot, updates;
  std::atomic<int> startups{0}, connects{0}, rawBoots{0}, checks{0};

  void SelectPort(int index) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_selections.push_back(index);
  }
  void RunStartupSequence() override { Run(startups, startup); }
  void OnConnect() override { Run(connects, connect); }
  void OnRawBoot() override { Run(rawBoots, rawBoot); }
  void CheckForUpdates() override { Run(checks, updates); }

  std::vector<int> selections() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_selections;
  }

 private:
  static void Run(std::atomic<int>& count, const std::function<void()>& step) {
    if (step) step();
    ++count;
  }
  std::mutex m_mutex;
  std::vector<int> m_selections;
};

}  // namespace window_test
