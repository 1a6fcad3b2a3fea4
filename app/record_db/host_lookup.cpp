#include "app/record_db/host_lookup.h"

#include <libpq-fe.h>

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace app {

namespace {

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t comma = list.find(','); comma != std::string::npos; comma = list.find(',', start)) {
    parts.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  parts.push_back(list.substr(start));
  return parts;
}

// An empty entry, a folder or an abstract name: a Unix socket, nothing to look up.
bool IsSocket(const std::string& host) {
  return host.empty() || host.front() == '/' || host.front() == '@';
}

bool IsAddress(const std::string& host) {
  return platform::IsNumericAddress(host);
}

// What the looking-up thread hands back; the caller may have given up on it and gone.
struct Lookup {
  std::mutex mutex;
  std::condition_variable_any done;
  bool finished = false;               // guarded by mutex
  std::vector<HostAddresses> results;  // guarded by mutex
};

void Add(std::string& list, bool& first, const std::string& entry) {
  if (!first) list += ',';
  list += entry;
  first = false;
}

}  // namespace

HostAddresses ResolveHost(const std::string& host) {
  return platform::ResolveHost(host);
}

HostTargets LookUpHosts(const std::string& conninfo, const HostResolver& resolver,
                        std::chrono::steady_clock::time_point deadline, const std::stop_token& stop) {
  HostTargets targets;
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    if (error != nullptr) PQfreemem(error);
    return targets;  // libpq tells why when it reads the string itself
  }
  std::optional<std::string> host;
  std::optional<std::string> hostaddr;
  std::optional<std::string> port;
  bool service = false;
  for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    if (o->val == nullptr) continue;
    const std::string_view key = o->keyword;
    if (key == "host") host = o->val;
    if (key == "hostaddr") hostaddr = o->val;
    if (key == "port") port = o->val;
    if (key == "service") service = true;
  }
  PQconninfoFree(options);
  if (!hostaddr) {
    if (const char* env = std::getenv("PGHOSTADDR"); env != nullptr && *env != '\0') hostaddr = env;
  }
  if (hostaddr && !hostaddr->empty()) return targets;
  if (!host || host->empty()) {
    const char* env = std::getenv("PGHOST");
    // A service file may name the host; libpq reads it, and looks that name up itself.
    if (service || env == nullptr || *env == '\0') return targets;
    host = env;
  }
  const std::vector<std::string> names = Split(*host);
  const std::vector<std::string> ports = port ? Split(*port) : std::vector<std::string>{};
  if (ports.size() > 1 && ports.size() != names.size()) return targets;  // libpq refuses it itself
  std::vector<std::string> wanted;
  for (const std::string& name : names)
    if (!IsSocket(name) && !IsAddress(name)) wanted.push_back(name);
  if (wanted.empty()) return targets;

  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, wanted, resolver] {
    std::vector<HostAddresses> results;
    results.reserve(wanted.size());
    for (const std::string& name : wanted) results.push_back(resolver(name));
    const std::lock_guard lock(lookup->mutex);
    lookup->results = std::move(results);
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();
  std::vector<HostAddresses> results;
  {
    std::unique_lock lock(lookup->mutex);
    lookup->done.wait_until(lock, stop, deadline, [&] { return lookup->finished; });
    if (!lookup->finished) {
      targets.stopped = stop.stop_requested();
      targets.error = targets.stopped ? "stopped" : "no address for " + *host + " within the time allowed";
      return targets;
    }
    results = std::move(lookup->results);
  }

  bool firstHost = true;
  bool firstAddress = true;
  bool firstPort = true;
  std::size_t next = 0;
  std::string failures;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    const std::string portEntry = ports.size() > 1 ? ports[i] : std::string();
    std::vector<std::string> addresses{IsAddress(name) ? name : std::string()};
    if (!IsSocket(name) && !IsAddress(name)) {
      const HostAddresses& found = results.at(next++);
      addresses = found.addresses;
      if (addresses.empty()) failures += (failures.empty() ? "" : "; ") + name + ": " + found.error;
    }
    for (const std::string& address : addresses) {
      Add(targets.host, firstHost, name);
      Add(targets.hostaddr, firstAddress, address);
      if (ports.size() > 1) Add(targets.port, firstPort, portEntry);
    }
  }
  if (firstHost) {
    targets = {};
    targets.error = "cannot look up " + failures;
  }
  return targets;
}

}  // namespace app
