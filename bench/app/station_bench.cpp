// Production station: app::Station against simulated devices plugged in and pulled out.
//
//   idle        16 armed ports (a silent simulator on each: the port is there, nothing
//               answers): the station's CPU time (this process; the simulators are others) over
//               --idle-s seconds, as a percentage of one core; goal < 1 %
//   throughput  8 ports, --cycles plug-program-unplug cycles each against the paced simulator
//               (115200 baud): the station's wall time over the ideal (every cycle's stream at
//               line rate plus erase and restart, cycles on one port one after another); goal
//               <= 1.10
//   memory      resident set growth over --memory-cycles cycles (small images, 8 ports at once);
//               goal < 2 MiB
//   detection   one port: from a device appearing (its simulator started) to its first identify,
//               median goal < 1.5 s; from its leaving (simulator stopped) to the port waiting
//               again, goal < 3 s
//
//   build/bench/app/station_bench [--idle-s S] [--cycles N] [--flash-kib K] [--memory-cycles N]
//                                 [--detect-cycles N]

#include <time.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/firmware_set.h"
#include "app/station/station.h"
#include "bench/app/line_bench_fixtures.h"
#include "platform/serial_port.h"
#include "tests/support/sim/sim_process.h"

namespace {

using bench::Catalogue;
using bench::CpuSeconds;

constexpr int kBaud = 115200;
constexpr int kOffline = 1;
constexpr int kEraseMs = 10;
constexpr int kRestartMs = 50;

struct Settings {
  int idleSeconds = 30;
  int cycles = 10;
  int flashKib = 48;
  int memoryCycles = 200;
  int detectCycles = 10;
};

// Says nothing and answers Yes: a station's port as the benchmark needs it, keeping nothing.
class QuietView final : public LoaderView {
 public:
  void appendLog(const std::string&) override {}
  bool askYesNo(const std::string&) override { return true; }
};

double Mono() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

long ResidentKib() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return 0;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string IdOf(int port, int cycle) {
  char id[9];
  std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(port * 4096 + cycle));
  return id;
}

std::uint32_t IdValue(int port, int cycle) {
  return static_cast<std::uint32_t>(port * 4096 + cycle);
}

double Field(const std::string& line, const char* key) {
  return std::strtod(testing_support::JsonField(line, key).c_str(), nullptr);
}

// The devices whose run has ended, so a driver can wait for the run of the device it plugged.
class RunCounter {
 public:
  void Add(std::uint32_t id) {
    {
      std::lock_guard lock(m_mutex);
      m_ended.insert(id);
    }
    m_changed.notify_all();
  }
  bool WaitFor(std::uint32_t id, std::chrono::seconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_ended.contains(id); });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::set<std::uint32_t> m_ended;
};

testing_support::SimConfig DeviceOn(int port, int cycle, bool paced) {
  testing_support::SimConfig cfg;
  cfg.port = port;
  cfg.rates = {kBaud};
  cfg.id = IdOf(port, cycle);
  cfg.extraArgs = {"--banner-length",        "75",           "--erase-ms",
                   std::to_string(kEraseMs), "--restart-ms", std::to_string(kRestartMs)};
  if (paced) cfg.extraArgs.push_back("--pace");
  return cfg;
}

struct CycleFigures {
  double idealSeconds = 0;  // stream at line rate plus erase and restart, summed
  double wallSeconds = 0;
  bool ok = true;
};

// `ports` ports, `cycles` devices each, one after another on a port: plug, wait for its run,
// pull out. The station's wall time and the ideal.
CycleFigures RunCycles(RunCounter& counter, const std::string& comDir, int ports, int cycles,
                       int runsBefore) {
  CycleFigures figures;
  std::mutex mutex;
  std::vector<std::thread> drivers;
  const auto start = std::chrono::steady_clock::now();
  for (int port = 1; port <= ports; ++port) {
    drivers.emplace_back([&, port] {
      double ideal = 0;
      bool ok = true;
      for (int c = 0; c < cycles && ok; ++c) {
        testing_support::SimProcess sim(comDir, DeviceOn(port, runsBefore + c, true));
        ok = sim.Ready() && counter.WaitFor(IdValue(port, runsBefore + c), std::chrono::seconds(120));
        // A run that failed took no image: it is reported with the station's outcomes.
        if (ok && sim.WaitFor("image", 1000)) {
          const std::string image = sim.Lines("image").back();
          ideal += Field(image, "length") * 10.0 / kBaud + (kEraseMs + kRestartMs) / 1000.0;
        }
      }
      std::lock_guard lock(mutex);
      figures.idealSeconds = std::max(figures.idealSeconds, ideal);
      figures.ok = figures.ok && ok;
    });
  }
  for (std::thread& t : drivers) t.join();
  figures.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return figures;
}

bool ParseArgs(int argc, char** argv, Settings& s) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (value < 1 || value > 100000) return false;
    if (arg == "--idle-s")
      s.idleSeconds = value;
    else if (arg == "--cycles")
      s.cycles = value;
    else if (arg == "--flash-kib")
      s.flashKib = value;
    else if (arg == "--memory-cycles")
      s.memoryCycles = value;
    else if (arg == "--detect-cycles")
      s.detectCycles = value;
    else
      return false;
  }
  return argc % 2 == 1;
}

bool Pack(const std::string& folder, int kib) {
  return testing_support::PackFirmware(folder + "/amp.hex", "0a1b", "1.80", true,
                                       static_cast<std::size_t>(kib) * 1024);
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!ParseArgs(argc, argv, settings)) {
    std::fprintf(stderr,
                 "usage: station_bench [--idle-s S] [--cycles N] [--flash-kib K] [--memory-cycles N] "
                 "[--detect-cycles N]\n");
    return 2;
  }
  platform::SerialRuntime application(argc, argv);
  ::setenv("VORLOADER_HISTORY", "", 1);  // no run records

  testing_support::TempDir com("vornet-station-com");
  testing_support::TempDir folder("vornet-station-fw");
  ::setenv("VORLOADER_COM_DIR", com.path.c_str(), 1);
  {
    std::ofstream catalogue(folder.path + "/vornet_verinfo.xml", std::ios::binary);
    catalogue << Catalogue();
  }
  const app::Options options(kOffline);
  QuietView preparation;
  std::unique_ptr<platform::PortOpener> opener = platform::MakeSystemPortOpener();

  // Idle: 16 ports there, nothing answering.
  {
    std::vector<std::unique_ptr<testing_support::SimProcess>> silent;
    for (int port = 1; port <= 16; ++port) {
      testing_support::SimConfig cfg = DeviceOn(port, 0, false);
      cfg.extraArgs.push_back("--silent");
      silent.push_back(std::make_unique<testing_support::SimProcess>(com.path, cfg));
    }
    if (!Pack(folder.path, 4)) return 1;
    app::FirmwareSet firmware(options, folder.path + "/");
    firmware.RunCatalogueSteps(preparation, {});
    std::vector<QuietView> views(16);
    app::Station station(firmware, *opener);
    for (int port = 1; port <= 16; ++port)
      station.AddPort(opener->Describe(port), views[static_cast<std::size_t>(port - 1)]);
    station.Start();
    std::this_thread::sleep_for(std::chrono::seconds(2));  // every port armed
    const double cpuBefore = CpuSeconds();
    const double wallBefore = Mono();
    std::this_thread::sleep_for(std::chrono::seconds(settings.idleSeconds));
    const double cpu = CpuSeconds() - cpuBefore;
    const double wall = Mono() - wallBefore;
    station.RequestStop(app::StopLevel::All);
    station.Wait();
    std::printf("idle: 16 armed ports, %.1f s: cpu %.3f s = %.3f %% of one core (goal < 1 %%)\n", wall, cpu,
                cpu / wall * 100.0);
    std::fflush(stdout);
  }

  // Throughput, memory and detection, each with a station of its own.
  auto runStation = [&](int kib, int ports, auto&& body) {
    if (!Pack(folder.path, kib)) return false;
    app::FirmwareSet firmware(options, folder.path + "/");
    firmware.RunCatalogueSteps(preparation, {});
    RunCounter counter;
    std::vector<QuietView> views(static_cast<std::size_t>(ports));
    app::Station station(firmware, *opener);
    station.SetOnOutcome([&counter](const app::StationOutcome& o) { counter.Add(o.device.id); });
    for (int port = 1; port <= ports; ++port)
      station.AddPort(opener->Describe(port), views[static_cast<std::size_t>(port - 1)]);
    const bool ok = body(station, counter);
    station.RequestStop(app::StopLevel::All);
    station.Wait();
    // A stop at the end is no failure; any other result than 0 is reported.
    for (const app::StationOutcome& o : station.Outcomes())
      if (!o.run.stopped && o.run.code != 0)
        std::printf("  failed run: COM%d: device %u ended with %d\n", o.run.port.number, o.device.id,
                    o.run.code);
    std::printf("  %s\n", station.Summary().c_str());
    return ok;
  };

  bool ok = runStation(settings.flashKib, 8, [&](app::Station& station, RunCounter& counter) {
    station.Start();
    const CycleFigures f = RunCycles(counter, com.path, 8, settings.cycles, 0);
    std::printf(
        "throughput: 8 ports x %d cycles, %d KiB: wall %.1f s, ideal %.1f s: ratio %.3f (goal <= 1.10)\n",
        settings.cycles, settings.flashKib, f.wallSeconds, f.idealSeconds, f.wallSeconds / f.idealSeconds);
    std::fflush(stdout);
    return f.ok;
  });

  ok = ok && runStation(1, 8, [&](app::Station& station, RunCounter& counter) {
         station.Start();
         const int perPort = std::max(1, settings.memoryCycles / 8);
         // A first round settles the allocator and the libraries' first-use state.
         if (!RunCycles(counter, com.path, 8, 1, 0).ok) return false;
         const long before = ResidentKib();
         if (!RunCycles(counter, com.path, 8, perPort, 1).ok) return false;
         const long after = ResidentKib();
         std::printf(
             "memory: %d cycles (8 ports x %d): resident %ld KiB -> %ld KiB, growth %ld KiB (goal < 2048)\n",
             perPort * 8, perPort, before, after, after - before);
         std::fflush(stdout);
         return true;
       });

  ok = ok && runStation(1, 1, [&](app::Station& station, RunCounter& counter) {
         std::mutex mutex;
         std::condition_variable changed;
         app::PortState state = app::PortState::Waiting;
         double waitingAt = 0;
         station.SetObserver([&](const app::StationPortStatus& s) {
           std::lock_guard lock(mutex);
           if (s.state == app::PortState::Waiting && state != app::PortState::Waiting) waitingAt = Mono();
           state = s.state;
           changed.notify_all();
         });
         station.Start();
         std::vector<double> appear, leave;
         for (int c = 0; c < settings.detectCycles; ++c) {
           // Devices appear at any moment of the poll's period.
           std::this_thread::sleep_for(std::chrono::milliseconds(137 * c % 1000));
           double unplugged = 0;
           {
             testing_support::SimProcess sim(com.path, DeviceOn(1, c, false));
             if (!sim.Ready() || !counter.WaitFor(IdValue(1, c), std::chrono::seconds(60))) return false;
             const std::string start = sim.Lines("start").front();
             for (const std::string& l : sim.Lines("identify"))
               if (testing_support::JsonField(l, "verdict") == "answered") {
                 appear.push_back(Field(l, "mono") - Field(start, "mono"));
                 break;
               }
             unplugged = Mono();
           }
           std::unique_lock lock(mutex);
           if (!changed.wait_for(lock, std::chrono::seconds(10), [&] {
                 return waitingAt >= unplugged;  // it may have gone on to "port gone" at once
               }))
             return false;
           leave.push_back(waitingAt - unplugged);
         }
         std::printf(
             "detection: %d devices: appearing to first identify median %.3f s, worst %.3f s (goal median < "
             "1.5 s); leaving to waiting median %.3f s, worst %.3f s (goal < 3 s)\n",
             settings.detectCycles, Median(appear), *std::max_element(appear.begin(), appear.end()),
             Median(leave), *std::max_element(leave.begin(), leave.end()));
         return true;
       });
  if (!ok) {
    std::fprintf(stderr, "station_bench: a run failed\n");
    return 1;
  }
  return 0;
}
