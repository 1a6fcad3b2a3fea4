// vornet-sim: one VORnet device on a pseudo-terminal, for tests, benchmarks and the demo.

#include <cstdio>
#include <string>

#include "sim/run_device.h"
#include "sim/sim_options.h"

int main(int argc, char** argv) {
  sim::SimOptions options;
  std::string error;
  switch (sim::ParseSimOptions(argc, argv, options, error)) {
    case sim::ParseOutcome::Help:
      std::fputs(sim::SimHelpText(), stdout);
      return 0;
    case sim::ParseOutcome::Error:
      std::fprintf(stderr, "vornet-sim: %s (see --help)\n", error.c_str());
      return 2;
    case sim::ParseOutcome::Run:
      break;
  }
  return sim::RunDevice(options);
}
