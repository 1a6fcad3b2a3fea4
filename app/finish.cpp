// The common end of the device workflows: one log line per run, the port closed, the
// buttons set from the outcome.

#include "app/device_session.h"

namespace app {

void DeviceSession::LogResult(LoadResult code) {
  const LoadResultInfo* info = FindLoadResult(code);
  m_view.appendLog(info ? std::string(info->logMessage) : std::string());
}

void DeviceSession::FinishWorkflow(LoadResult code) {
  m_handedPort.reset();
  m_link.Close();
  m_image.Close();
  m_lastResult = code;
  // A stop asked for by the front end is no result of the device: nothing more is said, but
  // the attempt is recorded, port closed, before the workflow returns.
  if (code == RESULT_STOPPED) {
    SaveRecord(code);
    TellRunEnd(code);
    return;
  }
  m_view.setPortStatus("No Connection");
  const LoadResultInfo* info = FindLoadResult(code);
  const RunOutcome outcome = OutcomeOfResult(code);
  if (outcome == RunOutcome::Programmed) {
    m_view.setMainStatus("Program Loaded.");
  } else {
    m_view.setMainStatus(outcome == RunOutcome::Refused ? ".." : "..Failed..");
    m_view.setDeviceStatus("..");
  }
  const bool offerRawBoot = info != nullptr && info->offerRawBoot;
  m_view.enableRawBoot(offerRawBoot);
  LogResult(code);
  if (!m_resultDetail.empty()) m_view.detail(m_resultDetail);
  if (offerRawBoot)
    m_view.detail(
        "Raw Boot can recover this device: start a raw boot, then switch the device off and on when asked.");
  m_view.enableConnect(portsFound());
  SaveRecord(code);
  TellRunEnd(code);
}

void DeviceSession::TellRunEnd(LoadResult code) {
  SessionRunEnd end;
  end.result = code;
  end.eraseWritten = m_facts.eraseBegan;
  end.detail = m_resultDetail;
  end.device = FactsOf(m_identity);
  Events().runFinished(end);
}

}  // namespace app
