#pragma once
// vorloader's command line, read before the toolkit starts: the option bits (--x N and the
// named options), --station with --profile FILE, --operator NAME and --work-order TEXT,
// --help/-h and --version/-V. Anything else, except the toolkit's own options, is refused with
// a one-line reason, as the terminal front end refuses it; so is a profile that cannot be read.

#include <optional>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/profile/station_profile.h"

namespace window {

inline constexpr int kExitUsage = 64;

struct WindowCommandLine {
  int options = 0;            // --x N with the bits of the named options
  bool station = false;       // --station: the station window instead of the main window
  bool optionsGiven = false;  // --x or a named option
  // --profile FILE, read (the station window's set-up), --operator and --work-order.
  std::optional<app::StationProfile> profile;
  std::string operatorName;
  std::string workOrder;
  bool help = false;
  bool version = false;
};

struct WindowParse {
  WindowCommandLine line;
  std::string error;  // "vorloader: ..." naming the fault; empty when the line is good
  bool ok() const { return error.empty(); }
};

// `args`: the arguments after the program name. --help and --version end the parse where
// they stand, as does the first fault.
WindowParse ParseWindowCommandLine(const std::vector<std::string>& args);

// The option bits decoded, once, for the whole program.
app::Options DecodedOptions(int bits);

}  // namespace window
