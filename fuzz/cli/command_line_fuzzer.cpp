// Feeds arbitrary argument vectors (NUL-separated) through the terminal front end's parser.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/options.h"
#include "cli/command/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(data[i]));
    }
  }
  const cli::ParseResult r = cli::ParseCommandLine(args);
  // A good parse names a port in range or none; a bad one says why in one line.
  if (r.ok())
    for (const cli::PortArgument& p : r.line.ports)
      if (p.number < 0 || p.number > cli::kMaxPortNumber || (p.number == 0) == p.path.empty())
        __builtin_trap();
  if (!r.ok() && r.error.find('\n') != std::string::npos) __builtin_trap();
  for (const auto& a : args) (void)cli::ParsePortName(a);
  // An accepted command line runs with the window's reading of --x, plus the named bits.
  if (r.ok() && !r.line.help && !r.line.version) {
    std::vector<const char*> argv{"vorloader"};
    for (const auto& a : args) argv.push_back(a.c_str());
    int named = 0;
    for (const auto& a : args) named |= app::NamedOptionBit(a);
    const int window =
        app::ParseOptionArgument(app::JoinArguments(static_cast<int>(argv.size()), argv.data()));
    if (r.line.options != (window | named) || (r.line.options & ~app::kKnownOptionBits) != 0)
      __builtin_trap();
  }
  return 0;
}
