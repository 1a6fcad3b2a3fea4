#include "sim/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>

namespace sim {
namespace {

constexpr const char* kHelp =
    "Usage: vornet-sim --com-dir DIR [options]\n"
    "Plays one VORnet device on a pseudo-terminal until SIGTERM or SIGINT (or a hang-up\n"
    "fault). Creates the link DIR/COM<port> to the pty, prints the pty path on stdout (one\n"
    "line) when ready, and removes the link when stopped (exit status 0; 2 on bad options,\n"
    "1 on set-up failure).\n"
    "\n"
    "Port and identity:\n"
    "  --com-dir DIR          folder for the COM<n> link (required)\n"
    "  --port N               port number 1..32 (default 1)\n"
    "  --rates R,R,...        line rates the device answers at (default 57600); bytes sent at\n"
    "                         any other rate are ignored, as a real device sees only noise\n"
    "  --id HEX8              device ID, eight hexadecimal digits (default 00002cc0)\n"
    "  --label TEXT           device label, at most 16 bytes (default \"VORnet Amp V1.20\")\n"
    "  --code HEX4            product code, four hexadecimal digits (default 0a1b)\n"
    "\n"
    "Behaviour:\n"
    "  --raw-boot             start powered off in the bootloader: the device sends its\n"
    "                         boot banner by itself --boot-delay ms after the loader opened\n"
    "                         the port, and again after each discard of the loader's input\n"
    "                         until the erase command comes (the loader discards its input\n"
    "                         just before it listens, once its user switched the device on);\n"
    "                         closing the port before the erase powers it off; after\n"
    "                         programming it runs the new firmware\n"
    "  --boot-delay MS        raw boot banner delay (default 200)\n"
    "  --erase-ms MS          time the erase takes before its reply (default 300)\n"
    "  --restart-ms MS        time from the end of the image to the new firmware (default 500)\n"
    "  --banner-length N      boot banner bytes, 6..75 (default 64; the loader reads 75, so a\n"
    "                         shorter banner makes it wait for its whole time-out)\n"
    "  --auth-tolerance S     accepted clock difference of a challenge, seconds (default 300)\n"
    "  --pace                 consume received bytes and send replies no faster than the line\n"
    "                         rate allows (10 bit times per byte)\n"
    "  --transcript FILE      write one JSON line per event (flushed line by line)\n"
    "\n"
    "Faults (one at a time):\n"
    "  --silent               answer nothing\n"
    "  --short-identify       identify reply of 20 bytes instead of 24\n"
    "  --bad-identify-checksum  identify reply with a wrong 7-bit sum\n"
    "  --wrong-signature      device reply without the 56 51 signature\n"
    "  --no-auth-reply        never answer the authentication frame\n"
    "  --bad-auth-checksum    authentication reply with a wrong 7-bit sum\n"
    "  --banner-code HEX4     boot banner with this product code; expects the decline byte\n"
    "  --no-erase-reply       never answer the erase command\n"
    "  --never-restart        never come back after the image\n"
    "  --restart-after-polls N  come back only at the N-th identify query after the image\n"
    "  --hang-up-on-erase     vanish when the erase command comes: close the pty and end, as\n"
    "                         a device whose adapter is pulled\n"
    "  --hang-up-after-bytes N  vanish once N bytes of the image stream have come\n"
    "  --hang-up-after-open MS  vanish MS ms after the loader opened the port (in raw boot,\n"
    "                         with a longer --boot-delay: while the loader waits for the banner)\n"
    "\n"
    "Transcript lines: {\"t\":seconds since start,\"mono\":CLOCK_MONOTONIC seconds,\"rate\":line\n"
    "rate,\"kind\":...} with, by kind:\n"
    "  start (port, pty, raw_boot, pace), open, close, flush (the loader discarded its input),\n"
    "  ignored (bytes: received at a rate not answered, or while powered off: state),\n"
    "  garbage (bytes, state: bytes that form no message), lost (what, problem: a reply not\n"
    "  sent, as the line rate is not one the device answers at or the loader's input is\n"
    "  full), identify / query / boot / auth (verdict: answered, silent, short, bad-checksum,\n"
    "  wrong-signature, wrong-id, rejected, unanswered, not-restarted, restarting, bad-frame;\n"
    "  problem; identify adds label, query and boot code; auth adds checksum, packing,\n"
    "  timestamp, skew_ms), banner (verdict, code: sent by itself in raw boot), decline,\n"
    "  erase (verdict: erasing, unanswered), erased, bad-record (record), stream-end\n"
    "  (records, bad_records, data_bytes), hang-up (after: erase, stream or open; bytes or ms),\n"
    "  image (length, crc32, records, bad_records, stray, version, verdict: good, bad-records,\n"
    "  no-version-tag; first_byte_mono, last_byte_mono), restart (firmware: new or old,\n"
    "  version, label), stop.\n";

bool ParseInt(const char* text, long min, long max, int& out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  out = static_cast<int>(v);
  return true;
}

template <std::size_t N>
bool ParseHexBytes(const char* text, std::array<std::uint8_t, N>& out) {
  if (text == nullptr || std::strlen(text) != 2 * N) return false;
  for (std::size_t i = 0; i < N; ++i) {
    unsigned v = 0;
    for (std::size_t k = 0; k < 2; ++k) {
      const char c = text[2 * i + k];
      unsigned d;
      if (c >= '0' && c <= '9')
        d = static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        d = static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        d = static_cast<unsigned>(c - 'A' + 10);
      else
        return false;
      v = v * 16 + d;
    }
    out[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

bool ParseRates(const char* text, std::vector<int>& out) {
  if (text == nullptr) return false;
  out.clear();
  std::string s(text);
  std::size_t start = 0;
  while (start <= s.size()) {
    std::size_t comma = s.find(',', start);
    std::string item = s.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int rate = 0;
    if (!ParseInt(item.c_str(), 50, 4000000, rate)) return false;
    out.push_back(rate);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return !out.empty();
}

bool ParseLabel(const char* text, LabelBytes& out) {
  if (text == nullptr || std::strlen(text) > out.size()) return false;
  out.fill(0);
  std::memcpy(out.data(), text, std::strlen(text));
  return true;
}

}  // namespace

const char* SimHelpText() {
  return kHelp;
}

ParseOutcome ParseSimOptions(int argc, const char* const* argv, SimOptions& o, std::string& error) {
  ParseLabel("VORnet Amp V1.20", o.label);
  const std::map<std::string, bool*> flags = {
      {"--pace", &o.pace},
      {"--raw-boot", &o.rawBoot},
      {"--silent", &o.faults.silent},
      {"--short-identify", &o.faults.shortIdentify},
      {"--bad-identify-checksum", &o.faults.badIdentifyChecksum},
      {"--wrong-signature", &o.faults.wrongSignature},
      {"--no-auth-reply", &o.faults.noAuthReply},
      {"--bad-auth-checksum", &o.faults.badAuthChecksum},
      {"--no-erase-reply", &o.faults.noEraseReply},
      {"--never-restart", &o.faults.neverRestart},
      {"--hang-up-on-erase", &o.faults.hangUpOnErase},
  };
  CodeBytes bannerCode{};
  const std::map<std::string, std::function<bool(const char*)>> valued = {
      {"--com-dir",
       [&](const char* v) {
         o.comDir = v;
         return !o.comDir.empty();
       }},
      {"--port", [&](const char* v) { return ParseInt(v, 1, 32, o.port); }},
      {"--rates", [&](const char* v) { return ParseRates(v, o.rates); }},
      {"--id", [&](const char* v) { return ParseHexBytes(v, o.id); }},
      {"--label", [&](const char* v) { return ParseLabel(v, o.label); }},
      {"--code", [&](const char* v) { return ParseHexBytes(v, o.code); }},
      {"--transcript",
       [&](const char* v) {
         o.transcript = v;
         return !o.transcript.empty();
       }},
      {"--boot-delay", [&](const char* v) { return ParseInt(v, 0, 600000, o.bootDelayMs); }},
      {"--erase-ms", [&](const char* v) { return ParseInt(v, 0, 600000, o.eraseMs); }},
      {"--restart-ms", [&](const char* v) { return ParseInt(v, 0, 600000, o.restartMs); }},
      {"--banner-length", [&](const char* v) { return ParseInt(v, 6, 75, o.bannerLength); }},
      {"--auth-tolerance", [&](const char* v) { return ParseInt(v, 0, 100000000, o.authToleranceS); }},
      {"--banner-code",
       [&](const char* v) {
         if (!ParseHexBytes(v, bannerCode)) return false;
         o.faults.bannerCode = bannerCode;
         return true;
       }},
      {"--restart-after-polls",
       [&](const char* v) { return ParseInt(v, 1, 1000, o.faults.restartAfterPolls); }},
      {"--hang-up-after-bytes",
       [&](const char* v) { return ParseInt(v, 1, 1 << 30, o.faults.hangUpAfterBytes); }},
      {"--hang-up-after-open",
       [&](const char* v) { return ParseInt(v, 0, 600000, o.faults.hangUpAfterOpenMs); }},
  };
  // Every valued option but these sets up the device rather than a fault.
  const std::set<std::string> valuedFaults = {"--banner-code", "--restart-after-polls",
                                              "--hang-up-after-bytes", "--hang-up-after-open"};
  int faultCount = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return ParseOutcome::Help;
    if (auto f = flags.find(arg); f != flags.end()) {
      *f->second = true;
      if (arg != "--pace" && arg != "--raw-boot") ++faultCount;
      continue;
    }
    auto v = valued.find(arg);
    if (v == valued.end()) {
      error = "unknown option " + arg;
      return ParseOutcome::Error;
    }
    if (i + 1 >= argc || !v->second(argv[i + 1])) {
      error = "bad or missing value for " + arg;
      return ParseOutcome::Error;
    }
    if (valuedFaults.contains(arg)) ++faultCount;
    ++i;
  }
  if (o.comDir.empty()) {
    error = "--com-dir is required";
    return ParseOutcome::Error;
  }
  if (faultCount > 1) {
    error = "give at most one fault option";
    return ParseOutcome::Error;
  }
  return ParseOutcome::Run;
}

}  // namespace sim
