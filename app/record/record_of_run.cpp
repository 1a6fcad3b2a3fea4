#include "app/record/record_of_run.h"

#include "common/load_result.h"

namespace app {

RunRecord RecordOfRun(const RunFacts& facts, int code, const SystemClock& now,
                      std::chrono::steady_clock::time_point ended) {
  RunRecord r;
  r.time = UtcTimeText(now());
  r.workflow = std::string(facts.workflow);
  if (facts.port) {
    r.port = "COM" + std::to_string(facts.port->number);
    r.path = facts.port->path;
  }
  if (facts.before) {
    r.deviceId = facts.before->m_nDevId;
    r.product = facts.before->m_strDevName;
    r.versionBefore = facts.before->m_strDevVersion;
  }
  if (facts.after) r.versionAfter = facts.after->m_strDevVersion;
  if (facts.firmwarePath) {
    const std::size_t slash = facts.firmwarePath->find_last_of("/\\");
    r.file = slash == std::string::npos ? *facts.firmwarePath : facts.firmwarePath->substr(slash + 1);
    if (facts.programmed) r.sha256 = facts.sha256;
  }
  r.code = code;
  if (const LoadResultInfo* info = FindLoadResult(code)) r.result = std::string(info->logMessage);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(ended - facts.started).count();
  r.durationMs = elapsed > 0 ? elapsed : 0;
  r.loader = LoaderVersion();
  return r;
}

}  // namespace app
