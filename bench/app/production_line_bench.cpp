// Production line: N devices programmed at once by app::ProductionLine (one session per port on
// its own thread, all reading one FirmwareSet), each device a simulator that consumes the
// stream at the real line rate (vornet-sim --pace, 115200 baud) and is given the same
// encrypted image.
//
// Reported per N (medians over the rounds; the rounds run N = 1, 2, 4, 8 in turn, so every
// ratio compares runs made moments apart under the same machine load):
//   wall_ratio    wall time of the N-device run (threads started to all joined) over the
//                 wall time of the single-device run; goal <= 1.05 at N = 8
//   stream_ratio  the worst device's line time of the stream (its first to its last byte, as
//                 the device took them) over the ideal bytes x 10 / baud; goal <= 1.02
//   cpu_per_dev   the loader's own CPU time (this process; the simulators are others) as a
//                 percentage of one core, per device; goal < 5 %
//
//   build/bench/app/production_line_bench [--rounds R] [--flash-kib K] [--devices 1,2,4,8]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/device_session.h"
#include "app/firmware_set.h"
#include "app/port_listing.h"
#include "app/production_line.h"
#include "bench/app/line_bench_fixtures.h"
#include "platform/serial_port.h"
#include "tests/support/recording_view.h"
#include "tests/support/sim/sim_process.h"

namespace {

using bench::Catalogue;
using bench::CpuSeconds;

constexpr int kBaud = 115200;
constexpr int kOffline = 1;

struct Settings {
  int rounds = 3;
  int flashKib = 24;  // about 69 KB of stream: some 6 s at 115200, several times the rest of a run
  std::vector<int> devices{1, 2, 4, 8};
};

// One N-device run.
struct RunFigures {
  double wallSeconds = 0;
  double worstStreamRatio = 0;
  double cpuPercentPerDevice = 0;
  double streamBytes = 0;
};

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string DeviceId(int index) {
  char id[9];
  std::snprintf(id, sizeof id, "%08x", 0x2cc0U + static_cast<unsigned>(index));
  return id;
}

// Programs `count` fresh devices at once; an error text when the run failed.
std::optional<std::string> RunLine(const app::FirmwareSet& firmware, const std::string& comDir, int count,
                                   RunFigures& out) {
  std::vector<std::unique_ptr<testing_support::SimProcess>> sims;
  for (int i = 0; i < count; ++i) {
    testing_support::SimConfig cfg;
    cfg.port = i + 1;
    cfg.rates = {kBaud};
    cfg.id = DeviceId(i);
    cfg.extraArgs = {"--pace", "--banner-length", "75", "--erase-ms", "10", "--restart-ms", "50"};
    sims.push_back(std::make_unique<testing_support::SimProcess>(comDir, cfg));
    if (!sims.back()->Ready()) return "simulator " + std::to_string(i + 1) + ": " + sims.back()->Error();
  }
  std::unique_ptr<platform::PortOpener> opener = platform::MakeSystemPortOpener();
  testing_support::RecordingView listing;
  const device::PortList listed = app::ListPorts(*opener, listing);

  // The line as the terminal runs it: one session per port, each keeping to its own port.
  std::vector<std::unique_ptr<testing_support::RecordingView>> views;
  app::ProductionLine productionLine(firmware, *opener);
  for (int i = 0; i < count; ++i) {
    const int index = app::IndexOfPort(listed, i + 1);
    if (index < 0) return ComName(i + 1) + " was not listed";
    views.push_back(std::make_unique<testing_support::RecordingView>());
    views.back()->answers = {true};
    productionLine.AddPort(listed.entries[static_cast<std::size_t>(index)], *views.back());
  }

  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  productionLine.Run();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuBefore;

  const std::vector<app::LineOutcome> outcomes = productionLine.Outcomes();
  double worst = 0;
  for (int i = 0; i < count; ++i) {
    const app::LineOutcome& o = outcomes[static_cast<std::size_t>(i)];
    const testing_support::RecordingView& view = *views[static_cast<std::size_t>(i)];
    if (o.stopped || o.code != RESULT_OK)
      return ComName(i + 1) + " ended with " + (view.log.empty() ? "no log" : view.log.back());
    const testing_support::SimProcess& sim = *sims[static_cast<std::size_t>(i)];
    if (!sim.WaitFor("image", 5000)) return ComName(i + 1) + " reported no image";
    const std::string line = sim.Lines("image").back();
    if (testing_support::JsonField(line, "verdict") != "good")
      return ComName(i + 1) + " took a bad image: " + line;
    const double bytes = std::strtod(testing_support::JsonField(line, "length").c_str(), nullptr);
    const double first = std::strtod(testing_support::JsonField(line, "first_byte_mono").c_str(), nullptr);
    const double last = std::strtod(testing_support::JsonField(line, "last_byte_mono").c_str(), nullptr);
    worst = std::max(worst, (last - first) / (bytes * 10.0 / kBaud));
    out.streamBytes = bytes;
  }
  out.wallSeconds = wall;
  out.worstStreamRatio = worst;
  out.cpuPercentPerDevice = cpu / wall / count * 100.0;
  return std::nullopt;
}

bool ParseArgs(int argc, char** argv, Settings& s) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (value == nullptr) return false;
    ++i;
    if (arg == "--rounds") {
      s.rounds = std::atoi(value);
      if (s.rounds < 1 || s.rounds > 50) return false;
    } else if (arg == "--flash-kib") {
      s.flashKib = std::atoi(value);
      if (s.flashKib < 1 || s.flashKib > 1024) return false;
    } else if (arg == "--devices") {
      s.devices.clear();
      for (const char* p = value; *p != '\0';) {
        char* end = nullptr;
        const long n = std::strtol(p, &end, 10);
        if (end == p || n < 1 || n > 32) return false;
        if (*end != ',' && *end != '\0') return false;
        s.devices.push_back(static_cast<int>(n));
        p = *end == ',' ? end + 1 : end;
      }
      if (s.devices.empty() || s.devices.front() != 1) return false;  // the ratios need N = 1
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!ParseArgs(argc, argv, settings)) {
    std::fprintf(stderr, "usage: production_line_bench [--rounds R] [--flash-kib K] [--devices 1,N,...]\n");
    return 2;
  }
  // The serial layer wants an application object, as the front ends have.
  platform::SerialRuntime application(argc, argv);
  ::setenv("VORLOADER_HISTORY", "", 1);  // no run records

  testing_support::TempDir com("vornet-line-com");
  testing_support::TempDir folder("vornet-line-fw");
  ::setenv("VORLOADER_COM_DIR", com.path.c_str(), 1);
  if (!testing_support::PackFirmware(folder.path + "/amp.hex", "0a1b", "1.80", true,
                                     static_cast<std::size_t>(settings.flashKib) * 1024)) {
    std::fprintf(stderr, "production_line_bench: vornet-pack failed\n");
    return 1;
  }
  {
    std::ofstream catalogue(folder.path + "/vornet_verinfo.xml", std::ios::binary);
    catalogue << Catalogue();
  }
  const app::Options options(kOffline);
  app::FirmwareSet firmware(options, folder.path + "/");
  testing_support::RecordingView preparation;
  if (firmware.RunCatalogueSteps(preparation, {}).usable != 1) {
    std::fprintf(stderr, "production_line_bench: the firmware file was not accepted\n");
    return 1;
  }

  std::printf("load average at start: %s (cores: %u)\n", LoadAverage().c_str(),
              std::thread::hardware_concurrency());
  std::map<int, std::vector<RunFigures>> runs;
  double streamBytes = 0;
  for (int round = 0; round < settings.rounds; ++round) {
    for (int n : settings.devices) {
      RunFigures figures;
      if (const auto error = RunLine(firmware, com.path, n, figures)) {
        std::fprintf(stderr, "production_line_bench: N=%d: %s\n", n, error->c_str());
        return 1;
      }
      std::printf("round %d  N=%d  wall %.3f s  worst stream %.4f  cpu %.2f %%/device\n", round + 1, n,
                  figures.wallSeconds, figures.worstStreamRatio, figures.cpuPercentPerDevice);
      std::fflush(stdout);
      streamBytes = figures.streamBytes;
      runs[n].push_back(figures);
    }
  }

  auto median = [&](int n, double RunFigures::*field) {
    std::vector<double> values;
    for (const RunFigures& r : runs[n]) values.push_back(r.*field);
    return Median(values);
  };
  const double singleWall = median(1, &RunFigures::wallSeconds);
  std::printf("\nstream %.0f bytes at %d baud, ideal %.3f s; medians of %d rounds\n", streamBytes, kBaud,
              streamBytes * 10.0 / kBaud, settings.rounds);
  std::printf("%4s %10s %11s %13s %12s\n", "N", "wall_s", "wall_ratio", "stream_ratio", "cpu_per_dev");
  for (int n : settings.devices) {
    const double wall = median(n, &RunFigures::wallSeconds);
    std::printf("%4d %10.3f %11.4f %13.4f %11.2f%%\n", n, wall, wall / singleWall,
                median(n, &RunFigures::worstStreamRatio), median(n, &RunFigures::cpuPercentPerDevice));
  }
  std::printf("goals: wall_ratio <= 1.05 and stream_ratio <= 1.02 at N = 8, cpu_per_dev < 5%%\n");
  std::printf("load average at end: %s\n", LoadAverage().c_str());
  return 0;
}
