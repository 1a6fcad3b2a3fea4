// One blocking GET through WinHTTP, with the system's proxy settings (the automatic proxy where
// Windows has it, else the configured one).
//
// WinHTTP's own time-outs cover the name lookup, the connection and each wait for data (the
// dead-server limit). The limit on the whole transfer and a stop request are kept by a watch
// thread: it closes the request handle, which ends the call that waits on it at once (the
// documented way to cancel a synchronous request).

#include "platform/http_get.h"

#include "platform/windows/windows_api.h"
// windows.h first: WinHTTP's header needs its types.
#include <winhttp.h>

#include <array>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cwchar>
#include <functional>
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

// Ends the request when the transfer's time is up or a stop is requested, by closing the
// request handle under the transfer's feet. The transfer asks before each call whether it may
// still use the handle, and leaves the closing to the watch while it is inside a call.
class TransferWatch {
 public:
  enum class Reason { kNone, kStopped, kTimeUp };

  TransferWatch(HINTERNET request, Clock::time_point deadline, const std::stop_token& stop)
      : m_request(request), m_deadline(deadline), m_stop(stop), m_onStop(stop, [this] { Wake(); }) {
    try {
      m_thread = std::thread([this] { Watch(); });
    } catch (const std::system_error&) {
      // Without the watch the transfer still ends by WinHTTP's own time-outs; the stop is
      // then seen between reads.
    }
  }

  ~TransferWatch() {
    {
      const std::lock_guard<std::mutex> lock(m_guard);
      m_finished = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }

  TransferWatch(const TransferWatch&) = delete;
  TransferWatch& operator=(const TransferWatch&) = delete;

  // Before a call on the request: false when the transfer has been ended (do not call).
  bool Enter() {
    const std::lock_guard<std::mutex> lock(m_guard);
    if (m_reason == Reason::kNone && m_stop.stop_requested()) m_reason = Reason::kStopped;
    if (m_reason == Reason::kNone && Clock::now() >= m_deadline) m_reason = Reason::kTimeUp;
    m_inCall = m_reason == Reason::kNone;
    return m_inCall;
  }
  void Leave() {
    const std::lock_guard<std::mutex> lock(m_guard);
    m_inCall = false;
  }

  Reason reason() {
    const std::lock_guard<std::mutex> lock(m_guard);
    return m_reason;
  }
  // Whether the watch closed the request handle (its owner must not close it again).
  bool closedRequest() {
    const std::lock_guard<std::mutex> lock(m_guard);
    return m_closed;
  }

 private:
  void Wake() {
    { const std::lock_guard<std::mutex> lock(m_guard); }
    m_wake.notify_all();
  }

  void Watch() {
    std::unique_lock<std::mutex> lock(m_guard);
    for (;;) {
      if (m_finished) return;
      if (m_stop.stop_requested()) {
        End(Reason::kStopped);
        return;
      }
      if (Clock::now() >= m_deadline) {
        End(Reason::kTimeUp);
        return;
      }
      m_wake.wait_until(lock, m_deadline);
    }
  }

  // With m_guard held.
  void End(Reason reason) {
    if (m_reason == Reason::kNone) m_reason = reason;
    if (m_inCall && !m_closed) {
      ::WinHttpCloseHandle(m_request);
      m_closed = true;
    }
  }

  HINTERNET m_request;
  Clock::time_point m_deadline;
  std::stop_token m_stop;
  std::mutex m_guard;
  std::condition_variable m_wake;
  Reason m_reason = Reason::kNone;  // guarded by m_guard
  bool m_inCall = false;            // guarded by m_guard
  bool m_closed = false;            // guarded by m_guard
  bool m_finished = false;          // guarded by m_guard
  std::stop_callback<std::function<void()>> m_onStop;
  std::thread m_thread;
};

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
  if (seconds <= 0) return 0;
  return seconds > INT_MAX / 1000 ? INT_MAX : static_cast<int>(seconds * 1000);
}

// The value of a header as text, or empty when the answer has none.
std::wstring HeaderText(HINTERNET request, DWORD query) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0 || size > 4096) return {};
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
  if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
    return {};
  return text.data();
}

// The announced body length; nullopt when there is none or it is no number.
std::optional<std::uint64_t> ContentLength(HINTERNET request) {
  const std::wstring text = HeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH);
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - L'0');
  }
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

// The transfer itself, from sending the request to the end of the body.
HttpGetResult Transfer(const HttpGetRequest& request, HINTERNET handle, TransferWatch& watch) {
  long status = 0;
  // Each call on the handle is made only while the watch allows it; a call it ended fails.
  const auto call = [&watch](auto&& step) -> std::optional<BOOL> {
    if (!watch.Enter()) return std::nullopt;
    const BOOL ok = step();
    const DWORD code = ::GetLastError();
    watch.Leave();
    ::SetLastError(code);
    return ok;
  };
  const auto ended = [&watch, &status]() -> HttpGetResult {
    return watch.reason() == TransferWatch::Reason::kStopped ? Failure(HttpFailure::kCancelled, status)
                                                             : Failure(HttpFailure::kTimedOut, status);
  };
  const auto failed = [&](DWORD code) -> HttpGetResult {
    if (watch.reason() != TransferWatch::Reason::kNone) return ended();
    return FailureOf(code, status);
  };

  std::optional<BOOL> ok = call([&] {
    return ::WinHttpSendRequest(handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
  });
  if (!ok) return ended();
  if (!*ok) return failed(::GetLastError());
  ok = call([&] { return ::WinHttpReceiveResponse(handle, nullptr); });
  if (!ok) return ended();
  if (!*ok) return failed(::GetLastError());

  status = StatusCode(handle);
  // Only a 200 brings the file: 204 brings nothing, 206 a part, and a redirect that was not
  // followed brings no file at all. Its body never reaches the sink.
  if (status != 200) return Failure(HttpFailure::kHttpStatus, status);
  const std::optional<std::uint64_t> announced = ContentLength(handle);
  if (announced && *announced > request.maxBytes) return Failure(HttpFailure::kTooLarge, status);

  std::vector<std::uint8_t> buffer(kReadChunk);
  std::uint64_t received = 0;
  for (;;) {
    DWORD got = 0;
    ok = call(
        [&] { return ::WinHttpReadData(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got); });
    if (!ok) return ended();
    if (!*ok) {
      const DWORD code = ::GetLastError();
      if (watch.reason() != TransferWatch::Reason::kNone) return ended();
      if (code == ERROR_WINHTTP_TIMEOUT) return Failure(HttpFailure::kTimedOut, status);
      return Failure(
          HttpFailure::kNetwork, status,
          received > 0 ? "the body was cut short (" + WinHttpMessage(code) + ")" : WinHttpMessage(code));
    }
    if (got == 0) break;
    // An endless or oversized body is cut off here: a body without an announced length is
    // only known by what arrives.
    if (got > request.maxBytes - received) return Failure(HttpFailure::kTooLarge, status);
    received += got;
    if (request.sink && !request.sink(std::span<const std::uint8_t>(buffer.data(), got)))
      return Failure(HttpFailure::kSinkFailed, status);
  }
  if (announced && received < *announced)
    return Failure(HttpFailure::kNetwork, status, "the body was cut short");
  return Failure(HttpFailure::kNone, status);
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
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  const InternetHandle session(OpenSession());
  if (session.get() == nullptr)
    return Failure(HttpFailure::kNetwork, 0,
                   "the transfer could not be set up (" + WinHttpMessage(::GetLastError()) + ")");
  const int connectMs = Milliseconds(request.connectTimeoutSeconds > 0 ? request.connectTimeoutSeconds : 10);
  const int deadMs = Milliseconds(request.deadServerSeconds > 0 ? request.deadServerSeconds : 30);
  ::WinHttpSetTimeouts(session.get(), connectMs, connectMs, deadMs, deadMs);

  const InternetHandle connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (connection.get() == nullptr) return FailureOf(::GetLastError(), 0);
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  HINTERNET handle = ::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  if (handle == nullptr) return FailureOf(::GetLastError(), 0);
  DWORD redirects = request.maxRedirects > 0 ? static_cast<DWORD>(request.maxRedirects) : 0;
  DWORD policy = redirects > 0 ? WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP
                               : WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  ::WinHttpSetOption(handle, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
  if (redirects > 0)
    ::WinHttpSetOption(handle, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);

  HttpGetResult result;
  bool closedByWatch = false;
  {
    TransferWatch watch(handle, deadline, request.stop);
    result = Transfer(request, handle, watch);
    closedByWatch = watch.closedRequest();
  }
  if (!closedByWatch) ::WinHttpCloseHandle(handle);
  return result;
}

}  // namespace platform
