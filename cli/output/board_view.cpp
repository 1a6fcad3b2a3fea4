#include "cli/output/board_view.h"

namespace cli {

BoardView::~BoardView() {
  EndProgress();
}

void BoardView::progress(const StreamProgress& p) {
  if (!m_setup.shared->live()) {
    LogStreamStep(p);
    return;
  }
  if (m_setup.quiet) return;
  if (!m_boardLive) m_bar = ProgressBar{};
  const std::size_t columns = m_setup.shared->columns();
  const std::size_t room = columns > m_setup.prefix.size() + 1 ? columns - m_setup.prefix.size() - 1 : 1;
  if (m_bar.Update(p, ProgressBar::Clock::now()) || !m_boardLive) ShowOnBoard(m_bar.Line(room));
  if (m_bar.finished()) EndProgress();
}

void BoardView::countdown(int secondsLeft, int /*secondsTotal*/) {
  if (m_setup.quiet || !m_setup.shared->live()) return;
  if (secondsLeft <= 0) {
    m_setup.shared->EndLive(m_setup.prefix, false);
    m_boardLive = false;
    return;
  }
  ShowOnBoard("Waiting for the device: " + std::to_string(secondsLeft) + " s left");
}

void BoardView::EndProgress() {
  if (!m_boardLive) return;
  m_boardLive = false;
  m_setup.shared->EndLive(m_setup.prefix, false);
  WriteHeldMainStatus();
}

void BoardView::ShowOnBoard(const std::string& text) {
  m_boardLive = true;
  m_setup.shared->SetLive(m_setup.prefix, m_setup.prefix + text);
}

void BoardView::WriteLine(std::FILE* stream, const std::string& line) {
  m_setup.shared->WriteLine(stream, m_setup.prefix + line);
}

}  // namespace cli
