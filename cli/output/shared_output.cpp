#include "cli/output/shared_output.h"

#include <algorithm>

namespace cli {

SharedOutput::SharedOutput(std::FILE* err, bool live, std::function<std::size_t()> columns)
    : m_err(err), m_live(live), m_columns(std::move(columns)) {}

SharedOutput::~SharedOutput() {
  Finish();
}

void SharedOutput::Finish() {
  std::lock_guard<std::mutex> lock(m_mutex);
  Clear();
  m_board.clear();
  for (const std::string& line : m_kept) {
    std::fputs(line.c_str(), m_err);
    std::fputc('\n', m_err);
  }
  std::fflush(m_err);
  m_kept.clear();
  m_live = false;
}

void SharedOutput::KeepAbove(const std::vector<std::string>& lines) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_live) {
    for (const std::string& line : lines) {
      std::fputs(line.c_str(), m_err);
      std::fputc('\n', m_err);
    }
    std::fflush(m_err);
    return;
  }
  Clear();
  m_kept.insert(m_kept.end(), lines.begin(), lines.end());
  Draw();
}

std::size_t SharedOutput::columns() const {
  return m_columns ? m_columns() : kDefaultColumns;
}

void SharedOutput::WriteLine(std::FILE* stream, const std::string& line) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Clear();
  std::fputs(line.c_str(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
  Draw();
}

void SharedOutput::SetLive(const std::string& key, const std::string& text) {
  if (!m_live) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  Clear();
  auto it =
      std::find_if(m_board.begin(), m_board.end(), [&](const auto& entry) { return entry.first == key; });
  if (it == m_board.end())
    m_board.emplace_back(key, text);
  else
    it->second = text;
  Draw();
}

void SharedOutput::EndLive(const std::string& key, bool keep) {
  if (!m_live) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it =
      std::find_if(m_board.begin(), m_board.end(), [&](const auto& entry) { return entry.first == key; });
  if (it == m_board.end()) return;
  Clear();
  const std::string last = it->second;
  m_board.erase(it);
  if (keep) {
    std::fputs(last.c_str(), m_err);
    std::fputc('\n', m_err);
  }
  Draw();
}

void SharedOutput::Clear() {
  if (m_drawn == 0) return;
  // Up to the board's first line, then erase from there to the end of the screen.
  std::fprintf(m_err, "\x1b[%zuA\r\x1b[J", m_drawn);
  std::fflush(m_err);
  m_drawn = 0;
}

void SharedOutput::Draw() {
  if (!m_live || (m_board.empty() && m_kept.empty())) return;
  // One column spare: writing into the last one makes some terminals wrap early. A kept line
  // longer than that takes the rows it wraps into.
  const std::size_t width = std::max<std::size_t>(columns(), 2) - 1;
  m_drawn = 0;
  for (const std::string& line : m_kept) {
    std::fputs(line.c_str(), m_err);
    std::fputc('\n', m_err);
    m_drawn += line.empty() ? 1 : (line.size() + width) / (width + 1);
  }
  for (const auto& [key, text] : m_board) {
    std::fputs(text.substr(0, width).c_str(), m_err);
    std::fputc('\n', m_err);
    ++m_drawn;
  }
  std::fflush(m_err);
}

}  // namespace cli
