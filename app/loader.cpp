#include "app/loader.h"

#include <utility>

namespace app {

Loader::Loader(LoaderView& view, device::PortOpener& opener, Options options, std::string firmFolder,
               std::string folderProblem)
    : m_view(view),
      m_options(options),
      m_link(opener),
      m_strFirmFolderA(std::move(firmFolder)),
      m_folderProblem(std::move(folderProblem)) {
  m_options.ApplyBits();
  m_link.m_stop = [this] { return m_view.stopRequested(); };
}

bool Loader::Stopped() {
  if (!m_view.stopRequested()) return false;
  m_link.Close();
  return true;
}

int Loader::SelectedPortNumber() const {
  const auto& entries = m_cbPorts.entries;
  if (m_cbPorts.selected < 0 || static_cast<std::size_t>(m_cbPorts.selected) >= entries.size()) return 0;
  return entries[static_cast<std::size_t>(m_cbPorts.selected)].number;
}

void Loader::ShowPorts() { m_view.showPorts(m_cbPorts.entries, m_cbPorts.selected); }

}  // namespace app
