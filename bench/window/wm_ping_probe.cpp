// How quickly a window answers its window manager, measured from outside its process: acting
// as the window manager, this sends the window _NET_WM_PING messages, one at a time, and times
// each until the window's reply reaches the root window. A toolkit answers a ping from its
// event loop, so the round trip is how long the window's thread takes to get to its events.
//
//   window_ping_probe --name TITLE [--seconds S] [--every-ms MS] [--wait-s S]
//
// Waits up to --wait-s (default 30) for a top-level window named TITLE that takes
// _NET_WM_PING, then pings it every --every-ms (default 50) for --seconds (default 20) and
// prints one line: "pings N lost L median_ms M p99_ms P max_ms X". A ping unanswered for 5 s
// is lost. Exit status 0, or 1 when no such window showed (or it went away).

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
  std::string name;
  double seconds = 20.0;
  int everyMs = 50;
  double waitSeconds = 30.0;
};

std::optional<Settings> Parse(int argc, char** argv) {
  Settings s;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const char* value = argv[i + 1];
    if (key == "--name")
      s.name = value;
    else if (key == "--seconds")
      s.seconds = std::atof(value);
    else if (key == "--every-ms")
      s.everyMs = std::atoi(value);
    else if (key == "--wait-s")
      s.waitSeconds = std::atof(value);
    else
      return std::nullopt;
  }
  if (s.name.empty() || argc % 2 == 0 || s.seconds <= 0 || s.everyMs <= 0) return std::nullopt;
  return s;
}

bool TakesPing(Display* display, Window window, Atom ping) {
  Atom* protocols = nullptr;
  int count = 0;
  if (XGetWMProtocols(display, window, &protocols, &count) == 0) return false;
  const bool takes = std::find(protocols, protocols + count, ping) != protocols + count;
  XFree(protocols);
  return takes;
}

// The window named `name` under `parent` (depth first), that takes pings.
Window Find(Display* display, Window parent, const std::string& name, Atom ping) {
  char* title = nullptr;
  if (XFetchName(display, parent, &title) != 0 && title != nullptr) {
    const bool match = name == title;
    XFree(title);
    if (match && TakesPing(display, parent, ping)) return parent;
  }
  Window root = 0;
  Window up = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) return 0;
  Window found = 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) found = Find(display, children[i], name, ping);
  if (children != nullptr) XFree(children);
  return found;
}

// Waits for the reply to ping `serial`; its round trip in milliseconds, none after `limit`.
std::optional<double> AwaitReply(Display* display, Atom protocols, Atom ping, long serial,
                                 Clock::time_point sent, std::chrono::milliseconds limit) {
  const int fd = ConnectionNumber(display);
  for (;;) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == ClientMessage && event.xclient.message_type == protocols &&
          static_cast<Atom>(event.xclient.data.l[0]) == ping && event.xclient.data.l[1] == serial)
        return std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(sent + limit - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(left.count()));
  }
}

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(std::lround(share * static_cast<double>(values.size() - 1)));
  return values[std::min(at, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Settings> settings = Parse(argc, argv);
  if (!settings) {
    std::fprintf(stderr,
                 "usage: window_ping_probe --name TITLE [--seconds S] [--every-ms MS] [--wait-s S]\n");
    return 64;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "window_ping_probe: cannot open the display\n");
    return 1;
  }
  const Window root = DefaultRootWindow(display);
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
  // The window's replies go to the root window, for the window manager.
  XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);

  Window window = 0;
  const auto giveUp = Clock::now() + std::chrono::duration<double>(settings->waitSeconds);
  while ((window = Find(display, root, settings->name, ping)) == 0 && Clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (window == 0) {
    std::fprintf(stderr, "window_ping_probe: no window named \"%s\" that takes pings\n",
                 settings->name.c_str());
    XCloseDisplay(display);
    return 1;
  }

  std::vector<double> trips;
  int lost = 0;
  long serial = 0;
  const auto end = Clock::now() + std::chrono::duration<double>(settings->seconds);
  while (Clock::now() < end) {
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(ping);
    event.xclient.data.l[1] = ++serial;  // the timestamp field: echoed back
    event.xclient.data.l[2] = static_cast<long>(window);
    const auto sent = Clock::now();
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    if (const std::optional<double> trip =
            AwaitReply(display, protocols, ping, serial, sent, std::chrono::milliseconds(5000)))
      trips.push_back(*trip);
    else
      ++lost;
    std::this_thread::sleep_for(std::chrono::milliseconds(settings->everyMs));
  }
  XCloseDisplay(display);
  std::printf("pings %zu lost %d median_ms %.2f p99_ms %.2f max_ms %.2f\n",
              trips.size() + static_cast<std::size_t>(lost), lost, Percentile(trips, 0.5),
              Percentile(trips, 0.99), trips.empty() ? 0.0 : *std::max_element(trips.begin(), trips.end()));
  return 0;
}
