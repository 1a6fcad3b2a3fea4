#include "cli/output/bar_view.h"

namespace cli {

namespace {

// Erases the line the cursor is on: carriage return, then "erase to end of line".
constexpr const char* kEraseLine = "\r\x1b[K";

}  // namespace

BarView::~BarView() {
  EndProgress();
}

void BarView::progress(const StreamProgress& p) {
  if (!m_setup.errIsTerminal) {
    LogStreamStep(p);
    return;
  }
  if (m_setup.quiet) return;
  if (!m_countdownLine.empty()) {
    m_countdownLine.clear();
    ClearBar();
  }
  if (!m_barLive) {
    m_bar = ProgressBar{};
    m_barLive = true;
  }
  if (m_bar.Update(p, ProgressBar::Clock::now())) DrawBar();
  if (m_bar.finished()) EndProgress();
}

void BarView::countdown(int secondsLeft, int /*secondsTotal*/) {
  // Off a terminal a countdown would only fill a log with numbers.
  if (!m_setup.errIsTerminal || m_setup.quiet || m_barLive) return;
  if (secondsLeft <= 0) {
    if (m_countdownLine.empty()) return;
    m_countdownLine.clear();
    ClearBar();
    return;
  }
  m_countdownLine = "Waiting for the device: " + std::to_string(secondsLeft) + " s left";
  DrawCountdown();
}

void BarView::EndProgress() {
  if (!m_countdownLine.empty()) {
    m_countdownLine.clear();
    ClearBar();
  }
  if (!m_barLive) return;
  DrawBar();
  std::fputc('\n', m_setup.err);
  std::fflush(m_setup.err);
  m_barLive = false;
  WriteHeldMainStatus();
}

void BarView::DrawCountdown() {
  std::fputs(kEraseLine, m_setup.err);
  std::fputs(m_countdownLine.c_str(), m_setup.err);
  std::fflush(m_setup.err);
}

void BarView::DrawBar() {
  const std::size_t columns = m_setup.columns ? m_setup.columns() : kDefaultColumns;
  // One column spare: writing into the last one makes some terminals wrap early.
  const std::string line = m_bar.Line(columns > 1 ? columns - 1 : columns);
  std::fputs(kEraseLine, m_setup.err);
  std::fputs(line.c_str(), m_setup.err);
  std::fflush(m_setup.err);
}

void BarView::ClearBar() {
  std::fputs(kEraseLine, m_setup.err);
  std::fflush(m_setup.err);
}

void BarView::WriteLine(std::FILE* stream, const std::string& line) {
  const bool countdownLive = !m_countdownLine.empty();
  if (m_barLive || countdownLive) ClearBar();
  std::fputs(line.c_str(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
  if (m_barLive) DrawBar();
  if (countdownLive) DrawCountdown();
}

}  // namespace cli
