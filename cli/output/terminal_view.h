#pragma once
// The LoaderView of the terminal front end. The information log goes to standard output, one
// line each; status-line changes ("port: ", "device: ", "main: ") and message boxes ("? " for
// Yes/No, "! " for OK, each followed by its answer) go to standard error. On a terminal, the
// image stream shows a live progress bar, and questions can be answered at the keyboard.

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/command/command_line.h"
#include "cli/output/progress_bar.h"
#include "cli/output/shared_output.h"
#include "cli/signals/interrupt.h"
#include "common/loader_view.h"

namespace cli {

struct TerminalSetup {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  int inFd = 0;                // answers typed by the user are read from here
  bool errIsTerminal = false;  // draws the live progress bar
  bool inIsTerminal = false;   // asks questions instead of answering No
  // Standard error is the terminal that echoes what the user types; otherwise (a file, a pipe)
  // the typed answer has to be written there to complete the box's line.
  bool errShowsTyping = false;
  Answers answers = Answers::Ask;
  // Standard output gets no log lines (the front end prints the result it picks from
  // heldLog() at the end), standard error no status lines, bar or countdown.
  bool quiet = false;
  InterruptState* interrupts = nullptr;  // stop requests; none when null
  std::function<std::size_t()> columns;  // width of the terminal; 80 when not given
  // Several sessions at once: every line starts with `prefix` ("COM3: ") and goes through
  // `shared`, whose board shows this view's live line instead of a bar drawn in place.
  std::string prefix;
  SharedOutput* shared = nullptr;
};

class TerminalView final : public LoaderView {
 public:
  explicit TerminalView(TerminalSetup setup);
  ~TerminalView() override;
  TerminalView(const TerminalView&) = delete;
  TerminalView& operator=(const TerminalView&) = delete;

  void setPortStatus(const std::string& text) override;
  void setDeviceStatus(const std::string& text) override;
  void setMainStatus(const std::string& text) override;
  void appendLog(const std::string& line) override;
  void detail(const std::string& text) override;
  void enableConnect(bool /*on*/) override {}
  void enableRawBoot(bool /*on*/) override {}
  void enableCheckForUpdates(bool /*on*/) override {}
  bool askYesNo(const std::string& text) override;
  void tell(const std::string& text) override;
  void progress(const StreamProgress& p) override;
  void countdown(int secondsLeft, int secondsTotal) override;
  void transferActive(bool active) override;
  // The user asked to stop (Ctrl-C or another stop signal).
  bool stopRequested();

  // A line of the front end's own (errors, hints) on standard error.
  void Note(const std::string& line);
  // Where the user's stop requests are recorded (none when null).
  const InterruptState* interrupts() const { return m_setup.interrupts; }
  // Ends a live progress bar, leaving its last state on screen.
  void EndProgress();
  bool quiet() const { return m_setup.quiet; }
  // What the view was made with: the views of several sessions are made alike.
  const TerminalSetup& setup() const { return m_setup; }
  // Some detail given so far contains `part`.
  bool Noted(const std::string& part) const;
  // The log lines held back in quiet mode, in order.
  const std::vector<std::string>& heldLog() const { return m_held; }

 private:
  struct StatusLine {
    const char* channel;
    std::string text;
    bool unshown = false;  // changed while the bar was live
  };

  void SetStatus(StatusLine& status, const std::string& text);
  void WriteLine(std::FILE* stream, const std::string& line);
  void DrawBar();
  // The shared board's line of this view (several sessions at once).
  void ShowOnBoard(const std::string& text);
  void ClearBar();
  // The live line of a countdown on a terminal; empty when none is shown.
  void DrawCountdown();
  // False for a "Sending Hex file" text in the same whole percent as the last one written,
  // when standard error is no terminal: a log file gets one line per percent, not per chunk.
  bool WorthWriting(const std::string& mainText);
  bool AskAtTerminal() const;
  // Ends a box's line with the answer typed at the terminal, where standard error cannot show it.
  void RecordTyping(const std::string& answer);
  // One line typed by the user, without its line end; nullopt at end of input or on a stop.
  std::optional<std::string> ReadLine();

  TerminalSetup m_setup;
  StatusLine m_port{"port", "No Connection"};
  StatusLine m_device{"device", ""};
  StatusLine m_main{"main", ""};
  ProgressBar m_bar;
  bool m_barLive = false;
  bool m_boardLive = false;  // this view's line stands in the shared board
  std::string m_countdownLine;
  int m_lastPercentWritten = -1;
  std::vector<std::string> m_held;
  std::vector<std::string> m_details;
};

}  // namespace cli
