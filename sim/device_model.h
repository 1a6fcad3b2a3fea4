#pragma once
// One VORnet device: its running firmware and its bootloader, as a state machine fed with the
// bytes the device receives and the port events it notices. It decides what to send and when;
// the caller moves the bytes. No I/O, and the clock comes in as arguments.

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/device_frames.h"
#include "sim/hex_receiver.h"
#include "sim/sim_options.h"
#include "sim/transcript.h"

namespace sim {

struct Outgoing {
  Clock::time_point due;
  Bytes bytes;
  std::string what;  // the transcript's name for it
};

class DeviceModel {
 public:
  using UtcClock = std::function<std::chrono::system_clock::time_point()>;

  DeviceModel(const SimOptions& options, Transcript& transcript, UtcClock utcNow);

  // The loader opened the port (first opener) or closed it (last closer).
  void OnOpen(Clock::time_point now);
  void OnClose(Clock::time_point now);
  // The loader discarded its unread input.
  void OnFlush(Clock::time_point now);
  // Bytes received at a rate the device answers at.
  void OnBytes(std::span<const std::uint8_t> bytes, Clock::time_point now);
  // Bytes received at another rate: noise to the device, which drops any partial message.
  void OnNoise(std::size_t count, Clock::time_point now);
  // Runs what is due by `now`.
  void OnTick(Clock::time_point now);
  // The next time OnTick has something to do.
  std::optional<Clock::time_point> NextDeadline() const;

  // Bytes to send, in order, each not before its due time.
  std::deque<Outgoing>& Outbox() { return m_outbox; }

  // The device has vanished (a hang-up fault): the caller closes the line and stops.
  bool HungUp() const { return m_hungUp; }

  enum class State { PoweredOff, Firmware, Bootloader, Erasing, Receiving, Restarting };
  State CurrentState() const { return m_state; }

 private:
  void HandleFirmwareBytes(std::span<const std::uint8_t> bytes, Clock::time_point now);
  void HandleMessage(MessageKind kind, std::span<const std::uint8_t> msg, Clock::time_point now);
  void HandleIdentify(Clock::time_point now);
  void HandleDeviceQuery(std::span<const std::uint8_t> msg, Clock::time_point now);
  void HandleBootRequest(std::span<const std::uint8_t> msg, Clock::time_point now);
  void HandleAuthFrame(std::span<const std::uint8_t> msg, Clock::time_point now);
  void HandleBootloaderByte(std::uint8_t b, Clock::time_point now);
  void HandleStreamByte(std::uint8_t b, Clock::time_point now);
  void ReportImage(Clock::time_point now);
  void Restart(Clock::time_point now);
  void Send(Clock::time_point now, Bytes bytes, std::string what);
  void HangUp(Clock::time_point now, Event e);
  void Log(Clock::time_point now, const Event& e) { m_transcript.Write(now, e); }
  static const char* StateName(State s);

  const SimOptions m_options;
  Transcript& m_transcript;
  UtcClock m_utcNow;
  State m_state;
  LabelBytes m_label;
  std::deque<Outgoing> m_outbox;

  std::vector<std::uint8_t> m_partial;  // a message still arriving
  Clock::time_point m_lastByte{};

  bool m_portOpen = false;
  bool m_programmed = false;                 // raw boot: the new firmware runs, no more power-on banners
  std::optional<Clock::time_point> m_timer;  // power-on banner, erase end or restart

  std::unique_ptr<HexReceiver> m_hex;
  bool m_imageReported = true;
  Clock::time_point m_firstStreamByte{}, m_lastStreamByte{};
  int m_pollsAfterStream = 0;

  std::optional<Clock::time_point> m_hangUpAt;  // --hang-up-after-open, once the port opened
  bool m_hungUp = false;
};

}  // namespace sim
