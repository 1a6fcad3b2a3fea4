#include "tests/support/http/http_test_server.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace testing_support {

namespace {

struct Fault {
  HttpFault kind;
  std::string location;
};

// The file a request path names below `root`, or "" when the path could leave it.
std::string LocalPath(const std::string& root, const std::string& path) {
  if (path.empty() || path.front() != '/' || path.find("..") != std::string::npos ||
      path.find('\\') != std::string::npos)
    return {};
  return root + path;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return false;
  out = s.str();
  return true;
}

}  // namespace

struct HttpTestServer::Impl {
  std::string root;
  httplib::Server server;
  std::thread thread;
  std::atomic<bool> loopEnded{false};
  int port = 0;

  mutable std::mutex mutex;
  std::condition_variable released;
  bool stopping = false;
  std::map<std::string, Fault> faults;
  std::vector<std::string> requests;
  int stalls = 0;

  void Handle(const httplib::Request& req, httplib::Response& res);
  void Serve(const std::string& body, const Fault* fault, httplib::Response& res);
  void ServeEndless(httplib::Response& res);
  void ServeTrickle(const std::string& body, httplib::Response& res);
  bool Stopping() {
    std::lock_guard<std::mutex> lock(mutex);
    return stopping;
  }
};

// Bounded all the same, so that a client that never gives up cannot keep the server busy.
constexpr std::size_t kEndlessLimit = 256u * 1024u * 1024u;
constexpr std::size_t kEndlessPiece = 64u * 1024u;
constexpr auto kTricklePause = std::chrono::milliseconds(500);
constexpr std::size_t kTricklePiece = 2;

void HttpTestServer::Impl::ServeEndless(httplib::Response& res) {
  res.status = 200;
  res.set_chunked_content_provider("application/octet-stream",
                                   [this](std::size_t offset, httplib::DataSink& sink) {
                                     if (offset >= kEndlessLimit || Stopping()) return false;
                                     const std::string piece(kEndlessPiece, 'e');
                                     return sink.write(piece.data(), piece.size());
                                   });
}

void HttpTestServer::Impl::ServeTrickle(const std::string& body, httplib::Response& res) {
  res.status = 200;
  res.set_content_provider(body.size(), "application/octet-stream",
                           [this, body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                             {
                               std::unique_lock<std::mutex> lock(mutex);
                               if (released.wait_for(lock, kTricklePause, [this] { return stopping; }))
                                 return false;
                             }
                             const std::size_t n = length < kTricklePiece ? length : kTricklePiece;
                             return sink.write(body.data() + offset, n);
                           });
}

void HttpTestServer::Impl::Handle(const httplib::Request& req, httplib::Response& res) {
  std::optional<Fault> fault;
  {
    std::lock_guard<std::mutex> lock(mutex);
    requests.push_back(req.path);
    auto it = faults.find(req.path);
    if (it != faults.end()) fault = it->second;
  }
  if (fault && fault->kind == HttpFault::kNotFound) {
    res.status = 404;
    return;
  }
  if (fault && fault->kind == HttpFault::kServerError) {
    res.status = 500;
    res.set_content("server error", "text/plain");
    return;
  }
  if (fault && fault->kind == HttpFault::kRedirect) {
    res.set_redirect(fault->location);
    return;
  }
  if (fault && fault->kind == HttpFault::kErrorPage) {
    res.status = 200;
    res.set_content("<html><body><h1>Something went wrong</h1></body></html>\n", "text/html");
    return;
  }
  if (fault && fault->kind == HttpFault::kNoContent) {
    res.status = 204;
    return;
  }
  if (fault && fault->kind == HttpFault::kEndless) {
    ServeEndless(res);
    return;
  }

  std::string body;
  const std::string local = LocalPath(root, req.path);
  if (local.empty() || !ReadWholeFile(local, body)) {
    res.status = 404;
    return;
  }
  Serve(body, fault ? &*fault : nullptr, res);
}

void HttpTestServer::Impl::Serve(const std::string& body, const Fault* fault, httplib::Response& res) {
  if (fault == nullptr) {
    res.set_content(body, "application/octet-stream");
    return;
  }
  if (fault->kind == HttpFault::kPartial) {
    res.status = 206;
    res.set_content(body.substr(0, body.size() / 2), "application/octet-stream");
    return;
  }
  if (fault->kind == HttpFault::kTrickle) {
    ServeTrickle(body, res);
    return;
  }
  const bool stall = fault->kind == HttpFault::kStall;
  const std::size_t part = body.size() / 2;
  // Announces more than it will ever send, so the client can tell the body was cut short.
  res.set_content_provider(
      body.size() + 1, "application/octet-stream",
      [this, body, part, stall](std::size_t offset, std::size_t, httplib::DataSink& sink) {
        if (offset == 0 && part > 0) sink.write(body.data(), part);
        if (stall) {
          std::unique_lock<std::mutex> lock(mutex);
          ++stalls;
          released.wait(lock, [this] { return stopping; });
        }
        return false;  // closes the connection
      });
}

HttpTestServer::HttpTestServer(std::string root) : m_impl(std::make_unique<Impl>()) {
  m_impl->root = std::move(root);
  while (m_impl->root.size() > 1 && m_impl->root.back() == '/') m_impl->root.pop_back();
  m_impl->server.Get(".*", [impl = m_impl.get()](const httplib::Request& req, httplib::Response& res) {
    impl->Handle(req, res);
  });
}

HttpTestServer::~HttpTestServer() {
  Stop();
}

namespace {

// Clients in this process reach the server directly even when the environment names a proxy.
void BypassProxyForLoopback() {
  const char* old = std::getenv("no_proxy");
  std::string list = old != nullptr ? old : "";
  if (list.find("127.0.0.1") != std::string::npos) return;
  list += list.empty() ? "127.0.0.1" : ",127.0.0.1";
  setenv("no_proxy", list.c_str(), 1);
  setenv("NO_PROXY", list.c_str(), 1);
}

}  // namespace

bool HttpTestServer::Start(int port) {
  if (m_impl->thread.joinable()) return true;
  BypassProxyForLoopback();
  {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->stopping = false;
  }
  if (port == 0) {
    m_impl->port = m_impl->server.bind_to_any_port("127.0.0.1");
  } else {
    m_impl->port = m_impl->server.bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (m_impl->port <= 0) return false;
  // Connections made before the loop runs wait in the listen backlog, so the server is
  // usable as soon as Start returns.
  m_impl->loopEnded = false;
  m_impl->thread = std::thread([impl = m_impl.get()] {
    impl->server.listen_after_bind();
    impl->loopEnded = true;
  });
  return true;
}

void HttpTestServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->stopping = true;
  }
  m_impl->released.notify_all();
  if (m_impl->thread.joinable()) {
    // stop() only reaches a loop that has begun; one still starting would otherwise run on.
    while (!m_impl->server.is_running() && !m_impl->loopEnded)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_impl->server.stop();
    m_impl->thread.join();
  }
}

int HttpTestServer::port() const {
  return m_impl->port;
}

std::string HttpTestServer::url() const {
  return "http://127.0.0.1:" + std::to_string(m_impl->port);
}

void HttpTestServer::SetFault(const std::string& path, HttpFault fault, const std::string& location) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->faults[path] = Fault{fault, location};
}

void HttpTestServer::ClearFaults() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->faults.clear();
}

std::vector<std::string> HttpTestServer::requests() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->requests;
}

int HttpTestServer::stallsReached() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->stalls;
}

}  // namespace testing_support
