#include "cli/output/terminal_view.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <utility>

#include "cli/output/terminal_text.h"

namespace cli {

namespace {

constexpr std::size_t kDefaultColumns = 80;
constexpr int kPollMs = 100;  // how often a wait for typed input looks for a stop request

// Erases the line the cursor is on: carriage return, then "erase to end of line".
constexpr const char* kEraseLine = "\r\x1b[K";

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The whole percent of a "Sending Hex file 12.3% done" text; -1 for any other text.
int StreamPercent(const std::string& text) {
  static const std::string kPrefix = "Sending Hex file ";
  static const std::string kSuffix = "% done";
  if (text.size() <= kPrefix.size() + kSuffix.size() || text.compare(0, kPrefix.size(), kPrefix) != 0 ||
      text.compare(text.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
    return -1;
  int whole = 0;
  std::size_t i = kPrefix.size();
  const std::size_t digitsEnd = text.size() - kSuffix.size();
  for (; i < digitsEnd && std::isdigit(static_cast<unsigned char>(text[i])) != 0 && whole < 1000; ++i)
    whole = whole * 10 + (text[i] - '0');
  if (i == kPrefix.size()) return -1;
  if (i < digitsEnd && text[i] != '.') return -1;
  return whole;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

}  // namespace

TerminalView::TerminalView(TerminalSetup setup) : m_setup(std::move(setup)) {}

TerminalView::~TerminalView() {
  EndProgress();
}

void TerminalView::setPortStatus(const std::string& text) {
  SetStatus(m_port, text);
}
void TerminalView::setDeviceStatus(const std::string& text) {
  SetStatus(m_device, text);
}

void TerminalView::setMainStatus(const std::string& text) {
  // During the stream the main status counts up with every chunk; on a terminal the bar shows
  // that, and the last of those texts is printed when the bar ends.
  if (m_barLive || m_boardLive) {
    m_main.unshown = m_main.unshown || text != m_main.text;
    m_main.text = text;
    return;
  }
  if (!WorthWriting(text)) {
    m_main.text = text;
    return;
  }
  SetStatus(m_main, text);
}

bool TerminalView::WorthWriting(const std::string& mainText) {
  const int percent = StreamPercent(mainText);
  if (percent < 0) {
    m_lastPercentWritten = -1;
    return true;
  }
  if (m_setup.errIsTerminal || mainText == m_main.text) return true;
  if (percent == m_lastPercentWritten) return false;
  m_lastPercentWritten = percent;
  return true;
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
    pollfd in{m_setup.inFd, POLLIN, 0};
    const int ready = ::poll(&in, 1, kPollMs);
    if (ready < 0 && errno != EINTR) return std::nullopt;
    if (ready <= 0) continue;
    char c = 0;
    const ssize_t n = ::read(m_setup.inFd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') return line;
    line += c;
  }
}

void TerminalView::countdown(int secondsLeft, int secondsTotal) {
  (void)secondsTotal;
  if (m_setup.shared != nullptr) {
    if (m_setup.quiet || !m_setup.shared->live()) return;
    if (secondsLeft <= 0) {
      m_setup.shared->EndLive(m_setup.prefix, false);
      m_boardLive = false;
      return;
    }
    ShowOnBoard("Waiting for the device: " + std::to_string(secondsLeft) + " s left");
    return;
  }
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

void TerminalView::DrawCountdown() {
  std::fputs(kEraseLine, m_setup.err);
  std::fputs(m_countdownLine.c_str(), m_setup.err);
  std::fflush(m_setup.err);
}

void TerminalView::ShowOnBoard(const std::string& text) {
  m_boardLive = true;
  m_setup.shared->SetLive(m_setup.prefix, m_setup.prefix + text);
}

void TerminalView::progress(const StreamProgress& p) {
  if (m_setup.shared != nullptr) {
    if (m_setup.quiet || !m_setup.shared->live()) return;
    if (!m_boardLive) m_bar = ProgressBar{};
    const std::size_t columns = m_setup.shared->columns();
    const std::size_t room = columns > m_setup.prefix.size() + 1 ? columns - m_setup.prefix.size() - 1 : 1;
    if (m_bar.Update(p, ProgressBar::Clock::now()) || !m_boardLive) ShowOnBoard(m_bar.Line(room));
    if (m_bar.finished()) EndProgress();
    return;
  }
  if (!m_setup.errIsTerminal || m_setup.quiet) return;
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

void TerminalView::transferActive(bool active) {
  // One session: the process's stop signals decide by it. The views of a production line have
  // no interrupts; the line tells them whether any device is being programmed.
  if (m_setup.interrupts != nullptr) m_setup.interrupts->setTransferActive(active);
  if (!active) EndProgress();
}

bool TerminalView::stopRequested() {
  return m_setup.interrupts != nullptr && m_setup.interrupts->stopRequested();
}

void TerminalView::EndProgress() {
  if (m_boardLive) {
    m_boardLive = false;
    m_setup.shared->EndLive(m_setup.prefix, false);
    if (m_main.unshown) {
      m_main.unshown = false;
      if (!m_setup.quiet)
        WriteLine(m_setup.err, std::string(m_main.channel) + ": " + PrintableText(m_main.text));
    }
    return;
  }
  if (!m_countdownLine.empty()) {
    m_countdownLine.clear();
    ClearBar();
  }
  if (!m_barLive) return;
  DrawBar();
  std::fputc('\n', m_setup.err);
  std::fflush(m_setup.err);
  m_barLive = false;
  if (m_main.unshown) {
    m_main.unshown = false;
    if (!m_setup.quiet)
      WriteLine(m_setup.err, std::string(m_main.channel) + ": " + PrintableText(m_main.text));
  }
}

void TerminalView::DrawBar() {
  const std::size_t columns = m_setup.columns ? m_setup.columns() : kDefaultColumns;
  // One column spare: writing into the last one makes some terminals wrap early.
  const std::string line = m_bar.Line(columns > 1 ? columns - 1 : columns);
  std::fputs(kEraseLine, m_setup.err);
  std::fputs(line.c_str(), m_setup.err);
  std::fflush(m_setup.err);
}

void TerminalView::ClearBar() {
  std::fputs(kEraseLine, m_setup.err);
  std::fflush(m_setup.err);
}

void TerminalView::WriteLine(std::FILE* stream, const std::string& line) {
  if (m_setup.shared != nullptr) {
    m_setup.shared->WriteLine(stream, m_setup.prefix + line);
    return;
  }
  const bool countdownLive = !m_countdownLine.empty();
  if (m_barLive || countdownLive) ClearBar();
  std::fputs(line.c_str(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
  if (m_barLive) DrawBar();
  if (countdownLive) DrawCountdown();
}

}  // namespace cli
