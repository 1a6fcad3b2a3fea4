#include "tests/support/scripted/scripted_device.h"

#include <algorithm>

#include "device/frame_codec.h"

namespace testing_support {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Cuts a reply to `len` bytes and, when asked, spoils its 7-bit sum in the last byte.
Bytes Finish(Bytes reply, std::size_t len, bool badSum) {
  reply.back() = device::SevenBitSum(std::span<const std::uint8_t>(reply).first(reply.size() - 1));
  if (badSum) reply.back() = static_cast<std::uint8_t>((reply.back() + 1) & 0x7F);
  reply.resize(std::min(len, reply.size()));
  return reply;
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> head) {
  return bytes.size() >= head.size() && std::equal(head.begin(), head.end(), bytes.begin());
}

bool IsIdentifyQuery(std::span<const std::uint8_t> w) {
  return w.size() == 5 && StartsWith(w, {0xBF, 0x00, 0x00, 0x00, 0x00});
}

}  // namespace

void ScriptedDevice::Attach(ScriptedLine& line) {
  line.respond = [this](std::span<const std::uint8_t> written, int rate) { return Answer(written, rate); };
}

void ScriptedDevice::PowerOnInBootloader(ScriptedLine& line) {
  m_mode = Mode::Bootloader;
  const Bytes banner = Banner();
  line.arriving.insert(line.arriving.end(), banner.begin(), banner.end());
}

Bytes ScriptedDevice::IdentifyReply(const std::string& label) const {
  Bytes r(24, 0);
  r[0] = 0x01;
  r[1] = 0x02;
  r[2] = 0x03;
  std::copy(m_script.idBytes.begin(), m_script.idBytes.end(), r.begin() + 3);
  std::copy_n(label.begin(), std::min<std::size_t>(label.size(), 16), r.begin() + 7);
  return Finish(std::move(r), m_script.identifyLen, m_script.identifyBadSum);
}

Bytes ScriptedDevice::DeviceReply() const {
  Bytes r(15, 0);
  for (std::size_t i = 0; i < 8; ++i) r[i] = static_cast<std::uint8_t>(0x10 + i);
  r[8] = m_script.signature[0];
  r[9] = m_script.signature[1];
  r[10] = 0x12;
  r[11] = 0x34;
  r[12] = m_script.productCode[0];
  r[13] = m_script.productCode[1];
  return Finish(std::move(r), m_script.deviceLen, m_script.deviceBadSum);
}

Bytes ScriptedDevice::AuthReply() const {
  Bytes r(30, 0);
  for (std::size_t i = 0; i < 29; ++i)
    r[i] = static_cast<std::uint8_t>(0xA0 + i);  // content is never examined
  return Finish(std::move(r), m_script.authLen, m_script.authBadSum);
}

Bytes ScriptedDevice::Banner() const {
  Bytes r(75, 0x20);
  std::copy(m_script.bannerHead.begin(), m_script.bannerHead.end(), r.begin());
  r[4] = m_script.bannerCode[0];
  r[5] = m_script.bannerCode[1];
  r.resize(std::min(m_script.bannerLen, r.size()));
  return r;
}

Bytes ScriptedDevice::Answer(std::span<const std::uint8_t> w, int rate) {
  if (!m_script.rates.contains(rate)) return {};
  switch (m_mode) {
    case Mode::Running:
      if (IsIdentifyQuery(w)) {
        m_seen.push_back("identify");
        return IdentifyReply(m_script.label);
      }
      if (w.size() == 5 && w[0] == 0xE0) {
        m_seen.push_back("query");
        return DeviceReply();
      }
      if (w.size() == 30 && StartsWith(w, {0xF0, 0x00, 0x2F, 0x61})) {
        m_seen.push_back("auth");
        return AuthReply();
      }
      if (w.size() == 14 && StartsWith(w, {0xF0, 0x00, 0x3F, 0x61})) {
        m_seen.push_back("boot");
        m_mode = Mode::Bootloader;
        return Banner();
      }
      return {};
    case Mode::Bootloader:
      if (w.size() == 1 && w[0] == device::kDeclineByte) {
        m_seen.push_back("decline");
        m_mode = Mode::Running;
      } else if (w.size() == 1 && w[0] == device::kEraseCommand) {
        m_seen.push_back("erase");
        m_mode = Mode::Receiving;
        m_image.clear();
        return Bytes(std::min<std::size_t>(m_script.eraseLen, 16), 0x2E);
      }
      return {};
    case Mode::Receiving:
      if (!IsIdentifyQuery(w)) {
        m_image.insert(m_image.end(), w.begin(), w.end());
        return {};
      }
      m_seen.push_back("poll");
      if (m_polls++ < m_script.silentPollsAfterImage) return {};
      m_mode = Mode::Running;
      m_script.label = m_script.labelAfterImage;
      return IdentifyReply(m_script.label);
  }
  return {};
}

}  // namespace testing_support
