#pragma once
// A station profile: what a production line is set up with, written once by the site's engineer
// so that an operator only starts the station. A TOML file; every key the loader does not know
// is an error rather than a setting silently dropped, and every error names its line.
//
//   name = "Line 3, amplifiers"
//   ports = ["COM3", "COM4"]            # or: all-ports = true, skip-ports = ["COM1"]
//   offline = true                      # and allow-older, allow-reload, keep-untagged, x = N
//   record = "/srv/line3/history.jsonl"
//   record-db = "service=vorloader"
//   operator-required = true
//   operator = "..."                    # usually given at the station instead
//   work-order = "WO-2291"
//   [[approved]]
//   sha256 = "5f3a...e1"                # required
//   version = "1.30"                    # optional, checked against the file
//   product = "Amp_One"                 # optional, the catalogue's product name

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// A value as written in the profile, with the line it stands on (1-based), so that a use of it
// that turns out wrong later (a port name) can still name its line.
struct ProfileText {
  std::string text;
  int line = 0;
  bool operator==(const ProfileText&) const = default;
};

struct ApprovedImage {
  std::string sha256;   // 64 lower-case hex digits
  std::string version;  // empty: not stated
  std::string product;  // empty: any product whose file this is
  int line = 0;         // where its [[approved]] begins
  bool operator==(const ApprovedImage&) const = default;
};

struct StationProfile {
  std::string name;
  std::vector<ProfileText> ports;  // COM names or device paths, as written
  bool allPorts = false;
  std::vector<ProfileText> skipPorts;  // with allPorts only
  int options = 0;                     // option bits, as --x takes them
  bool optionsGiven = false;           // some option key was written
  std::optional<ProfileText> record;
  std::optional<ProfileText> recordDb;
  bool operatorRequired = false;
  std::string operatorName;
  std::string workOrder;
  // Present when the profile has an approved list (then only its images are programmed, and an
  // empty list approves nothing); absent when it has none.
  std::optional<std::vector<ApprovedImage>> approved;
  std::string sha256;  // of the profile file's bytes (set by ReadProfileFile)
};

struct ProfileReading {
  std::optional<StationProfile> profile;
  std::string error;  // "FILE line N: ..." when the profile is refused
  bool ok() const { return profile.has_value(); }
};

// The largest profile file read; a profile is a page of settings.
inline constexpr std::size_t kMaxProfileBytes = std::size_t{256} * 1024;

// The profile in `text`; `source` names it in errors (its file name).
ProfileReading ParseStationProfile(std::string_view text, std::string_view source);

// The profile file `path`, with the SHA-256 of its bytes.
ProfileReading ReadProfileFile(const std::string& path);

}  // namespace app
