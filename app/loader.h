#pragma once
// The loader's working state and its workflows: the start-up sequence, Connect, raw boot and
// Check for Updates. Each runs as straight-line blocking code on whichever thread calls it
// (the window's workflow thread, the terminal's main thread) and reports only through the view.

#include <functional>
#include <string>

#include "app/options.h"
#include "catalogue/product_table.h"
#include "common/load_result.h"
#include "common/loader_view.h"
#include "device/link.h"
#include "device/steps.h"

namespace app {

class Loader {
 public:
  // `firmFolder` is the firmware folder path ending with a separator (empty when none);
  // `folderProblem`, when not empty, is logged by the start-up sequence.
  Loader(LoaderView& view, device::PortOpener& opener, Options options, std::string firmFolder,
         std::string folderProblem = {});

  // Lists the ports, refreshes the catalogue, builds the product table, checks the files and,
  // when a port exists and `thenConnect` is set, runs Connect. `portsListed`, when given, runs
  // right after the port list is made (a front end picks its entry there); false ends the
  // sequence at once.
  void RunStartupSequence(bool thenConnect = true, const std::function<bool()>& portsListed = {});
  void OnConnect();
  void OnRawBoot();
  void CheckForUpdates();

  // The common end of Connect and raw boot.
  void FinishWorkflow(int code);
  void LogResult(int code);

  // The front end tells the loader which port entry the user selected.
  void SelectPort(int index) { m_cbPorts.selected = index; }

  const Options& options() const { return m_options; }
  const device::PortList& ports() const { return m_cbPorts; }
  const device::Identity& identity() const { return m_identity; }
  const catalogue::ProductTable& products() const { return m_products; }
  device::Link& link() { return m_link; }
  // The code of the last finished device workflow, -1 when none ran.
  int lastResult() const { return m_lastResult; }
  bool portsFound() const { return m_bPortsFound != 0; }

 private:
  LoaderView& m_view;
  Options m_options;
  device::Link m_link;
  device::Identity m_identity;
  catalogue::ProductTable m_products;
  device::PortList m_cbPorts;
  std::string m_strFirmFolderA;
  std::string m_folderProblem;
  std::string m_strFirmUrl;
  int m_bPortsFound = 0;
  int m_nProduct = -1;
  int m_lastResult = -1;

  // True when the front end asked to stop; closes the port so nothing is left open.
  bool Stopped();
  int SelectedPortNumber() const;
  void ShowPorts();
  // Programming confirmed by the user (or by a box); the identity is refreshed on success.
  int LoadAfterConfirmation(int code);
  // Refresh, product table, file check; false when there is no product database or a stop.
  bool RunCatalogueSteps();
  // The raw boot steps; a result code, or -1 when the front end asked to stop.
  int RunRawBoot();
};

}  // namespace app
