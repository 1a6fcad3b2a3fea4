#pragma once
// Runs the real vorloader-cli as a child process: with pipes (standard input from /dev/null,
// so it is no terminal) or on a pseudo-terminal, where it can be typed at.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Keys typed on the terminal once the output shows `when` (after the previous match) and
// `ready`, when given, says so.
struct Typing {
  std::string when;
  std::string keys;
  std::function<bool()> ready;
};

// Something done while the program runs (a device plugged in or pulled out, a stop signal),
// once the output shows `when` (standard output or standard error, after the previous cue's
// match there) and `ready`, when given, says so. `signal` (when not 0) goes to the program
// after `act` has run, then `moreSignals` without a pause (different signals are never merged
// into one while the program has not yet taken the first).
struct Cue {
  std::string when;
  bool onOut = false;  // `when` is looked for on standard output, else on standard error
  std::function<bool()> ready;
  std::function<void()> act;
  int signal = 0;
  std::vector<int> moreSignals = {};  // sent right after `signal`, back to back
};

struct CliRun {
  std::vector<std::string> args;
  std::vector<std::string> launcher;  // a program (full path) and arguments put before the CLI's
  std::vector<std::pair<std::string, std::string>> env;  // set (or replaced) for the child
  bool onTerminal = false;     // standard input, output and error on one pseudo-terminal
  std::vector<Typing> typing;  // on a terminal only
  // One signal (SIGINT unless `interruptSignal` says otherwise) each time standard error shows
  // the next of these texts (after the previous match).
  std::vector<std::string> interrupts;
  int interruptSignal = 2;
  std::function<bool()> interruptReady;  // when given, also waited for before each signal
  std::vector<Cue> cues;                 // with pipes only
  int timeoutMs = 120000;                // generous: only a hung program reaches it
};

struct CliResult {
  int status = -1;  // exit status; -1 when it did not exit normally or timed out
  bool timedOut = false;
  std::string out;  // standard output (on a terminal: everything the terminal showed)
  std::string err;  // standard error (empty on a terminal)
  std::vector<std::string> OutLines() const;
  std::vector<std::string> ErrLines() const;
};

CliResult RunCli(const CliRun& run);

// The size of the pseudo-terminal a run on a terminal gets.
inline constexpr int kTerminalRows = 24;
inline constexpr int kTerminalColumns = 100;

// What that terminal shows once `bytes` have been written to it: printable characters (one
// column each, wrapping at the right edge), line ends, and the cursor-up, erase-line and
// erase-below sequences the program uses (others are skipped). One text per row, without its
// trailing blanks; a row the text wrapped out of is joined to the next.
std::vector<std::string> FinalScreen(const std::string& bytes);

const char* CliPath();

}  // namespace testing_support
