#pragma once
// The terminal view of one port among several (a production line, a station): every line
// starts with the port ("COM3: ") and goes through the shared output, whose board on a terminal
// shows this port's live line (its bar, its countdown) below the lines.

#include <string>

#include "cli/output/progress_bar.h"
#include "cli/output/terminal_view.h"

namespace cli {

class BoardView final : public TerminalView {
 public:
  // `setup.shared` must be set and outlive the view.
  explicit BoardView(TerminalSetup setup) : TerminalView(std::move(setup)) {}
  ~BoardView() override;

  void progress(const StreamProgress& p) override;
  void countdown(int secondsLeft, int secondsTotal) override;
  void EndProgress() override;

 private:
  void WriteLine(std::FILE* stream, const std::string& line) override;
  bool LiveLineShown() const override { return m_boardLive; }
  void ShowOnBoard(const std::string& text);

  ProgressBar m_bar;
  bool m_boardLive = false;  // this view's line stands in the shared board
};

}  // namespace cli
