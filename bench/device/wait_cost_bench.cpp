// What a wait for a device costs the loader: the CPU time of the waiting thread over the
// wall time of the wait, for a device that stays silent and for one that vanishes while the
// loader waits (its adapter pulled: the other end of the pty closes). A wait should block,
// so both ratios belong near 0; a vanished device should also end the wait at once.
//
// Reported per case:
//   cpu_ratio   CPU time of the waiting thread / wall time of the wait (goal < 0.10; for a
//               wait that ends within a millisecond the step's own work dominates it);
//   cpu_ms      CPU time of the waiting thread;
//   wall_ms     how long the wait lasted;
//   timeout_ms  the wait's time-out (the vanished device should end it long before);
//   result      what the read or the step returned.

#include <benchmark/benchmark.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/link.h"
#include "device/steps.h"
#include "platform/serial_port.h"
#include "tests/support/recording_view.h"
#include "tests/support/sim/sim_process.h"

namespace {

constexpr int kPort = 1;
constexpr int kVanishAfterMs = 200;

double ThreadCpuS() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double WallS() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Times one wait, reporting it as the iteration's time and its ratios as counters.
template <typename Wait>
void MeasureWait(benchmark::State& state, int timeoutMs, Wait&& wait) {
  const double wall0 = WallS();
  const double cpu0 = ThreadCpuS();
  const long result = wait();
  const double wall = WallS() - wall0;
  const double cpu = ThreadCpuS() - cpu0;
  state.SetIterationTime(wall);
  state.counters["cpu_ratio"] = wall > 0 ? cpu / wall : 0;
  state.counters["cpu_ms"] = cpu * 1000;
  state.counters["wall_ms"] = wall * 1000;
  state.counters["timeout_ms"] = timeoutMs;
  state.counters["result"] = static_cast<double>(result);
}

// A pty whose slave is the loader's COM1 in a fresh folder; the master plays the device.
struct PtyDevice {
  testing_support::TempDir dir{"vornet-wait-bench"};
  int master = -1;
  int slave = -1;

  bool Create() {
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    std::error_code ec;
    std::filesystem::create_symlink(name, dir.path + "/COM" + std::to_string(kPort), ec);
    ::setenv("VORLOADER_COM_DIR", dir.path.c_str(), 1);
    return !ec;
  }
  void Vanish() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  ~PtyDevice() {
    Vanish();
    if (slave >= 0) ::close(slave);
  }
};

std::unique_ptr<platform::SerialPort> OpenPort(platform::PortOpener& opener) {
  platform::OpenError error = platform::OpenError::None;
  auto port = opener.Open(kPort, error);
  if (port && !port->Configure(57600)) port.reset();
  return port;
}

// The serial transport alone: a read of 16 bytes with a 5 s time-out.
void BM_ReadWait(benchmark::State& state) {
  const bool vanishes = state.range(0) != 0;
  constexpr int kTimeoutMs = 5000;
  const int silentMs = 1000;
  for (auto _ : state) {
    PtyDevice dev;
    auto opener = platform::MakeSystemPortOpener();
    std::unique_ptr<platform::SerialPort> port;
    if (!dev.Create() || !(port = OpenPort(*opener))) {
      state.SkipWithError("no pty");
      return;
    }
    port->SetReadTimeout(vanishes ? kTimeoutMs : silentMs);
    std::thread peer;
    if (vanishes) {
      peer = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kVanishAfterMs));
        dev.Vanish();
      });
    }
    std::vector<std::uint8_t> buf(16);
    MeasureWait(state, vanishes ? kTimeoutMs : silentMs,
                [&] { return port->Read(buf.data(), buf.size(), {}); });
    if (peer.joinable()) peer.join();
  }
  state.SetLabel(vanishes ? "device vanishes after 200 ms" : "silent device");
}

// The erase step against the simulator: the device vanishes on the erase command, or takes
// its erase time before it answers.
void BM_EraseWait(benchmark::State& state) {
  const bool vanishes = state.range(0) != 0;
  testing_support::TempDir dir("vornet-erase-bench");
  ::setenv("VORLOADER_COM_DIR", dir.path.c_str(), 1);
  for (auto _ : state) {
    testing_support::SimConfig cfg;
    cfg.port = kPort;
    cfg.extraArgs = {"--banner-length", "75", "--erase-ms", "1000"};
    if (vanishes) cfg.extraArgs.push_back("--hang-up-on-erase");
    testing_support::SimProcess sim(dir.path, cfg);
    if (!sim.Ready()) {
      state.SkipWithError(sim.Error().c_str());
      return;
    }
    auto opener = platform::MakeSystemPortOpener();
    device::Link link(*opener);
    device::Identity id;
    testing_support::RecordingView view;
    if (device::FindDeviceBaud(link, id, kPort, view) != RESULT_OK ||
        device::RequestBoot(link, id, "0a1b") != RESULT_OK) {
      state.SkipWithError("the device did not reach its bootloader");
      return;
    }
    MeasureWait(state, 5000, [&] { return device::EraseFlash(link, view) == RESULT_OK ? 1L : 0L; });
    link.Close();
  }
  state.SetLabel(vanishes ? "device vanishes on the erase command" : "erase of 1 s");
}

// The raw boot banner wait against the simulator, with its 10 s time-out: the device is
// switched on and vanishes 200 ms into the wait, or is switched on and never greets.
void BM_BannerWait(benchmark::State& state) {
  const bool vanishes = state.range(0) != 0;
  constexpr int kTimeoutMs = 10000;
  const int silentTimeoutMs = 1000;  // the same wait, shortened: only the ratio matters
  testing_support::TempDir dir("vornet-banner-bench");
  ::setenv("VORLOADER_COM_DIR", dir.path.c_str(), 1);
  for (auto _ : state) {
    testing_support::SimConfig cfg;
    cfg.port = kPort;
    cfg.extraArgs = {"--raw-boot", "--boot-delay", "60000"};
    if (vanishes)
      cfg.extraArgs.insert(cfg.extraArgs.end(), {"--hang-up-after-open", std::to_string(kVanishAfterMs)});
    testing_support::SimProcess sim(dir.path, cfg);
    if (!sim.Ready()) {
      state.SkipWithError(sim.Error().c_str());
      return;
    }
    auto opener = platform::MakeSystemPortOpener();
    device::Link link(*opener);
    if (device::OpenComPort(link, kPort, 57600) != RESULT_OK) {
      state.SkipWithError("cannot open the port");
      return;
    }
    const int timeoutMs = vanishes ? kTimeoutMs : silentTimeoutMs;
    MeasureWait(state, timeoutMs, [&] {
      testing_support::RecordingView quiet;
      std::string tag;
      return device::WaitForRawBanner(link, timeoutMs, quiet, tag) == RESULT_OK ? 1L : 0L;
    });
    link.Close();
  }
  state.SetLabel(vanishes ? "device vanishes 200 ms into the banner wait" : "device never greets");
}

// Each wait is one iteration, timed by hand; three of each for a stable ratio.
void WaitCases(benchmark::internal::Benchmark* b) {
  b->ArgName("vanishes")->Arg(1)->Arg(0)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_ReadWait)->Apply(WaitCases);
BENCHMARK(BM_EraseWait)->Apply(WaitCases);
BENCHMARK(BM_BannerWait)->Apply(WaitCases);

}  // namespace

// The loader runs with an application object; so does the benchmark.
int main(int argc, char** argv) {
  platform::SerialRuntime app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
