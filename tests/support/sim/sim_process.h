#pragma once
// Test helpers around the device simulator `vornet-sim` and the packing tool `vornet-pack`.
//
//   testing_support::TempDir dir("wf");                  // removed with its contents at scope end
//   testing_support::SimConfig cfg;                      // COM1, 57600, the default identity
//   cfg.extraArgs = {"--erase-ms", "50"};                // any vornet-sim option (see --help)
//   testing_support::SimProcess sim(dir.path, cfg);      // waits until the device is ready
//   ASSERT_TRUE(sim.Ready()) << sim.Error();
//   // ... point the loader at dir.path (VORLOADER_COM_DIR) and port cfg.port ...
//   EXPECT_TRUE(sim.WaitFor("restart", 5000));
//   EXPECT_EQ(testing_support::JsonField(sim.Lines("restart").back(), "version"), "1.80");
//
// The simulator writes one JSON object per line to its transcript; every line has "t"
// (seconds since the simulator started), "mono" (CLOCK_MONOTONIC seconds), "rate" (the line
// rate the loader had set) and "kind". Kinds: start, open, close, flush, ignored (bytes at a
// rate the device does not answer), garbage, identify, query, auth, boot, banner, decline,
// erase, erased, bad-record, stream-end, image, restart, lost, hang-up, stop. Fields per kind
// are in `vornet-sim --help`. A hang-up fault (--hang-up-on-erase, --hang-up-after-bytes,
// --hang-up-after-open) closes the pty and ends the simulator, as a device that is unplugged.
//
// Plugging and unplugging: a device is plugged in when its simulator starts (its COM link
// appears, so the port appears with it) and pulled out when it stops (Stop(): the link goes and
// the pty hangs up under an open port). Another SimProcess on the same port, with another --id
// and its own transcript, is the next device on that port.
//
// Tips: a banner shorter than the 75 bytes the loader asks for makes its read wait for the
// whole time-out (1 s after a boot request, 10 s in raw boot); pass {"--banner-length", "75"}
// for fast tests. Erase and restart times are options too (--erase-ms, --restart-ms).

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// TempDir comes with the harness: every simulator needs a folder for its COM links.
#include "tests/support/fixtures/temp_dir.h"

namespace testing_support {

struct SimConfig {
  int port = 1;                   // the link is <comDir>/COM<port>
  std::vector<int> rates{57600};  // the rates the device answers at
  std::string id = "00002cc0";    // device ID, eight hexadecimal digits
  std::string label = "VORnet Amp V1.20";
  std::string code = "0a1b";           // product code, four hexadecimal digits
  std::vector<std::string> extraArgs;  // further vornet-sim options
  // The transcript file; empty: <comDir>/COM<port>.transcript.jsonl. A device plugged into a
  // port after another needs its own.
  std::string transcript;
};

class SimProcess {
 public:
  // Starts vornet-sim with the config and waits (up to 10 s) until it printed its pty path.
  SimProcess(const std::string& comDir, const SimConfig& config);
  // Stops the simulator (SIGTERM, then waits for it).
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Ready() const { return m_ready; }
  const std::string& Error() const { return m_error; }
  const std::string& PtyPath() const { return m_ptyPath; }
  const std::string& ComPath() const { return m_comPath; }
  const std::string& TranscriptPath() const { return m_transcript; }

  // Every transcript line so far, in order.
  std::vector<std::string> TranscriptLines() const;
  // The lines whose "kind" is `kind`.
  std::vector<std::string> Lines(const std::string& kind) const;
  bool Contains(const std::string& kind) const { return !Lines(kind).empty(); }
  // Polls the transcript until a line of `kind` appears; false after `timeoutMs`.
  bool WaitFor(const std::string& kind, int timeoutMs) const;

  // Stops the simulator now; returns its exit status (0 for a clean stop), -1 if it was not
  // running or did not end normally.
  int Stop();

 private:
  pid_t m_pid = -1;
  int m_stdout = -1;
  bool m_ready = false;
  std::string m_error, m_ptyPath, m_comPath, m_transcript;
};

// Runs vornet-pack: a firmware file for `code` and `version` with `size` bytes of flash data,
// AES-192-CBC encrypted or plain Intel HEX. True when the file was written.
bool PackFirmware(const std::string& out, const std::string& code, const std::string& version, bool encrypted,
                  std::size_t size = 4096);

// The value of `key` in one transcript line: a string without its quotes, or a number, true,
// false as written; empty when the key is absent.
std::string JsonField(const std::string& line, const std::string& key);

// CRC-32 (the common reflected polynomial 0xEDB88320), as the transcript reports for a
// received image, so tests can compare it with the image they sent.
std::uint32_t Crc32(const std::vector<std::uint8_t>& bytes);

// The paths of the two executables.
const char* SimPath();
const char* PackPath();

}  // namespace testing_support
