// How live the window stays while the loader works: the whole start-up sequence with its
// automatic Connect and a full programming run, in the real window (offscreen) against the
// line-rate-paced simulator, while a 10 ms timer ticks on the window's thread.
//
// Reported:
//   max_gap_ms   the longest time between two ticks (goal: 50 ms or less);
//   p99_gap_ms   the 99th percentile of the gaps;
//   ticks        how many ticks the run saw;
//   run_s        from the window's first show until the workflow ended.
// The run is checked: the log must end with the programming success line.

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/sim/sim_process.h"
#include "tests/window/loader_run_setup.h"
#include "window/main_dialog.h"

namespace {

constexpr int kPort = 1;
constexpr int kOffline = 1;  // --x1: the catalogue and firmware come from the folder alone
constexpr std::size_t kFlashBytes = 24 * 1024;

void BM_WindowDuringProgramming(benchmark::State& state) {
  const int baud = static_cast<int>(state.range(0));
  testing_support::TempDir dir("vornet-window-bench");
  const std::string folder = window_test::PrepareLoaderRun(dir.path, kFlashBytes);
  if (folder.empty()) {
    state.SkipWithError("cannot prepare the firmware folder");
    return;
  }

  for (auto _ : state) {
    testing_support::SimConfig cfg;
    cfg.port = kPort;
    cfg.rates = {baud};
    cfg.extraArgs = {"--pace", "--banner-length", "75", "--erase-ms", "300", "--restart-ms", "500"};
    testing_support::SimProcess sim(dir.path, cfg);
    if (!sim.Ready()) {
      state.SkipWithError(sim.Error().c_str());
      return;
    }

    CVORLoaderXDlg dlg;
    window_test::LoaderBehindWindow loader(dlg, kOffline, folder);

    // The person at the window: Yes to every question, OK to every notice.
    QTimer person;
    QObject::connect(&person, &QTimer::timeout, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        (yes != nullptr ? yes : box->button(QMessageBox::Ok))->click();
      }
    });
    person.start(10);

    std::vector<qint64> gaps;
    QElapsedTimer clock;
    qint64 lastTick = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      gaps.push_back(now - lastTick);
      lastTick = now;
    });

    clock.start();
    ticker.start(10);
    dlg.show();
    bool began = false;
    const bool ended = QTest::qWaitFor(
        [&] {
          began = began || dlg.workflowRunning();
          return began && !dlg.workflowRunning();
        },
        300000);
    ticker.stop();
    person.stop();
    const double runSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    dlg.close();

    if (!ended || gaps.empty() || !dlg.log().endsWith(QStringLiteral("   -Device Programed OK.\r\n"))) {
      std::fprintf(stderr, "%s", dlg.log().toLatin1().constData());
      state.SkipWithError("the programming run did not succeed");
      return;
    }
    std::sort(gaps.begin(), gaps.end());
    const auto ms = [](qint64 ns) { return static_cast<double>(ns) / 1e6; };
    state.SetIterationTime(runSeconds);
    state.counters["max_gap_ms"] = ms(gaps.back());
    state.counters["p99_gap_ms"] = ms(gaps[gaps.size() * 99 / 100]);
    state.counters["ticks"] = static_cast<double>(gaps.size());
    state.counters["run_s"] = runSeconds;
  }
}

BENCHMARK(BM_WindowDuringProgramming)
    ->Arg(57600)
    ->Arg(115200)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
