#include "sim/run_device.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <vector>

#include "common/port_entry.h"
#include "sim/device_model.h"
#include "sim/line_pacer.h"
#include "sim/pty_port.h"
#include "sim/transcript.h"

namespace sim {
namespace {

// Bytes taken per wake-up while pacing: fewer wake-ups, the same average speed.
constexpr std::size_t kPacedBatch = 16;

struct Scheduled {
  Clock::time_point sendAt;
  Bytes bytes;
  std::string what;
};

int SetUpSignals() {
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGTERM);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGHUP);
  sigprocmask(SIG_BLOCK, &mask, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
}

timespec Until(Clock::time_point wake, Clock::time_point now) {
  auto ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(wake - now, Clock::duration::zero()))
          .count();
  return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

int RunDevice(const SimOptions& o) {
  const int signals = SetUpSignals();
  if (signals < 0) {
    std::perror("vornet-sim: signalfd");
    return 1;
  }
  // Sleep precision matters for pacing at line rates of some 10 microseconds per bit.
  prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);

  const Clock::time_point start = Clock::now();
  Transcript transcript;
  if (!transcript.Open(o.transcript, start)) {
    std::fprintf(stderr, "vornet-sim: cannot write transcript %s\n", o.transcript.c_str());
    return 1;
  }
  PtyPort pty;
  std::string error;
  const std::string link = o.comDir + "/" + ComName(o.port);
  if (!pty.Create(error) || !pty.Link(link, error)) {
    std::fprintf(stderr, "vornet-sim: %s\n", error.c_str());
    return 1;
  }
  auto accepted = [&](int rate) { return std::find(o.rates.begin(), o.rates.end(), rate) != o.rates.end(); };

  DeviceModel model(o, transcript, [] { return std::chrono::system_clock::now(); });
  LinePacer pacer(o.pace);
  std::deque<Scheduled> tx;
  std::vector<std::uint8_t> buf(4096);
  int openers = 0;
  bool throttled = false;
  Clock::time_point readyAt{};

  transcript.SetRate(pty.Rate());
  transcript.Write(start, Event("start")
                              .Int("port", o.port)
                              .Str("pty", pty.SlavePath())
                              .Bool("raw_boot", o.rawBoot)
                              .Bool("pace", o.pace));
  std::printf("%s\n", pty.SlavePath().c_str());
  std::fflush(stdout);

  for (;;) {
    Clock::time_point now = Clock::now();
    int rate = pty.Rate();
    transcript.SetRate(rate);
    model.OnTick(now);
    if (model.HungUp()) {
      // The device is gone: what it still meant to send goes with it.
      pty.HangUp();
      break;
    }
    for (auto& out : model.Outbox()) {
      const Clock::time_point at = pacer.SendDone(std::max(out.due, now), out.bytes.size(), rate);
      tx.push_back(Scheduled{at, std::move(out.bytes), std::move(out.what)});
    }
    model.Outbox().clear();
    while (!tx.empty() && tx.front().sendAt <= now) {
      Scheduled& s = tx.front();
      // A device answers at its own rate: at any other rate the loader would see noise.
      if (!accepted(rate)) {
        transcript.Write(now, Event("lost").Str("what", s.what).Str("problem", "rate"));
      } else if (pty.Write(s.bytes.data(), s.bytes.size()) != s.bytes.size()) {
        transcript.Write(now, Event("lost").Str("what", s.what).Str("problem", "input full"));
      }
      tx.pop_front();
    }

    std::optional<Clock::time_point> wake = model.NextDeadline();
    auto earliest = [&](Clock::time_point t) { wake = wake ? std::min(*wake, t) : t; };
    if (!tx.empty()) earliest(tx.front().sendAt);
    if (throttled) earliest(readyAt);
    pollfd fds[3] = {
        {signals, POLLIN, 0}, {pty.WatchFd(), POLLIN, 0}, {pty.MasterFd(), short(throttled ? 0 : POLLIN), 0}};
    timespec ts{};
    if (wake) ts = Until(*wake, now);
    if (ppoll(fds, 3, wake ? &ts : nullptr, nullptr) < 0 && errno != EINTR) {
      std::perror("vornet-sim: ppoll");
      break;
    }
    now = Clock::now();
    transcript.SetRate(pty.Rate());
    if ((fds[0].revents & POLLIN) != 0) break;
    if ((fds[1].revents & POLLIN) != 0) {
      for (int change : pty.ReadOpenCloseEvents()) {
        if (change > 0 && openers++ == 0) model.OnOpen(now);
        if (change < 0 && openers > 0 && --openers == 0) model.OnClose(now);
      }
    }
    if (!throttled && (fds[2].revents & POLLIN) == 0) {
      // Hang-up or error without data: nothing to read now, and no reason to spin on it.
      if ((fds[2].revents & (POLLHUP | POLLERR)) != 0) usleep(10000);
      continue;
    }
    throttled = false;

    rate = pty.Rate();
    transcript.SetRate(rate);
    const std::size_t pending = pty.Pending();
    std::size_t allowance = pacer.Allowance(now, rate);
    if (pacer.Enabled() && pending > 0) {
      const std::size_t batch = std::min(kPacedBatch, pending);
      if (allowance < batch) {
        throttled = true;
        readyAt = pacer.ReadyAt(batch, rate);
        continue;
      }
    }
    const PtyPort::ReadResult r = pty.Read(buf.data(), std::min(buf.size(), allowance));
    if (r.flushed) model.OnFlush(now);
    if (r.data < 0) {
      // The pty stays usable while this process holds its slave; an error here is passing.
      usleep(10000);
      continue;
    }
    if (r.data == 0) continue;
    const auto n = static_cast<std::size_t>(r.data);
    pacer.Took(n, pty.Pending() == 0, rate);
    if (accepted(rate)) {
      model.OnBytes(std::span<const std::uint8_t>(buf.data(), n), now);
    } else {
      model.OnNoise(n, now);
    }
  }
  transcript.Write(Clock::now(), Event("stop"));
  close(signals);
  return 0;
}

}  // namespace sim
