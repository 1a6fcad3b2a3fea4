// Image stream efficiency: the loader's SendImage of a 256 KiB image into a simulated device
// that consumes bytes at the real line rate (vornet-sim --pace).
//
// Reported per rate (ideal = bytes x 10 / baud, one start and one stop bit per byte):
//   device_ratio  time from the start of SendImage until the device has taken the last byte,
//                 over the ideal: how well the loader keeps the line busy (goal <= 1.03);
//   loader_ratio  time until SendImage returned, over the ideal (below 1: the last ~20 KB
//                 were still in the serial buffer when it returned).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "device/link.h"
#include "device/steps.h"
#include "image/firmware_decoder.h"
#include "tests/support/recording_view.h"
#include "tests/support/sim/sim_process.h"

namespace {

constexpr std::size_t kImageBytes = 256 * 1024;
constexpr std::size_t kHexLineBytes = 45;  // one 16-byte data record with its CR LF
constexpr int kPort = 1;

double MonoNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void BM_SendImagePaced(benchmark::State& state) {
  const int baud = static_cast<int>(state.range(0));
  testing_support::TempDir dir("vornet-stream-bench");
  const std::string file = dir.path + "/amp.hex";
  // As many 16-byte records as make the text 256 KiB.
  if (!testing_support::PackFirmware(file, "0a1b", "1.80", false, kImageBytes / kHexLineBytes * 16)) {
    state.SkipWithError("vornet-pack failed");
    return;
  }
  ::setenv("VORLOADER_COM_DIR", dir.path.c_str(), 1);

  for (auto _ : state) {
    testing_support::SimConfig cfg;
    cfg.port = kPort;
    cfg.rates = {baud};
    cfg.extraArgs = {"--pace", "--banner-length", "75", "--erase-ms", "10"};
    testing_support::SimProcess sim(dir.path, cfg);
    if (!sim.Ready()) {
      state.SkipWithError(sim.Error().c_str());
      return;
    }
    auto opener = platform::MakeSystemPortOpener();
    device::Link link(*opener);
    device::Identity id;
    testing_support::RecordingView view;
    image::MemImage img;
    if (image::DecodeFirmwareFile(file, img) != image::DECODE_PLAIN ||
        device::FindDeviceBaud(link, id, kPort, view) != RESULT_OK ||
        device::RequestBoot(link, id, "0a1b") != RESULT_OK || device::EraseFlash(link, view) != RESULT_OK) {
      state.SkipWithError("the device did not reach its bootloader");
      return;
    }
    const double start = MonoNow();
    const LoadResult sent = device::SendImage(link, img, view);
    const double returned = MonoNow();
    if (sent != RESULT_OK || !sim.WaitFor("image", 120000)) {
      state.SkipWithError("the image did not arrive");
      return;
    }
    const std::string line = sim.Lines("image").at(0);
    const double lastByte = std::strtod(testing_support::JsonField(line, "last_byte_mono").c_str(), nullptr);
    const auto bytes = static_cast<double>(img.GetLength());
    const double ideal = bytes * 10.0 / baud;
    state.SetIterationTime(lastByte - start);
    state.counters["bytes"] = bytes;
    state.counters["ideal_s"] = ideal;
    state.counters["device_ratio"] = (lastByte - start) / ideal;
    state.counters["loader_ratio"] = (returned - start) / ideal;
    state.counters["bad_records"] =
        std::strtod(testing_support::JsonField(line, "bad_records").c_str(), nullptr);
    link.Close();
  }
}

BENCHMARK(BM_SendImagePaced)
    ->Arg(115200)
    ->Arg(57600)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
