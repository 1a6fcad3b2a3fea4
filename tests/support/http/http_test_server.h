#pragma once
// A small web server for tests: serves a folder on 127.0.0.1 at a free port from a background
// thread, with faults that a test can set per path, and a log of the paths requested.

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

enum class HttpFault {
  kNotFound,     // 404
  kServerError,  // 500
  kCutShort,     // announces the whole file, sends half of it, then closes the connection
  kStall,        // sends the headers and half of the file, then waits until the server stops
  kRedirect,     // 302 to the given location (any scheme)
  kErrorPage,    // 200 with a small HTML error page instead of the file
  kNoContent,    // 204 without a body
  kPartial,      // 206 with the first half of the file, its length announced as such
  kEndless,      // 200 with a body without end (chunked), until the client gives up
  kTrickle,      // 200 announcing the whole file, sending 2 bytes every half second
};

class HttpTestServer {
 public:
  explicit HttpTestServer(std::string root);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  // Binds 127.0.0.1 at `port` (0: any free port) and starts serving; false when it cannot bind.
  bool Start(int port = 0);
  // Releases stalled requests and stops; also done by the destructor.
  void Stop();

  int port() const;
  std::string url() const;  // "http://127.0.0.1:PORT", no trailing "/"

  // `path` as requested, e.g. "/fw/a.hex". `location` is used by kRedirect only.
  void SetFault(const std::string& path, HttpFault fault, const std::string& location = {});
  void ClearFaults();

  // The paths requested so far, in order.
  std::vector<std::string> requests() const;
  // How many requests have reached a stall so far.
  int stallsReached() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace testing_support
