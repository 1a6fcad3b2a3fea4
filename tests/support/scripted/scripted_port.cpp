#include "tests/support/scripted/scripted_port.h"

#include <algorithm>

namespace testing_support {
namespace {

class ScriptedPort final : public platform::SerialPort {
 public:
  explicit ScriptedPort(std::shared_ptr<ScriptedLine> line) : m_line(std::move(line)) {}
  ~ScriptedPort() override { Close(); }

  bool Configure(int rate) override {
    m_line->events.push_back("configure " + std::to_string(rate));
    if (m_line->configureFails) return false;
    m_line->rate = rate;
    return true;
  }

  void SetReadTimeout(int ms) override {
    m_line->timeoutMs = ms;
    m_line->events.push_back("timeout " + std::to_string(ms));
  }

  void DiscardInput() override {
    m_line->input.clear();
    m_line->events.push_back("discard");
  }

  long Write(const std::uint8_t* data, std::size_t n) override {
    if (!m_line->open) return -1;
    long took = static_cast<long>(n);
    if (!m_line->writeResults.empty()) {
      took = std::min(m_line->writeResults.front(), took);
      m_line->writeResults.pop_front();
    }
    const std::span<const std::uint8_t> taken(data, took > 0 ? static_cast<std::size_t>(took) : 0);
    m_line->writes.emplace_back(taken.begin(), taken.end());
    m_line->events.push_back("write " + HexBytes(taken));
    if (m_line->respond && !taken.empty()) {
      for (std::uint8_t b : m_line->respond(taken, m_line->rate)) m_line->input.push_back(b);
    }
    return took;
  }

  long Read(std::uint8_t* out, std::size_t n, const std::stop_token& stop) override {
    (void)stop;  // nothing here ever waits
    if (!m_line->open || m_line->readError) {
      m_line->events.push_back("read error");
      return -1;
    }
    m_line->input.insert(m_line->input.end(), m_line->arriving.begin(), m_line->arriving.end());
    m_line->arriving.clear();
    const std::size_t got = std::min(n, m_line->input.size());
    std::copy_n(m_line->input.begin(), got, out);
    m_line->input.erase(m_line->input.begin(), m_line->input.begin() + static_cast<std::ptrdiff_t>(got));
    m_line->events.push_back("read " + std::to_string(got) + "/" + std::to_string(n));
    return static_cast<long>(got);
  }

  bool Drain(const std::stop_token& stop, const std::function<void()>& whileWaiting) override {
    m_line->events.push_back("drain");
    (void)stop;
    (void)whileWaiting;
    return !m_line->drainFails;
  }

  void Close() override {
    if (!m_line->open) return;
    m_line->open = false;
    m_line->events.push_back("close");
  }

 private:
  std::shared_ptr<ScriptedLine> m_line;
};

}  // namespace

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (std::uint8_t b : bytes) {
    if (!s.empty()) s += ' ';
    s += kHex[b >> 4];
    s += kHex[b & 0x0F];
  }
  return s;
}

std::vector<std::string> ScriptedLine::Events(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& e : events)
    if (e.rfind(prefix, 0) == 0) out.push_back(e);
  return out;
}

int ScriptedLine::OpenCount() const {
  return static_cast<int>(Events("open").size());
}

ScriptedLine& ScriptedOpener::Line(int number) {
  auto& line = m_lines[number];
  if (!line) line = std::make_shared<ScriptedLine>();
  return *line;
}

void ScriptedOpener::Refuse(int number, platform::OpenError why) {
  m_refused[number] = why;
}

void ScriptedOpener::BusyFor(int number, int opens) {
  m_busyOpens[number] = opens;
}

void ScriptedOpener::Remove(int number) {
  m_refused[number] = platform::OpenError::NotFound;
}

std::unique_ptr<platform::SerialPort> ScriptedOpener::Open(int number, platform::OpenError& error) {
  attempts.push_back(number);
  if (auto r = m_refused.find(number); r != m_refused.end()) {
    error = r->second;
    return nullptr;
  }
  if (auto b = m_busyOpens.find(number); b != m_busyOpens.end() && b->second > 0) {
    --b->second;
    error = platform::OpenError::Busy;
    return nullptr;
  }
  auto it = m_lines.find(number);
  if (it == m_lines.end()) {
    error = platform::OpenError::NotFound;
    return nullptr;
  }
  if (it->second->open) {
    error = platform::OpenError::Busy;  // opens are exclusive
    return nullptr;
  }
  it->second->open = true;
  it->second->events.push_back("open");
  error = platform::OpenError::None;
  return std::make_unique<ScriptedPort>(it->second);
}

}  // namespace testing_support
