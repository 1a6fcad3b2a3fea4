#pragma once
// A station profile on the terminal front end: its settings merged under the command line's,
// the operator from the command line, the environment or the profile, and what the sessions
// are given of it (operator, work order, profile, approved images).

#include <memory>
#include <string>

#include "app/record/record_file.h"
#include "app/site_control.h"
#include "cli/command/command_line.h"

namespace cli {

struct ProfileApplied {
  std::shared_ptr<const app::SiteControl> site;  // for every session of the run
  std::string error;                             // a usage error line; empty when all is well
  bool ok() const { return error.empty(); }
};

// Reads --profile (if given) and merges it into `line`: options given on the command line win
// (ports as a whole: any --port, --all-ports or --skip-port replaces the profile's ports; the
// option bits as a whole: --x or any named option replaces the profile's bits; --record,
// --record-db, --operator, --work-order each). The operator is --operator, else
// VORLOADER_OPERATOR, else the profile's. A profile that cannot be read, names an unknown key
// or a bad port, or requires an operator none gives, is a usage error naming the file and line.
// A relative record file in the profile is taken from the profile's folder.
ProfileApplied ApplyProfile(CommandLine& line, const app::Environment& env);

}  // namespace cli
