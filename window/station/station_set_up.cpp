#include "window/station/station_set_up.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <utility>

namespace window {

namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
  return text;
}

// The same device node, through whatever links; false when either cannot be resolved.
bool SamePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  const bool same = std::filesystem::equivalent(a, b, ec);
  return !ec && same;
}

// The port the profile's text names: a listed one (by COM name or device path), else a COM
// port not listed (yet); number 0 when it names none.
PortEntry PortNamed(const std::string& text, const std::vector<PortEntry>& listed,
                    const platform::PortOpener& opener) {
  const std::string upper = Upper(text);
  for (const PortEntry& entry : listed)
    if (entry.comName() == upper || entry.path == text || SamePath(entry.path, text)) return entry;
  for (int n = 1; n <= 32; ++n)
    if (ComName(n) == upper) return opener.Describe(n);
  return {};
}

}  // namespace

StationStart PlanStationStart(const WindowCommandLine& line, const device::PortList& listed,
                              const platform::PortOpener& opener, const app::Environment& env) {
  StationStart start;
  start.optionBits = line.options;
  start.setUp.workOrder = line.workOrder;
  const std::optional<std::string> fromEnv = env ? env("VORLOADER_OPERATOR") : std::nullopt;
  start.setUp.operatorName = !line.operatorName.empty() ? line.operatorName
                             : fromEnv                  ? *fromEnv
                                                        : std::string();
  if (!line.profile) {
    start.ports = listed.entries;
  } else {
    const app::StationProfile& p = *line.profile;
    if (!line.optionsGiven) start.optionBits = p.options;
    if (p.record) start.recordFile = p.record->text;
    if (p.recordDb) start.recordDb = p.recordDb->text;
    if (start.setUp.workOrder.empty()) start.setUp.workOrder = p.workOrder;
    if (start.setUp.operatorName.empty()) start.setUp.operatorName = p.operatorName;
    start.setUp.profileName = p.name;
    start.setUp.operatorRequired = p.operatorRequired;
    start.site.profileName = p.name;
    start.site.profileSha256 = p.sha256;
    start.site.approved = p.approved;
    if (p.ports.empty()) {
      for (const PortEntry& entry : listed.entries) {
        const bool skipped =
            std::any_of(p.skipPorts.begin(), p.skipPorts.end(), [&](const app::ProfileText& s) {
              return PortNamed(s.text, {entry}, opener).number == entry.number;
            });
        if (!skipped) start.ports.push_back(entry);
      }
    } else {
      for (const app::ProfileText& named : p.ports) {
        const PortEntry entry = PortNamed(named.text, listed.entries, opener);
        const bool taken = std::any_of(start.ports.begin(), start.ports.end(),
                                       [&](const PortEntry& e) { return e.number == entry.number; });
        if (entry.number == 0)
          start.notes.push_back("The profile's port " + named.text + " (line " + std::to_string(named.line) +
                                ") is none of the ports COM1 to COM32.");
        else if (!taken)
          start.ports.push_back(entry);
      }
    }
  }
  start.site.workOrder = start.setUp.workOrder;
  return start;
}

app::Environment StationEnvironment(const StationStart& start, app::Environment env) {
  return [start, env = std::move(env)](const char* name) -> std::optional<std::string> {
    const std::string_view wanted(name);
    if (wanted == "VORLOADER_HISTORY" && !start.recordFile.empty()) return start.recordFile;
    if (wanted == "VORLOADER_RECORD_DB" && start.recordDb) return start.recordDb;
    return env ? env(name) : std::nullopt;
  };
}

}  // namespace window
