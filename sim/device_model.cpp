#include "sim/device_model.h"

#include <algorithm>
#include <cstdio>

#include "sim/challenge_check.h"
#include "tools/maker_crypto.h"

namespace sim {
namespace {

using std::chrono::milliseconds;

// A message whose next byte is this late is abandoned: the loader has moved on.
constexpr milliseconds kMessageGap{100};
// The image stream has ended when no byte has come for this long after its end record; the
// bytes up to then (an encrypted file's padding, sent in the same breath) still belong to it.
// The loader's first poll for the new firmware comes after a pause of its own.
constexpr milliseconds kStreamQuiet{30};
constexpr std::size_t kShortIdentifyLen = 20;
constexpr std::size_t kBadRecordsLogged = 10;

std::string CodeText(const CodeBytes& code) {
  char buf[5];
  std::snprintf(buf, sizeof buf, "%02x%02x", code[0], code[1]);
  return buf;
}

double MonoSeconds(Clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

}  // namespace

DeviceModel::DeviceModel(const SimOptions& options, Transcript& transcript, UtcClock utcNow)
    : m_options(options),
      m_transcript(transcript),
      m_utcNow(std::move(utcNow)),
      m_state(options.rawBoot ? State::PoweredOff : State::Firmware),
      m_label(options.label) {}

const char* DeviceModel::StateName(State s) {
  switch (s) {
    case State::PoweredOff:
      return "off";
    case State::Firmware:
      return "firmware";
    case State::Bootloader:
      return "bootloader";
    case State::Erasing:
      return "erasing";
    case State::Receiving:
      return "receiving";
    case State::Restarting:
      return "restarting";
  }
  return "?";
}

void DeviceModel::Send(Clock::time_point now, Bytes bytes, std::string what) {
  m_outbox.push_back(Outgoing{now, std::move(bytes), std::move(what)});
}

void DeviceModel::HangUp(Clock::time_point now, Event e) {
  if (m_hungUp) return;
  m_hungUp = true;
  m_timer.reset();
  m_hangUpAt.reset();
  m_outbox.clear();  // nothing more leaves a device that is gone
  Log(now, e.Str("state", StateName(m_state)));
}

void DeviceModel::OnOpen(Clock::time_point now) {
  m_portOpen = true;
  Log(now, Event("open").Str("state", StateName(m_state)));
  if (m_options.faults.hangUpAfterOpenMs >= 0 && !m_hangUpAt && !m_hungUp)
    m_hangUpAt = now + milliseconds(m_options.faults.hangUpAfterOpenMs);
  // Raw boot: the technician switches the device on once the loader listens.
  if (m_state == State::PoweredOff) m_timer = now + milliseconds(m_options.bootDelayMs);
}

void DeviceModel::OnClose(Clock::time_point now) {
  m_portOpen = false;
  Log(now, Event("close").Str("state", StateName(m_state)));
  if (m_state == State::PoweredOff) m_timer.reset();
  // A raw-boot device left waiting in its bootloader is switched off with the session.
  if (m_options.rawBoot && !m_programmed && m_state == State::Bootloader) m_state = State::PoweredOff;
}

void DeviceModel::OnFlush(Clock::time_point now) {
  Log(now, Event("flush").Str("state", StateName(m_state)));
  // The loader clears its input right before it listens for the banner, after its user has
  // been told to switch the device on: a banner sent before that is thrown away. So, until
  // the erase command comes, the device (again) greets a while after the latest discard.
  const bool waitingForSession = m_state == State::PoweredOff || m_state == State::Bootloader;
  if (m_options.rawBoot && !m_programmed && m_portOpen && waitingForSession)
    m_timer = now + milliseconds(m_options.bootDelayMs);
}

void DeviceModel::OnNoise(std::size_t count, Clock::time_point now) {
  Log(now, Event("ignored").Int("bytes", static_cast<long long>(count)).Str("state", StateName(m_state)));
  m_partial.clear();
}

std::optional<Clock::time_point> DeviceModel::NextDeadline() const {
  std::optional<Clock::time_point> next = m_timer;
  if (m_hangUpAt && (!next || *m_hangUpAt < *next)) next = m_hangUpAt;
  if (m_hex && !m_imageReported && m_hex->Ended()) {
    Clock::time_point quiet = m_lastStreamByte + kStreamQuiet;
    if (!next || quiet < *next) next = quiet;
  }
  return next;
}

void DeviceModel::OnTick(Clock::time_point now) {
  if (m_hungUp) return;
  if (m_hangUpAt && now >= *m_hangUpAt) {
    HangUp(now, Event("hang-up").Str("after", "open").Int("ms", m_options.faults.hangUpAfterOpenMs));
    return;
  }
  if (m_hex && !m_imageReported && m_hex->Ended() && now >= m_lastStreamByte + kStreamQuiet) ReportImage(now);
  if (!m_timer || now < *m_timer) return;
  m_timer.reset();
  switch (m_state) {
    case State::PoweredOff:
    case State::Bootloader:
      if (m_options.faults.silent) {
        Log(now, Event("banner").Str("verdict", "silent"));
        return;
      }
      Send(now,
           BootBanner(m_options.faults.bannerCode.value_or(m_options.code),
                      static_cast<std::size_t>(m_options.bannerLength)),
           "banner");
      Log(now, Event("banner")
                   .Str("verdict", "sent")
                   .Str("code", CodeText(m_options.faults.bannerCode.value_or(m_options.code)))
                   .Int("length", m_options.bannerLength));
      m_state = State::Bootloader;
      break;
    case State::Erasing:
      Send(now, EraseReply(), "erase reply");
      Log(now, Event("erased"));
      m_state = State::Receiving;
      m_hex = std::make_unique<HexReceiver>();
      m_imageReported = false;
      m_firstStreamByte = Clock::time_point{};
      break;
    case State::Restarting:
      Restart(now);
      break;
    default:
      break;
  }
}

void DeviceModel::OnBytes(std::span<const std::uint8_t> bytes, Clock::time_point now) {
  std::size_t garbage = 0;
  std::size_t ignored = 0;
  if (!m_partial.empty() && now - m_lastByte > kMessageGap) {
    garbage += m_partial.size();
    m_partial.clear();
  }
  for (std::uint8_t b : bytes) {
    if (m_hungUp) break;
    const bool streamTail =
        m_state == State::Restarting && m_hex && !m_imageReported && now - m_lastStreamByte <= kStreamQuiet;
    switch (m_state) {
      case State::PoweredOff:
      case State::Erasing:
        ++ignored;
        break;
      case State::Bootloader:
        if (b == kEraseCommand || b == kDeclineByte) {
          HandleBootloaderByte(b, now);
        } else {
          ++ignored;
        }
        break;
      case State::Receiving:
        HandleStreamByte(b, now);
        break;
      case State::Restarting:
      case State::Firmware:
        if (streamTail) {
          HandleStreamByte(b, now);
          break;
        }
        m_partial.push_back(b);
        for (;;) {
          Recognised r = RecogniseMessage(m_partial);
          if (r.status == Recognised::NeedMore) break;
          if (r.status == Recognised::Garbage) {
            garbage += r.length;
            m_partial.erase(m_partial.begin(), m_partial.begin() + static_cast<std::ptrdiff_t>(r.length));
            continue;
          }
          const Bytes msg(m_partial.begin(), m_partial.begin() + static_cast<std::ptrdiff_t>(r.length));
          m_partial.erase(m_partial.begin(), m_partial.begin() + static_cast<std::ptrdiff_t>(r.length));
          HandleMessage(r.kind, msg, now);
          break;
        }
        break;
    }
  }
  m_lastByte = now;
  if (garbage > 0)
    Log(now, Event("garbage").Int("bytes", static_cast<long long>(garbage)).Str("state", StateName(m_state)));
  if (ignored > 0)
    Log(now, Event("ignored").Int("bytes", static_cast<long long>(ignored)).Str("state", StateName(m_state)));
}

void DeviceModel::HandleMessage(MessageKind kind, std::span<const std::uint8_t> msg, Clock::time_point now) {
  if (kind == MessageKind::Identify) {
    HandleIdentify(now);
    return;
  }
  static constexpr const char* kNames[] = {"identify", "query", "boot", "auth"};
  const char* name = kNames[static_cast<int>(kind)];
  if (m_state == State::Restarting) {
    Log(now, Event(name).Str("verdict", "restarting"));
    return;
  }
  if (m_options.faults.silent) {
    Log(now, Event(name).Str("verdict", "silent"));
    return;
  }
  switch (kind) {
    case MessageKind::DeviceQuery:
      HandleDeviceQuery(msg, now);
      break;
    case MessageKind::BootRequest:
      HandleBootRequest(msg, now);
      break;
    case MessageKind::AuthFrame:
      HandleAuthFrame(msg, now);
      break;
    case MessageKind::Identify:
      break;
  }
}

void DeviceModel::HandleIdentify(Clock::time_point now) {
  if (m_state == State::Restarting) {
    if (m_options.faults.restartAfterPolls == 0) {
      Log(now, Event("identify").Str("verdict", "restarting"));
      return;
    }
    ++m_pollsAfterStream;
    if (m_pollsAfterStream < m_options.faults.restartAfterPolls) {
      Log(now, Event("identify").Str("verdict", "not-restarted").Int("poll", m_pollsAfterStream));
      return;
    }
    Restart(now);
  }
  if (m_options.faults.silent) {
    Log(now, Event("identify").Str("verdict", "silent"));
    return;
  }
  Bytes reply = IdentifyReply(m_options.id, m_label);
  const char* verdict = "answered";
  if (m_options.faults.shortIdentify) {
    reply.resize(kShortIdentifyLen);
    verdict = "short";
  } else if (m_options.faults.badIdentifyChecksum) {
    reply.back() ^= 0x01;
    verdict = "bad-checksum";
  }
  Send(now, std::move(reply), "identify reply");
  Log(now, Event("identify").Str("verdict", verdict).Str("label", LabelText(m_label)));
}

void DeviceModel::HandleDeviceQuery(std::span<const std::uint8_t> msg, Clock::time_point now) {
  if (!std::equal(m_options.id.begin(), m_options.id.end(), msg.begin() + 1)) {
    Log(now, Event("query").Str("verdict", "wrong-id"));
    return;
  }
  const bool foreign = m_options.faults.wrongSignature;
  Send(now, DeviceReply(m_options.id, m_options.code, foreign), "device reply");
  Log(now, Event("query")
               .Str("verdict", foreign ? "wrong-signature" : "answered")
               .Str("code", CodeText(m_options.code)));
}

void DeviceModel::HandleBootRequest(std::span<const std::uint8_t> msg, Clock::time_point now) {
  const std::string problem = CheckBootRequest(msg, m_options.id);
  if (!problem.empty()) {
    Log(now, Event("boot").Str("verdict", "bad-frame").Str("problem", problem));
    return;
  }
  const CodeBytes code = m_options.faults.bannerCode.value_or(m_options.code);
  Send(now, BootBanner(code, static_cast<std::size_t>(m_options.bannerLength)), "banner");
  Log(now, Event("boot")
               .Str("verdict", "answered")
               .Str("code", CodeText(code))
               .Int("length", m_options.bannerLength));
  m_state = State::Bootloader;
}

void DeviceModel::HandleAuthFrame(std::span<const std::uint8_t> msg, Clock::time_point now) {
  Event e("auth");
  const std::string problem = CheckAuthFrameHeader(msg, m_options.id);
  e.Str("checksum", problem == "checksum" ? "bad" : "ok");
  if (!problem.empty()) {
    Log(now, e.Str("verdict", "bad-frame").Str("problem", problem));
    return;
  }
  auto encrypted = UnpackSevenBit(msg.subspan(10, kPackedLen));
  e.Str("packing", encrypted ? "ok" : "bad");
  if (!encrypted) {
    Log(now, e.Str("verdict", "rejected").Str("problem", "packing"));
    return;
  }
  auto plain = maker::DecryptChallenge(*encrypted);
  if (!plain) {
    Log(now, e.Str("verdict", "rejected").Str("problem", "cipher"));
    return;
  }
  const ChallengeVerdict v = CheckChallenge(*plain, m_utcNow(), m_options.authToleranceS);
  e.Str("timestamp", v.problem.empty() ? "ok" : v.problem).Int("skew_ms", v.skewMs);
  if (!v.problem.empty()) {
    Log(now, e.Str("verdict", "rejected").Str("problem", "timestamp"));
    return;
  }
  if (m_options.faults.noAuthReply) {
    Log(now, e.Str("verdict", "unanswered"));
    return;
  }
  Bytes reply = AuthReply(m_options.id, *encrypted);
  const char* verdict = "answered";
  if (m_options.faults.badAuthChecksum) {
    reply.back() ^= 0x01;
    verdict = "bad-checksum";
  }
  Send(now, std::move(reply), "auth reply");
  Log(now, e.Str("verdict", verdict));
}

void DeviceModel::HandleBootloaderByte(std::uint8_t b, Clock::time_point now) {
  m_timer.reset();  // the loader has the banner: no greeting again
  if (b == kDeclineByte) {
    Log(now, Event("decline"));
    m_state = State::Firmware;
    m_partial.clear();
    return;
  }
  if (m_options.faults.hangUpOnErase) {
    HangUp(now, Event("hang-up").Str("after", "erase"));
    return;
  }
  m_state = State::Erasing;
  if (m_options.faults.noEraseReply) {
    Log(now, Event("erase").Str("verdict", "unanswered"));
    return;
  }
  Log(now, Event("erase").Str("verdict", "erasing").Int("erase_ms", m_options.eraseMs));
  m_timer = now + milliseconds(m_options.eraseMs);
}

void DeviceModel::HandleStreamByte(std::uint8_t b, Clock::time_point now) {
  if (m_hex->ByteCount() == 0) m_firstStreamByte = now;
  m_lastStreamByte = now;
  const HexReceiver::Step step = m_hex->Feed(b);
  if (m_options.faults.hangUpAfterBytes > 0 &&
      m_hex->ByteCount() >= static_cast<std::size_t>(m_options.faults.hangUpAfterBytes)) {
    HangUp(now,
           Event("hang-up").Str("after", "stream").Int("bytes", static_cast<long long>(m_hex->ByteCount())));
    return;
  }
  switch (step) {
    case HexReceiver::Step::BadRecord:
      if (m_hex->BadRecords() <= kBadRecordsLogged)
        Log(now, Event("bad-record")
                     .Int("record", static_cast<long long>(m_hex->Records()) +
                                        static_cast<long long>(m_hex->BadRecords())));
      break;
    case HexReceiver::Step::EndOfFile:
      Log(now, Event("stream-end")
                   .Int("records", static_cast<long long>(m_hex->Records()))
                   .Int("bad_records", static_cast<long long>(m_hex->BadRecords()))
                   .Int("data_bytes", static_cast<long long>(m_hex->Data().size())));
      m_state = State::Restarting;
      m_pollsAfterStream = 0;
      if (!m_options.faults.neverRestart && m_options.faults.restartAfterPolls == 0)
        m_timer = now + milliseconds(m_options.restartMs);
      break;
    default:
      break;
  }
}

void DeviceModel::ReportImage(Clock::time_point now) {
  m_imageReported = true;
  const auto version = FindVersion(m_hex->Data(), "VOR_T" + CodeText(m_options.code) + "_V");
  const char* verdict = m_hex->BadRecords() > 0 ? "bad-records" : (version ? "good" : "no-version-tag");
  Log(now, Event("image")
               .Str("verdict", verdict)
               .Int("length", static_cast<long long>(m_hex->ByteCount()))
               .Hex32("crc32", m_hex->Crc())
               .Int("records", static_cast<long long>(m_hex->Records()))
               .Int("bad_records", static_cast<long long>(m_hex->BadRecords()))
               .Int("stray", static_cast<long long>(m_hex->StrayBytes()))
               .Str("version", version.value_or(""))
               .Real("first_byte_mono", MonoSeconds(m_firstStreamByte))
               .Real("last_byte_mono", MonoSeconds(m_lastStreamByte)));
}

void DeviceModel::Restart(Clock::time_point now) {
  if (!m_imageReported) ReportImage(now);
  const auto version = FindVersion(m_hex->Data(), "VOR_T" + CodeText(m_options.code) + "_V");
  const bool good = m_hex->BadRecords() == 0 && version.has_value();
  // A flash that failed its record checks is not started: the old firmware runs on.
  if (good) {
    m_label = LabelWithVersion(m_label, *version);
    m_programmed = true;
  }
  Log(now, Event("restart")
               .Str("firmware", good ? "new" : "old")
               .Str("version", good ? *version : "")
               .Str("label", LabelText(m_label)));
  m_state = State::Firmware;
  m_timer.reset();
  m_partial.clear();
}

}  // namespace sim
