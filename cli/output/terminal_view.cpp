#include "cli/output/terminal_view.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <utility>

#include "cli/output/terminal_text.h"
#include "platform/terminal.h"

namespace cli {

namespace {

constexpr std::chrono::milliseconds kPollTime{
    100};  // how often a wait for typed input looks for a stop request

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The whole percent the stream's status text shows ("Sending Hex file 12.96..." reads 13.0%).
int WholePercent(const StreamProgress& p) {
  return static_cast<int>(std::floor(std::round(p.percent * 10.0) / 10.0));
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

}  // namespace

TerminalView::TerminalView(TerminalSetup setup) : m_setup(std::move(setup)) {}

void TerminalView::setPortStatus(const std::string& text) {
  SetStatus(m_port, text);
}
void TerminalView::setDeviceStatus(const std::string& text) {
  SetStatus(m_device, text);
}

void TerminalView::setMainStatus(const std::string& text) {
  // During the stream the main status counts up with every chunk; a live line shows that, and
  // the last of those texts is printed when it ends. Off a terminal the stream's numbers, told
  // just before each chunk's text, decide: one line per whole percent.
  if (LiveLineShown()) {
    m_main.unshown = m_main.unshown || text != m_main.text;
    m_main.text = text;
    return;
  }
  if (m_streamPercent) {
    if (*m_streamPercent == m_lastPercentWritten) {
      m_main.text = text;
      return;
    }
    m_lastPercentWritten = *m_streamPercent;
  }
  SetStatus(m_main, text);
}

void TerminalView::LogStreamStep(const StreamProgress& p) {
  m_streamPercent = WholePercent(p);
}

void TerminalView::WriteHeldMainStatus() {
  if (!m_main.unshown) return;
  m_main.unshown = false;
  if (!m_setup.quiet) WriteLine(m_setup.err, std::string(m_main.channel) + ": " + PrintableText(m_main.text));
}

void TerminalView::SetStatus(StatusLine& status, const std::string& text) {
  if (text == status.text) return;
  status.text = text;
  status.unshown = false;
  if (m_setup.quiet) return;
  WriteLine(m_setup.err, std::string(status.channel) + ": " + PrintableText(text));
}

void TerminalView::appendLog(const std::string& line) {
  if (m_setup.quiet) {
    m_held.push_back(line);
    return;
  }
  WriteLine(m_setup.out, PrintableText(line));
}

void TerminalView::detail(const std::string& text) {
  m_details.push_back(text);
  WriteLine(m_setup.err, "note: " + PrintableText(text));
}

bool TerminalView::Noted(const std::string& part) const {
  return std::any_of(m_details.begin(), m_details.end(),
                     [&part](const std::string& text) { return text.find(part) != std::string::npos; });
}

void TerminalView::Note(const std::string& line) {
  WriteLine(m_setup.err, PrintableText(line));
}

bool TerminalView::AskAtTerminal() const {
  return m_setup.answers == Answers::Ask && m_setup.inIsTerminal;
}

bool TerminalView::askYesNo(const std::string& text) {
  EndProgress();
  const std::string box = "? " + PrintableText(text, true) + " [Y/n] ";
  if (!AskAtTerminal()) {
    const bool yes = m_setup.answers == Answers::Yes;
    WriteLine(m_setup.err, box + (yes ? "yes" : "no"));
    return yes;
  }
  std::fputs(box.c_str(), m_setup.err);
  for (;;) {
    std::fflush(m_setup.err);
    const std::optional<std::string> typed = ReadLine();
    if (!typed) {
      WriteLine(m_setup.err, "no");
      return false;
    }
    const std::string answer = Lowered(Trimmed(*typed));
    if (answer.empty() || answer == "y" || answer == "yes") {
      RecordTyping("yes");
      return true;
    }
    if (answer == "n" || answer == "no") {
      RecordTyping("no");
      return false;
    }
    RecordTyping(*typed);
    std::fputs("Please answer y or n. [Y/n] ", m_setup.err);
  }
}

bool TerminalView::confirm(const std::string& text, const std::string& informative) {
  EndProgress();
  for (std::size_t start = 0; start < informative.size();) {
    std::size_t end = informative.find('\n', start);
    if (end == std::string::npos) end = informative.size();
    WriteLine(m_setup.err, "note: " + PrintableText(informative.substr(start, end - start)));
    start = end + 1;
  }
  return askYesNo(text);
}

void TerminalView::tell(const std::string& text) {
  EndProgress();
  const std::string box = "! " + PrintableText(text, true);
  if (!AskAtTerminal()) {
    WriteLine(m_setup.err, box + " [OK] ok");
    return;
  }
  std::fputs((box + " [OK: press Enter] ").c_str(), m_setup.err);
  std::fflush(m_setup.err);
  const bool entered = ReadLine().has_value();
  if (!m_setup.errShowsTyping)
    RecordTyping("ok");
  else if (!entered)
    WriteLine(m_setup.err, "");
}

void TerminalView::RecordTyping(const std::string& answer) {
  // On the terminal itself the echo of the typing already ends the box's line.
  if (!m_setup.errShowsTyping) WriteLine(m_setup.err, PrintableText(answer));
}

std::optional<std::string> TerminalView::ReadLine() {
  std::string line;
  for (;;) {
    if (stopRequested()) return std::nullopt;
    char c = 0;
    std::error_code error;
    const platform::InputWait got = platform::ReadTypedByte(m_setup.inFd, kPollTime, c, error);
    if (got == platform::InputWait::kNothing) continue;
    if (got == platform::InputWait::kFailed) return std::nullopt;
    if (got == platform::InputWait::kEnd)
      return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') return line;
    line += c;
  }
}

void TerminalView::transferActive(bool active) {
  // One session: the process's stop signals decide by it. The views of a production line have
  // no interrupts; the line tells them whether any device is being programmed.
  if (m_setup.interrupts != nullptr) m_setup.interrupts->setTransferActive(active);
  m_streamPercent.reset();
  if (active) {
    // The stream's "0% done" is written before its first chunk.
    m_lastPercentWritten = 0;
    return;
  }
  EndProgress();
}

bool TerminalView::stopRequested() {
  return m_setup.interrupts != nullptr && m_setup.interrupts->stopRequested();
}

}  // namespace cli
