#pragma once
// How the terminal answers message boxes, which the command line chooses.

namespace cli {

// Asked on a terminal, or Yes/No for every box.
enum class Answers { Ask, Yes, No };

}  // namespace cli
