#include "window/program_start.h"

#include <cstdlib>
#include <string_view>

#ifndef VOR_VERSION
#error "VOR_VERSION must name the program version"
#endif

namespace window {

namespace {

constexpr int kNoDesktopStatus = 2;

std::string_view Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

// The toolkit shows windows through the platform plug-in QT_QPA_PLATFORM names; only the
// default (empty), X11 and Wayland need a display server. "offscreen", "vnc" and the like
// do not, and neither does a plug-in given with -platform.
bool NeedsDisplayServer(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-platform" || arg == "--platform" || arg.starts_with("-platform=")) return false;
  }
  const std::string_view platform = Env("QT_QPA_PLATFORM");
  return platform.empty() || platform.starts_with("xcb") || platform.starts_with("wayland");
}

}  // namespace

std::string UsageText() {
  return R"(Usage: vorloader [--x N]
       vorloader [--x N] [--offline] [--allow-older] [--allow-reload]
                 [--keep-untagged] [--station [--profile FILE] [--operator NAME]
                 [--work-order TEXT]]
       vorloader --help | --version

The VORnet Loader window: finds a VORnet device on a serial port, identifies and
authenticates it, and programs it with the firmware that belongs to it, keeping
the firmware folder up to date from the maker's support web server.

Options:
  --x N        option bits: 1 offline, 2 offer to load an older image, 4 offer to
               reload the same version, 8 keep firmware files without a version tag
  --offline         the same as bit 1: nothing is downloaded
  --allow-older     bit 2: offer to load an older image than the device has
  --allow-reload    bit 4: offer to reload the version the device has
  --keep-untagged   bit 8: keep firmware files without a readable version tag
               (the named options and --x are combined: --offline --x 4 is --x 5,
               and a bit given twice is still one bit)
  --station    the station window: one panel per port; from Start until Stop each
               port programs every device plugged into it, without a question,
               and then waits for the next
  --profile FILE  with --station: the station profile (TOML) of the line: its
               name, ports, option bits, records, operator-required and the
               [[approved]] images (see vorloader-cli(1)); options given here
               override it. A device whose image it does not approve is not
               programmed (E17). Its name and work order head the window
  --operator NAME  with --station: the operator, preset in the field beside
               Start (else $VORLOADER_OPERATOR, else the profile's); a profile
               with operator-required = true starts only with a name there
  --work-order TEXT  with --station: what the devices are programmed for
  -h, --help   show this help and exit
  -V, --version  show the version and exit

The window needs a desktop session (DISPLAY or WAYLAND_DISPLAY set). In a
terminal, or on a machine without one, use vorloader-cli.

Run records: each Connect or Raw Boot run on a port (stopped ones too) appends
one JSON line to $VORLOADER_HISTORY (set and empty: no records), else to
$XDG_STATE_HOME/vorloader/history.jsonl (~/.local/state/...). A record holds
time, workflow, port and path, device_id, product, version_before and
version_after, file and its sha256, code and result (the log's result line),
duration_ms, loader (this version), run_id (one per run) and station (the host
name), the operator, the work order and the station profile; `vorloader-cli
history` shows them.

Environment: VORLOADER_PROGRAMDATA, VORLOADER_COM_DIR, VORLOADER_TRACE,
VORLOADER_UPDATE_URL, VORLOADER_HISTORY, VORLOADER_OPERATOR; see vorloader(1).

Closing the window, or the signals TERM and HUP, end the program; during an erase
or an image stream it asks first, and a second signal answers Yes.

Exit status: 0 closed; 2 no desktop session; 64 usage error; 128 + the signal's
number when TERM or HUP closed it.
)";
}

std::optional<int> EarlyExit(const WindowParse& parsed, int argc, const char* const* argv, std::FILE* out,
                             std::FILE* err) {
  if (!parsed.ok()) {
    std::fputs((parsed.error + "\n").c_str(), err);
    return kExitUsage;
  }
  if (parsed.line.help) {
    std::fputs(UsageText().c_str(), out);
    return 0;
  }
  if (parsed.line.version) {
    std::fputs("vorloader " VOR_VERSION "\n", out);
    return 0;
  }
  if (NeedsDisplayServer(argc, argv) && Env("DISPLAY").empty() && Env("WAYLAND_DISPLAY").empty()) {
    std::fputs(
        "vorloader: needs a desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set); in a terminal use "
        "vorloader-cli\n",
        err);
    return kNoDesktopStatus;
  }
  return std::nullopt;
}

}  // namespace window
