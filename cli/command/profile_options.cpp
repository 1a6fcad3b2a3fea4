#include "cli/command/profile_options.h"

#include <algorithm>
#include <filesystem>

#include "app/profile/station_profile.h"
#include "cli/output/terminal_text.h"

namespace cli {

namespace {

// A port as the profile writes it, by the rules of --port; false after setting `error`.
bool AddProfilePort(const std::string& file, std::string_view key, const app::ProfileText& text,
                    std::vector<PortArgument>& into, std::string& error) {
  const std::string place = "--profile " + file + " line " + std::to_string(text.line) + ": ";
  PortArgument given;
  if (text.text.find('/') != std::string::npos) {
    given.path = text.text;
  } else {
    given.number = ParsePortName(text.text);
    if (given.number == 0) {
      error = UsageFault(place + std::string(key) + " needs port names COM1 to COM32 or device paths, not '" +
                         PrintableText(text.text) + "'");
      return false;
    }
  }
  if (std::find(into.begin(), into.end(), given) != into.end()) {
    error = UsageFault(place + std::string(key) + " names a port twice: '" + PrintableText(text.text) + "'");
    return false;
  }
  into.push_back(given);
  return true;
}

}  // namespace

ProfileApplied ApplyProfile(CommandLine& line, const app::Environment& env) {
  ProfileApplied applied;
  auto site = std::make_shared<app::SiteControl>();
  std::optional<app::StationProfile> profile;
  if (!line.profileFile.empty()) {
    app::ProfileReading reading = app::ReadProfileFile(line.profileFile);
    if (!reading.ok()) {
      applied.error = UsageFault("--profile " + PrintableText(reading.error));
      return applied;
    }
    profile = std::move(reading.profile);
  }

  if (profile) {
    const app::StationProfile& p = *profile;
    if (line.ports.empty() && !line.allPorts && line.skipPorts.empty()) {
      line.allPorts = p.allPorts;
      for (const app::ProfileText& port : p.ports)
        if (!AddProfilePort(line.profileFile, "ports", port, line.ports, applied.error)) return applied;
      for (const app::ProfileText& port : p.skipPorts)
        if (!AddProfilePort(line.profileFile, "skip-ports", port, line.skipPorts, applied.error))
          return applied;
    }
    if (!line.optionsGiven) line.options = p.options;
    if (line.recordFile.empty() && p.record) {
      // Beside the profile, wherever the station is started from.
      const std::filesystem::path record(p.record->text);
      line.recordFile = record.is_absolute()
                            ? record.string()
                            : (std::filesystem::path(line.profileFile).parent_path() / record).string();
    }
    if (line.recordDb.empty() && p.recordDb) line.recordDb = p.recordDb->text;
    if (line.workOrder.empty()) line.workOrder = p.workOrder;
    site->profileName = p.name;
    site->profileSha256 = p.sha256;
    site->approved = p.approved;
  }
  if (line.operatorName.empty()) {
    const std::optional<std::string> fromEnv = env ? env("VORLOADER_OPERATOR") : std::nullopt;
    if (fromEnv && !fromEnv->empty())
      line.operatorName = *fromEnv;
    else if (profile)
      line.operatorName = profile->operatorName;
  }
  if (profile && profile->operatorRequired && line.operatorName.empty()) {
    applied.error = UsageFault("the profile \"" + PrintableText(profile->name) +
                               "\" requires an operator: give --operator NAME or set VORLOADER_OPERATOR");
    return applied;
  }
  if (!line.profileFile.empty()) {
    applied.error = CombinationFault(line);
    if (!applied.ok()) return applied;
  }
  site->operatorName = line.operatorName;
  site->workOrder = line.workOrder;
  applied.site = std::move(site);
  return applied;
}

}  // namespace cli
