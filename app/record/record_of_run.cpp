#include "app/record/record_of_run.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>

#include "common/load_result.h"

namespace app {

std::string NewRunId() {
  // Seeded once per thread from the system's entropy; 128 bits of which 122 are random.
  thread_local std::mt19937_64 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 8) {
    const std::uint64_t word = engine();
    for (std::size_t k = 0; k < 8; ++k) bytes[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  return text;
}

std::string StationName() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "unknown";
  return name.data();
}

RunRecord RecordOfRun(const RunFacts& facts, int code, const SystemClock& now,
                      std::chrono::steady_clock::time_point ended) {
  RunRecord r;
  r.time = UtcTimeText(now());
  r.workflow = std::string(facts.workflow);
  if (facts.port) {
    r.port = facts.port->comName();
    r.path = facts.port->path;
  }
  if (const std::optional<device::Identity>& named = facts.before ? facts.before : facts.after) {
    r.deviceId = named->m_nDevId;
    r.product = named->m_strDevName;
  }
  if (facts.before) r.versionBefore = facts.before->m_strDevVersion;
  if (facts.after) r.versionAfter = facts.after->m_strDevVersion;
  if (facts.firmwarePath) {
    const std::size_t slash = facts.firmwarePath->find_last_of("/\\");
    r.file = slash == std::string::npos ? *facts.firmwarePath : facts.firmwarePath->substr(slash + 1);
    // The image programmed, or the one the station profile refused.
    if (facts.programmed || code == RESULT_NOT_APPROVED) r.sha256 = facts.sha256;
  }
  r.code = code == RESULT_STOPPED ? kStoppedCode : code;
  if (code == RESULT_STOPPED)
    r.result = std::string(kStoppedResult);
  else if (const LoadResultInfo* info = FindLoadResult(code))
    r.result = std::string(info->logMessage);
  r.eraseBegan = facts.eraseBegan;
  using std::chrono::milliseconds;
  const std::int64_t waited = std::max<std::int64_t>(facts.waited.count(), 0);
  const auto elapsed = std::chrono::duration_cast<milliseconds>(ended - facts.started).count();
  r.waitMs = waited;
  r.durationMs = std::max<std::int64_t>(elapsed - waited, 0);
  r.loader = LoaderVersion();
  r.runId = facts.runId;
  r.station = facts.station;
  return r;
}

}  // namespace app
