// vor-test-httpd --root DIR [--port N]: serves DIR on 127.0.0.1 for the demo and the terminal
// tests. Prints its base URL once it is ready and runs until SIGTERM or SIGINT.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/http/http_test_server.h"

namespace {

int Usage() {
  std::fputs("usage: vor-test-httpd --root DIR [--port N]\n", stderr);
  return 64;
}

bool ParsePort(const char* text, int& port) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 65535) return false;
  port = static_cast<int>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root;
  int port = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--root" && i + 1 < argc) {
      root = argv[++i];
    } else if (arg == "--port" && i + 1 < argc) {
      if (!ParsePort(argv[++i], port)) return Usage();
    } else {
      return Usage();
    }
  }
  if (root.empty()) return Usage();

  // Blocked before any thread starts, so every thread inherits the mask and sigwait gets them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  testing_support::HttpTestServer server(root);
  if (!server.Start(port)) {
    std::fprintf(stderr, "vor-test-httpd: cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }
  std::printf("%s\n", server.url().c_str());
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.Stop();
  return 0;
}
