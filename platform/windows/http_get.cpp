// One blocking GET through WinHTTP, with the system's proxy settings (the automatic proxy where
// Windows has it, else the configured one).
//
// WinHTTP's own time-outs cover the name lookup, the connection and each wait for data (the
// dead-server limit). The transfer runs on a worker thread that hands the body over in pieces;
// the calling thread gives them to the sink and keeps the limit on the whole transfer and the
// stop request. When either ends the transfer, the caller closes the request handle (which ends
// a waiting call at once on Windows) and returns without waiting for the worker, which ends on
// its own, by WinHTTP's time-outs at the latest, and touches nothing of the caller's.

#include "platform/http_get.h"

#include "platform/windows/windows_api.h"
// windows.h first: WinHTTP's header needs its types.
#include <winhttp.h>

#include <array>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/windows/wide_text.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadChunk = std::size_t{64} * 1024;
// Pieces the worker may read ahead of the sink.
constexpr std::size_t kPiecesAhead = 8;
// How often the caller looks at the stop request and the clock while it waits for a piece.
constexpr auto kWatchStep = std::chrono::milliseconds(100);
constexpr const wchar_t* kUserAgent = L"vorloader";

// A WinHTTP handle that closes when its owner goes.
class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET h = nullptr) : m_h(h) {}
  ~InternetHandle() {
    if (m_h != nullptr) ::WinHttpCloseHandle(m_h);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return m_h; }

 private:
  HINTERNET m_h;
};

// WinHTTP's own words for its error codes live in its module, the system's for the others.
std::string WinHttpMessage(DWORD code) {
  if (code >= WINHTTP_ERROR_BASE && code <= WINHTTP_ERROR_LAST) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
        ::GetModuleHandleW(L"winhttp.dll"), code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (n > 0 && text != nullptr) message = win::Narrow(std::wstring_view(text, n));
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
      message.pop_back();
    if (!message.empty()) return message;
    return "network error " + std::to_string(code);
  }
  return win::SystemMessage(code);
}

HttpGetResult Failure(HttpFailure failure, long status = 0, std::string why = {}) {
  return {failure, status, std::move(why)};
}

// The failure a WinHTTP error code stands for.
HttpGetResult FailureOf(DWORD code, long status) {
  switch (code) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return Failure(HttpFailure::kUnresolved, status);
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_CONNECTION_ERROR:
      // A connection that broke after the answer began is a cut body, not a refusal.
      if (status != 0) return Failure(HttpFailure::kNetwork, status, "the body was cut short");
      return Failure(HttpFailure::kRefused, status);
    case ERROR_WINHTTP_TIMEOUT:
      return Failure(HttpFailure::kTimedOut, status);
    default:
      return Failure(HttpFailure::kNetwork, status, WinHttpMessage(code));
  }
}

HINTERNET OpenSession() {
  // The automatic proxy (Windows 8.1 and later) follows the system's settings and proxy
  // scripts; older systems take the configured proxy.
  HINTERNET session = ::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
  if (session == nullptr)
    session = ::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0);
  return session;
}

int Milliseconds(long seconds) {
  return seconds > INT_MAX / 1000 ? INT_MAX : static_cast<int>(seconds * 1000);
}

// The announced body length; nullopt when there is none or it is no number.
std::optional<std::uint64_t> ContentLength(HINTERNET request) {
  std::array<wchar_t, 32> text{};
  auto size = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text.data(),
                             &size, WINHTTP_NO_HEADER_INDEX))
    return std::nullopt;
  std::uint64_t value = 0;
  std::size_t digits = 0;
  for (const wchar_t* c = text.data(); *c != L'\0'; ++c, ++digits) {
    if (*c < L'0' || *c > L'9' || digits >= 19) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(*c - L'0');
  }
  if (digits == 0) return std::nullopt;
  return value;
}

long StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    return 0;
  return static_cast<long>(status);
}

// What the worker and the caller share. The worker owns the WinHTTP handles; the caller may
// close the request handle only while the worker is inside a call on it (`inCall`), which
// ends that call, and the worker makes no further call once the caller has left.
struct Shared {
  std::mutex guard;
  std::condition_variable changed;
  std::deque<std::vector<std::uint8_t>> pieces;  // guarded by `guard`
  std::optional<HttpGetResult> outcome;          // guarded by `guard`: set when the worker is done
  long status = 0;                               // guarded by `guard`
  bool abandoned = false;                        // guarded by `guard`: the caller has left
  HINTERNET request = nullptr;                   // guarded by `guard`
  bool inCall = false;                           // guarded by `guard`
  bool closedByCaller = false;                   // guarded by `guard`
};

struct Target {
  std::wstring host;
  std::wstring path;
  INTERNET_PORT port = 0;
  bool secure = false;
  std::uint64_t maxBytes = 0;
  int connectMs = 10'000;
  int deadMs = 30'000;
  DWORD redirects = 10;
};

class Worker {
 public:
  Worker(std::shared_ptr<Shared> shared, Target target)
      : m_shared(std::move(shared)), m_target(std::move(target)) {}

  void Run() {
    HttpGetResult outcome = Transfer();
    const std::lock_guard<std::mutex> lock(m_shared->guard);
    if (m_shared->request != nullptr && !m_shared->closedByCaller) ::WinHttpCloseHandle(m_shared->request);
    m_shared->request = nullptr;
    m_shared->outcome = std::move(outcome);
    m_shared->changed.notify_all();
  }

 private:
  // Makes a call on the request unless the caller has left; nullopt then.
  template <typename Step>
  std::optional<BOOL> Call(Step step) {
    {
      const std::lock_guard<std::mutex> lock(m_shared->guard);
      if (m_shared->abandoned) return std::nullopt;
      m_shared->inCall = true;
    }
    const BOOL ok = step();
    const DWORD code = ::GetLastError();
    const std::lock_guard<std::mutex> lock(m_shared->guard);
    m_shared->inCall = false;
    if (m_shared->abandoned) return std::nullopt;
    ::SetLastError(code);
    return ok;
  }

  // Hands a piece to the caller, waiting while it is far behind; false once it has left.
  bool HandOver(std::vector<std::uint8_t> piece) {
    std::unique_lock<std::mutex> lock(m_shared->guard);
    m_shared->changed.wait(lock,
                           [this] { return m_shared->abandoned || m_shared->pieces.size() < kPiecesAhead; });
    if (m_shared->abandoned) return false;
    m_shared->pieces.push_back(std::move(piece));
    m_shared->changed.notify_all();
    return true;
  }

  HttpGetResult Transfer() {
    const InternetHandle session(OpenSession());
    if (session.get() == nullptr)
      return Failure(HttpFailure::kNetwork, 0,
                     "the transfer could not be set up (" + WinHttpMessage(::GetLastError()) + ")");
    ::WinHttpSetTimeouts(session.get(), m_target.connectMs, m_target.connectMs, m_target.deadMs,
                         m_target.deadMs);
    const InternetHandle connection(::WinHttpConnect(session.get(), m_target.host.c_str(), m_target.port, 0));
    if (connection.get() == nullptr) return FailureOf(::GetLastError(), 0);
    HINTERNET request =
        ::WinHttpOpenRequest(connection.get(), L"GET", m_target.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                             WINHTTP_DEFAULT_ACCEPT_TYPES, m_target.secure ? WINHTTP_FLAG_SECURE : 0);
    if (request == nullptr) return FailureOf(::GetLastError(), 0);
    {
      const std::lock_guard<std::mutex> lock(m_shared->guard);
      m_shared->request = request;
    }
    DWORD policy = m_target.redirects > 0 ? WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP
                                          : WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    ::WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    if (m_target.redirects > 0)
      ::WinHttpSetOption(request, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &m_target.redirects,
                         sizeof m_target.redirects);

    std::optional<BOOL> ok = Call([&] {
      return ::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                                  0);
    });
    if (!ok) return Failure(HttpFailure::kCancelled);
    if (!*ok) return FailureOf(::GetLastError(), 0);
    ok = Call([&] { return ::WinHttpReceiveResponse(request, nullptr); });
    if (!ok) return Failure(HttpFailure::kCancelled);
    if (!*ok) return FailureOf(::GetLastError(), 0);

    const long status = StatusCode(request);
    {
      const std::lock_guard<std::mutex> lock(m_shared->guard);
      m_shared->status = status;
    }
    // Only a 200 brings the file: 204 brings nothing, 206 a part, and a redirect that was not
    // followed brings no file at all. Its body never reaches the sink.
    if (status != 200) return Failure(HttpFailure::kHttpStatus, status);
    const std::optional<std::uint64_t> announced = ContentLength(request);
    if (announced && *announced > m_target.maxBytes) return Failure(HttpFailure::kTooLarge, status);

    std::uint64_t received = 0;
    for (;;) {
      std::vector<std::uint8_t> piece(kReadChunk);
      DWORD got = 0;
      ok = Call(
          [&] { return ::WinHttpReadData(request, piece.data(), static_cast<DWORD>(piece.size()), &got); });
      if (!ok) return Failure(HttpFailure::kCancelled, status);
      if (!*ok) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_WINHTTP_TIMEOUT) return Failure(HttpFailure::kTimedOut, status);
        return Failure(
            HttpFailure::kNetwork, status,
            received > 0 ? "the body was cut short (" + WinHttpMessage(code) + ")" : WinHttpMessage(code));
      }
      if (got == 0) break;
      // An endless or oversized body is cut off here: a body without an announced length is
      // only known by what arrives.
      if (got > m_target.maxBytes - received) return Failure(HttpFailure::kTooLarge, status);
      received += got;
      piece.resize(got);
      if (!HandOver(std::move(piece))) return Failure(HttpFailure::kCancelled, status);
    }
    if (announced && received < *announced)
      return Failure(HttpFailure::kNetwork, status, "the body was cut short");
    return Failure(HttpFailure::kNone, status);
  }

  std::shared_ptr<Shared> m_shared;
  Target m_target;
};

// The caller leaves the transfer: the worker makes no further call, and a call it is waiting
// in ends as the request handle closes.
void Abandon(Shared& shared) {
  const std::lock_guard<std::mutex> lock(shared.guard);
  shared.abandoned = true;
  if (shared.request != nullptr && shared.inCall && !shared.closedByCaller) {
    ::WinHttpCloseHandle(shared.request);
    shared.closedByCaller = true;
  }
  shared.changed.notify_all();
}

}  // namespace

HttpGetResult HttpGet(const HttpGetRequest& request) {
  if (request.stop.stop_requested()) return Failure(HttpFailure::kCancelled);
  const Clock::time_point deadline =
      Clock::now() + std::chrono::seconds(request.timeoutSeconds > 0 ? request.timeoutSeconds : 120);

  std::wstring url = win::Widen(request.url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (url.empty() || !::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
    return Failure(HttpFailure::kNetwork, 0, "not a web address: " + request.url);
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
    return Failure(HttpFailure::kNetwork, 0, "only http and https addresses are fetched: " + request.url);

  Target target;
  target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  target.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  target.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.path.empty()) target.path = L"/";
  target.port = parts.nPort;
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  target.maxBytes = request.maxBytes;
  target.connectMs = Milliseconds(request.connectTimeoutSeconds > 0 ? request.connectTimeoutSeconds : 10);
  target.deadMs = Milliseconds(request.deadServerSeconds > 0 ? request.deadServerSeconds : 30);
  target.redirects = request.maxRedirects > 0 ? static_cast<DWORD>(request.maxRedirects) : 0;

  auto shared = std::make_shared<Shared>();
  try {
    std::thread([worker = Worker(shared, std::move(target))]() mutable { worker.Run(); }).detach();
  } catch (const std::system_error&) {
    return Failure(HttpFailure::kNetwork, 0, "no worker thread could be started");
  }

  std::unique_lock<std::mutex> lock(shared->guard);
  for (;;) {
    shared->changed.wait_for(lock, kWatchStep, [&] { return shared->outcome || !shared->pieces.empty(); });
    while (!shared->pieces.empty()) {
      std::vector<std::uint8_t> piece = std::move(shared->pieces.front());
      shared->pieces.pop_front();
      shared->changed.notify_all();
      lock.unlock();
      const bool taken =
          !request.sink || request.sink(std::span<const std::uint8_t>(piece.data(), piece.size()));
      if (!taken) {
        Abandon(*shared);
        lock.lock();
        return Failure(HttpFailure::kSinkFailed, shared->status);
      }
      lock.lock();
    }
    if (shared->outcome) return *shared->outcome;
    const bool stopped = request.stop.stop_requested();
    if (stopped || Clock::now() >= deadline) {
      const long status = shared->status;
      lock.unlock();
      Abandon(*shared);
      return Failure(stopped ? HttpFailure::kCancelled : HttpFailure::kTimedOut, status);
    }
  }
}

}  // namespace platform
