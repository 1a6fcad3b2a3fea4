#pragma once
// The terminal view of one device: on a terminal the image stream shows a progress bar and the
// wait for a device a countdown, each drawn in place on standard error below the lines.

#include <string>

#include "cli/output/progress_bar.h"
#include "cli/output/terminal_view.h"

namespace cli {

class BarView final : public TerminalView {
 public:
  explicit BarView(TerminalSetup setup) : TerminalView(std::move(setup)) {}
  ~BarView() override;

  void progress(const StreamProgress& p) override;
  void countdown(int secondsLeft, int secondsTotal) override;
  void EndProgress() override;

 private:
  void WriteLine(std::FILE* stream, const std::string& line) override;
  bool LiveLineShown() const override { return m_barLive; }
  void DrawBar();
  void ClearBar();
  void DrawCountdown();

  ProgressBar m_bar;
  bool m_barLive = false;
  std::string m_countdownLine;  // the live countdown on a terminal; empty when none is shown
};

}  // namespace cli
