#pragma once
// The loader's workflows as the window runs them: one firmware set and one device session.

#include "app/device_session.h"
#include "app/firmware_set.h"
#include "app/startup.h"
#include "window/workflows.h"

namespace window {

class LoaderWorkflows final : public Workflows {
 public:
  LoaderWorkflows(app::FirmwareSet& firmware, app::DeviceSession& session, platform::PortOpener& opener,
                  LoaderView& view)
      : m_firmware(firmware), m_session(session), m_opener(opener), m_view(view) {}
  void SelectPort(int index) override { m_session.SelectPort(index); }
  void RunStartupSequence() override { app::RunStartupSequence(m_firmware, m_session, m_opener, m_view); }
  void OnConnect() override { m_session.OnConnect(); }
  void OnRawBoot() override { m_session.OnRawBoot(); }
  void CheckForUpdates() override { app::CheckForUpdates(m_firmware, m_session, m_view); }
  void RequestStop() override { m_session.RequestStop(); }

 private:
  app::FirmwareSet& m_firmware;
  app::DeviceSession& m_session;
  platform::PortOpener& m_opener;
  LoaderView& m_view;
};

}  // namespace window
