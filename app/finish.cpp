// The common end of the device workflows: one log line per run, the port closed, the
// buttons set from the outcome.

#include "app/loader.h"

namespace app {

void Loader::LogResult(int code) {
  const LoadResultInfo* info = FindLoadResult(code);
  m_view.appendLog(info ? std::string(info->logMessage) : std::string());
}

void Loader::FinishWorkflow(int code) {
  m_link.Close();
  m_view.setPortStatus("No Connection");
  const LoadResultInfo* info = FindLoadResult(code);
  if (code == RESULT_OK) {
    m_view.setMainStatus("Program Loaded.");
  } else if (info && info->refusal) {
    m_view.setMainStatus("..");
    m_view.setDeviceStatus("..");
  } else {
    m_view.setMainStatus("..Failed..");
    m_view.setDeviceStatus("..");
  }
  m_view.enableRawBoot(info != nullptr && info->offerRawBoot);
  LogResult(code);
  m_view.enableConnect(m_bPortsFound != 0);
  m_lastResult = code;
}

}  // namespace app
