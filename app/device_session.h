#pragma once
// One device on one port: its link, its identity, the port it searches, the product row chosen
// for it, its result, its view and its stop request. It reads the shared firmware set and
// changes nothing in it, so several sessions can run at once, each on its own thread.

#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "app/firmware_set.h"
#include "app/record/record_of_run.h"
#include "app/record/record_sink.h"
#include "app/session_events.h"
#include "app/site_control.h"
#include "catalogue/product_table.h"
#include "common/load_result.h"
#include "common/loader_view.h"
#include "common/port_list.h"
#include "device/link.h"
#include "device/steps.h"
#include "image/mem_image.h"

namespace app {

// What a run's record keeps of the identity `identity`.
DeviceFacts FactsOf(const device::Identity& identity);

class DeviceSession {
 public:
  DeviceSession(const FirmwareSet& firmware, LoaderView& view, platform::PortOpener& opener);
  // A session that shares the machine with others (a production line): it searches `ownPort`
  // alone, never the other entries, so it never reaches another session's device.
  DeviceSession(const FirmwareSet& firmware, LoaderView& view, platform::PortOpener& opener,
                const PortEntry& ownPort);

  // The ports the session may use and the selected one. Connect looks for the device on the
  // other entries when the selected port has none, unless the session keeps to its own port.
  void SetPorts(PortList ports) { m_cbPorts = std::move(ports); }
  void SelectPort(int index) { m_cbPorts.selected = index; }
  const PortList& ports() const { return m_cbPorts; }
  bool portsFound() const { return !m_cbPorts.entries.empty(); }

  void OnConnect();
  void OnRawBoot();

  // `port`, open at `rate`, where a device just answered identify (a station's poll): the next
  // Connect asks the device there first, without opening the selected port again or trying the
  // other rates; a device that does not answer there is searched for as usual. A Connect that
  // does not reach the search lets the port go.
  void HandOverPort(std::unique_ptr<platform::SerialPort> port, int rate) {
    m_handedPort = std::move(port);
    m_handedRate = rate;
  }

  // Every Connect or raw boot run on a port leaves one record in the session's record sink:
  // stopped runs and runs where no device answered too. The sink is checked when a run
  // begins, before any device is touched (a note tells at once when records cannot be kept),
  // and written after the result line. Without a sink of its own the session writes to the
  // record file the rules choose when the run begins (FileRecordSink::ByRules): `file` names
  // that file (the terminal's --record), empty for the usual rules (VORLOADER_HISTORY, the
  // state folder). A sink may be shared by several sessions (see RecordSink).
  void SetRecordSink(std::shared_ptr<RecordSink> sink) { m_recordSink = std::move(sink); }
  void SetRecordFile(std::string file) { m_recordFile = std::move(file); }

  // Who runs the session and what for, named in every record, and the approved images: a
  // device whose image the profile does not approve is refused (RESULT_NOT_APPROVED) before
  // any question and before its flash is touched. None: nobody named, every image allowed.
  void SetSiteControl(std::shared_ptr<const SiteControl> site) { m_site = std::move(site); }

  // Whether the session's link writes the wire trace (the front end's -v or VORLOADER_TRACE,
  // decided once at start); off unless set. Before a workflow runs.
  void SetWireTrace(device::WireTrace trace) { m_link.m_trace = trace; }

  // Whom the session tells what it does (programming began and ended, the firmware chosen, each
  // run's end), from its own thread; it must outlive the session. None: nobody is told.
  void SetEvents(SessionEvents* events) { m_events = events; }

  // Asks the running workflow to end at its next step with the port closed; from any thread.
  // A stopped session stays stopped.
  void RequestStop() { m_stopSource.request_stop(); }
  std::stop_token stopToken() const { return m_stopSource.get_token(); }
  std::stop_source stopSource() const { return m_stopSource; }

  // The result of the last finished device workflow (RESULT_STOPPED when it was stopped);
  // none before the first.
  std::optional<LoadResult> lastResult() const { return m_lastResult; }
  // Whether the last run wrote the erase command to its device (its old firmware may be gone).
  bool lastRunErased() const { return m_facts.eraseBegan; }
  const device::Identity& identity() const { return m_identity; }
  // Why the last workflow ended as it did, when more than its result line says; else empty.
  const std::string& lastResultDetail() const { return m_resultDetail; }
  // What the last run's record was made from (operator, work order, profile among them).
  const RunFacts& lastFacts() const { return m_facts; }
  device::Link& link() { return m_link; }

 private:
  // Connect's steps.
  LoadResult FindDevice();
  LoadResult SearchPorts();
  // The device on the handed-over port, if it answers there.
  bool FoundOnHandedPort();
  LoadResult CheckDevice();
  LoadResult Authenticate();
  LoadResult ChooseFirmware();
  LoadResult ConfirmLoad();
  LoadResult Program();
  // Raw boot's steps.
  LoadResult OpenForRawBoot();
  LoadResult CatchBanner();
  LoadResult ProgramFromBootloader();
  LoadResult AwaitPowerCycle();

  // The chosen row's firmware, exactly as the file check accepted it, into `m_image`.
  LoadResult LoadCheckedImage();
  int SelectedPortNumber() const;
  // The common end of Connect and raw boot.
  void FinishWorkflow(LoadResult code);
  // Tells the events how the run ended (after its record).
  void TellRunEnd(LoadResult code);
  void LogResult(LoadResult code);
  // Starts the facts of a new run, kept as the workflow goes and recorded at its end.
  void BeginRun(std::string_view workflow);
  void SaveRecord(LoadResult code);
  // The file of the chosen product row is named in the run's record from now on.
  void NoteChosenFile();
  // Whom to tell: the events given, or nobody.
  SessionEvents& Events();
  // Flash steps that tell the session's events when programming begins and ends.
  device::FlashSteps TellingSteps();
  // The view's questions, their waits kept out of the run's duration.
  bool AskYesNo(const std::string& question);
  bool Confirm(const std::string& question, const std::string& about);
  void Tell(const std::string& text);

  const FirmwareSet& m_firmware;
  LoaderView& m_view;
  SessionEvents* m_events = nullptr;  // none: nobody is told
  std::stop_source m_stopSource;
  device::Link m_link;
  device::Identity m_identity;
  PortList m_cbPorts;
  std::unique_ptr<platform::SerialPort> m_handedPort;  // see HandOverPort
  int m_handedRate = 0;
  bool m_searchOthers = true;
  std::shared_ptr<const catalogue::ProductTable> m_products;  // the table this run started with
  int m_nProduct = -1;
  std::string m_deviceTag;
  image::MemImage m_image;
  std::optional<LoadResult> m_lastResult;
  RunFacts m_facts;
  std::string m_resultDetail;  // why the run ended as it did, told after its result line
  std::string m_recordFile;
  std::shared_ptr<RecordSink> m_recordSink;  // given by the front end; null: the file by the rules
  std::shared_ptr<RecordSink> m_runSink;     // where this run's record goes
  std::shared_ptr<const SiteControl> m_site;
};

}  // namespace app
