#include "app/record/record_of_run.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>

#include "common/load_result.h"
#include "platform/host.h"
#include "platform/random.h"

namespace app {

std::string NewRunId() {
  // From the cryptographic generator, which reseeds itself (after a fork too), so that no two
  // loaders or processes ever share a stream of IDs. Should it fail, the system's entropy.
  std::array<std::uint8_t, 16> bytes{};
  if (!platform::FillRandom(bytes)) {
    std::random_device device;
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
      const std::uint32_t word = device();
      for (std::size_t k = 0; k < 4; ++k) bytes[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
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
  return platform::HostName();
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
  if (const std::optional<DeviceFacts>& named = facts.before ? facts.before : facts.after) {
    r.deviceId = named->id;
    r.product = named->name;
  }
  if (facts.before) r.versionBefore = facts.before->version;
  if (facts.after) r.versionAfter = facts.after->version;
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
  r.operatorName = facts.operatorName;
  r.workOrder = facts.workOrder;
  r.profileName = facts.profileName;
  r.profileSha256 = facts.profileSha256;
  return r;
}

}  // namespace app
