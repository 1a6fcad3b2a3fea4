#pragma once
// The terminal shared by several device sessions at once: each line is written whole, under
// one lock, so the lines of different sessions interleave but never mix; on a terminal, every
// session's live line (its progress bar or countdown) stands in a board below the lines,
// one line per port, drawn again after each line written above it. Lines the board keeps
// above itself (a warning) stay in view there, below the lines that scroll, until Finish.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// The width a line is cut to when the terminal's own is not known.
inline constexpr std::size_t kDefaultColumns = 80;

class SharedOutput {
 public:
  // `live`: standard error is a terminal that can take the board's cursor movements.
  SharedOutput(std::FILE* err, bool live, std::function<std::size_t()> columns = {});
  ~SharedOutput();
  SharedOutput(const SharedOutput&) = delete;
  SharedOutput& operator=(const SharedOutput&) = delete;

  bool live() const { return m_live; }
  std::size_t columns() const;

  // One whole line and its line end on `stream`.
  void WriteLine(std::FILE* stream, const std::string& line);
  // The live line of `key` (a port): set or replaced; on no terminal, nothing.
  void SetLive(const std::string& key, const std::string& text);
  // Takes `key`'s live line away; with `keep`, its last state stays on screen as a line.
  void EndLive(const std::string& key, bool keep);
  // Lines the board keeps above itself until Finish, which leaves them on screen as lines; on
  // no terminal they are written at once.
  void KeepAbove(const std::vector<std::string>& lines);
  // Ends the board: what it kept above itself stays on screen, the rest is taken away. Lines
  // written afterwards go straight out. Called by the destructor.
  void Finish();

 private:
  void Clear();  // call with the lock held
  void Draw();   // call with the lock held

  std::FILE* m_err;
  bool m_live;
  std::function<std::size_t()> m_columns;
  std::mutex m_mutex;
  std::vector<std::string> m_kept;                           // drawn above the board
  std::vector<std::pair<std::string, std::string>> m_board;  // key, text; in the order first set
  std::size_t m_drawn = 0;                                   // kept and board lines now on screen
};

}  // namespace cli
