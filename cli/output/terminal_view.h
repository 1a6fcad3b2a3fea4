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

#include "cli/output/answers.h"
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

// What every terminal view shares: the status lines, the log, the notes and the boxes. The
// live line while an image streams is the concrete view's: BarView (one device, a bar drawn in
// place) or BoardView (one port of several, a line of the shared board). Off a terminal the
// stream is logged once per whole percent, decided from the stream's numbers.
class TerminalView : public LoaderView {
 public:
  explicit TerminalView(TerminalSetup setup);
  ~TerminalView() override = default;
  TerminalView(const TerminalView&) = delete;
  TerminalView& operator=(const TerminalView&) = delete;

  void setPortStatus(const std::string& text) override;
  void setDeviceStatus(const std::string& text) override;
  void setMainStatus(const std::string& text) override;
  void appendLog(const std::string& line) override;
  void detail(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  // What the question is about (device and ID, versions, port and path, file), one "note: "
  // line each, then the question.
  bool confirm(const std::string& text, const std::string& informative) override;
  void tell(const std::string& text) override;
  void transferActive(bool active) override;
  // The user asked to stop (Ctrl-C or another stop signal).
  bool stopRequested();

  // A line of the front end's own (errors, hints) on standard error.
  void Note(const std::string& line);
  // Where the user's stop requests are recorded (none when null).
  const InterruptState* interrupts() const { return m_setup.interrupts; }
  // Ends a live line (bar, countdown, board line), leaving its last state on screen.
  virtual void EndProgress() = 0;
  bool quiet() const { return m_setup.quiet; }
  // What the view was made with: the views of several sessions are made alike.
  const TerminalSetup& setup() const { return m_setup; }
  // Some detail given so far contains `part`.
  bool Noted(const std::string& part) const;
  // The log lines held back in quiet mode, in order.
  const std::vector<std::string>& heldLog() const { return m_held; }

 protected:
  struct StatusLine {
    const char* channel;
    std::string text;
    bool unshown = false;  // changed while it could not be written
  };

  // A whole line on `stream`, around whatever live line the view draws.
  virtual void WriteLine(std::FILE* stream, const std::string& line) = 0;
  // A live line stands for the main status now: its changes are held until the line ends.
  virtual bool LiveLineShown() const = 0;
  // A stream's progress where no live line can be drawn: the chunk's status text that follows is
  // written only when the whole percent changes, so that a log file gets one line per percent.
  void LogStreamStep(const StreamProgress& p);
  // Writes the main status held while a live line stood for it.
  void WriteHeldMainStatus();

  TerminalSetup m_setup;

 private:
  void SetStatus(StatusLine& status, const std::string& text);
  bool AskAtTerminal() const;
  // Ends a box's line with the answer typed at the terminal, where standard error cannot show it.
  void RecordTyping(const std::string& answer);
  // One line typed by the user, without its line end; nullopt at end of input or on a stop.
  std::optional<std::string> ReadLine();

  StatusLine m_port{"port", "No Connection"};
  StatusLine m_device{"device", ""};
  StatusLine m_main{"main", ""};
  std::optional<int> m_streamPercent;  // the whole percent of the stream's latest numbers
  int m_lastPercentWritten = -1;
  std::vector<std::string> m_held;
  std::vector<std::string> m_details;
};

}  // namespace cli
