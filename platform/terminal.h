#pragma once
// The terminal the loader's command line runs at: whether its standard streams are one, how
// wide it is, and reading what the user types without blocking past a stop.

#include <chrono>
#include <cstddef>
#include <system_error>

namespace platform {

enum class StandardStream { kInput, kOutput, kError };

// Whether the stream is a terminal (a console on Windows) the user sees or types at.
bool IsTerminal(StandardStream stream);

// Whether the stream is a terminal that understands the sequences that erase and redraw a line
// (not a terminal that calls itself "dumb", nor a console that cannot take them).
bool RedrawsLines(StandardStream stream);

// The width in columns of the terminal on the stream; 0 when it is none or the system cannot
// tell.
std::size_t TerminalColumns(StandardStream stream);

// What waiting for one typed byte brought.
enum class InputWait {
  kByte,     // `byte` holds it
  kEnd,      // the input ended, or reading it failed (`error` then says why)
  kNothing,  // nothing came within the wait, or a signal cut the wait short: ask again
  kFailed,   // the input cannot be waited for (`error` says why)
};

// Waits at most `wait` for input on the C runtime's file number `file` (0: standard input; a
// pipe's read end in tests) and reads one byte when there is one. Never blocks past `wait`
// for input that does not come.
InputWait ReadTypedByte(int file, std::chrono::milliseconds wait, char& byte, std::error_code& error);

}  // namespace platform
