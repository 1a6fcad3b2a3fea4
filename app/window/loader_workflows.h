#pragma once
// The loader's workflows as the window runs them.

#include "app/loader.h"
#include "app/window/workflows.h"

namespace window {

class LoaderWorkflows final : public Workflows {
 public:
  explicit LoaderWorkflows(app::Loader& loader) : m_loader(loader) {}
  void SelectPort(int index) override { m_loader.SelectPort(index); }
  void RunStartupSequence() override { m_loader.RunStartupSequence(); }
  void OnConnect() override { m_loader.OnConnect(); }
  void OnRawBoot() override { m_loader.OnRawBoot(); }
  void CheckForUpdates() override { m_loader.CheckForUpdates(); }

 private:
  app::Loader& m_loader;
};

}  // namespace window
