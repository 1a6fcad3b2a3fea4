#pragma once
// A VORnet device in memory, answering the loader's messages on a ScriptedLine: its running
// firmware (identify, device query, authentication, boot request) and its bootloader (boot
// banner, decline byte, erase, image stream), with knobs for the faults a test needs.

#include <array>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "tests/support/scripted/scripted_port.h"

namespace testing_support {

struct DeviceScript {
  std::set<int> rates{57600};  // rates at which anything is understood
  std::array<std::uint8_t, 4> idBytes{0x00, 0x00, 0x2C, 0xC0};
  std::string label = "VN-Amp V1.20";  // at most 16 bytes
  std::array<std::uint8_t, 2> productCode{0x0a, 0x1b};
  std::array<std::uint8_t, 2> signature{0x56, 0x51};  // in the device reply

  // Reply lengths (shorter than the protocol's makes a short reply) and corrupted sums.
  std::size_t identifyLen = 24;
  bool identifyBadSum = false;
  std::size_t deviceLen = 15;
  bool deviceBadSum = false;
  std::size_t authLen = 30;
  bool authBadSum = false;

  // The bootloader: its banner (after a boot request or at power-on) and its erase reply.
  std::size_t bannerLen = 75;
  std::array<std::uint8_t, 4> bannerHead{0x56, 0x51, 0x00, 0x00};
  std::array<std::uint8_t, 2> bannerCode{0x0a, 0x1b};
  std::size_t eraseLen = 16;

  // After the image: identify polls left unanswered before the new firmware runs, and the
  // label it then reports.
  int silentPollsAfterImage = 0;
  std::string labelAfterImage = "VN-Amp V1.30";
};

class ScriptedDevice {
 public:
  enum class Mode { Running, Bootloader, Receiving };

  explicit ScriptedDevice(DeviceScript script = {}) : m_script(std::move(script)) {}

  // Answers every write on `line` from now on. The device must outlive the line's use.
  void Attach(ScriptedLine& line);
  // Power-on in boot mode: the banner arrives during the loader's next read.
  void PowerOnInBootloader(ScriptedLine& line);

  std::vector<std::uint8_t> Answer(std::span<const std::uint8_t> written, int rate);

  DeviceScript& script() { return m_script; }
  Mode mode() const { return m_mode; }
  const std::vector<std::uint8_t>& image() const { return m_image; }  // stream bytes received
  // What the device understood, in order: "identify", "query", "auth", "boot", "decline",
  // "erase", "poll".
  const std::vector<std::string>& seen() const { return m_seen; }

  // The replies as the device would send them (also handy for tests of the codec).
  std::vector<std::uint8_t> IdentifyReply(const std::string& label) const;
  std::vector<std::uint8_t> DeviceReply() const;
  std::vector<std::uint8_t> AuthReply() const;
  std::vector<std::uint8_t> Banner() const;

 private:
  DeviceScript m_script;
  Mode m_mode = Mode::Running;
  int m_polls = 0;
  std::vector<std::uint8_t> m_image;
  std::vector<std::string> m_seen;
};

}  // namespace testing_support
