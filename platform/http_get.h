#pragma once
// One blocking HTTP(S) GET. The body goes to the caller's sink piece by piece; what becomes of
// it (a temporary file, a check, a replace) is the caller's business.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>

namespace platform {

enum class HttpFailure {
  kNone,        // the whole body arrived with status 200
  kCancelled,   // `stop` was requested
  kUnresolved,  // the host name (or the proxy's) could not be resolved
  kRefused,     // no connection could be made (refused or unreachable)
  kTimedOut,    // the whole-transfer limit, the connect time-out or the dead-server limit
  kHttpStatus,  // the final answer had a status other than 200 (see `status`)
  kTooLarge,    // the body is, or was announced as, longer than maxBytes
  kSinkFailed,  // the sink returned false
  kNetwork,     // any other failure of the transfer, including a body cut short
};

struct HttpGetRequest {
  std::string url;  // http:// or https:// only; any other scheme fails with kNetwork
  // The body may hold at most this many bytes. A length announced up front that is larger
  // fails before any byte reaches the sink; a body without one is cut off as soon as it
  // passes the limit (the sink has then been given at most maxBytes bytes).
  std::uint64_t maxBytes = 0;
  // The limit on the whole transfer, from the call to the last byte (seconds, > 0).
  long timeoutSeconds = 120;
  // The limit on making the connection (seconds, > 0).
  long connectTimeoutSeconds = 10;
  // A server that sends less than one byte a second for this long is taken for dead
  // (kTimedOut).
  long deadServerSeconds = 30;
  // Redirects followed (to http or https only); one more fails (kNetwork), a redirect
  // answer that is not followed is kHttpStatus.
  int maxRedirects = 10;
  // Ends the transfer (kCancelled); noticed within about a second.
  std::stop_token stop;
  // Takes each piece of the body in order, on the calling thread; false fails the transfer
  // (kSinkFailed). Only the body of a final answer with status 200 is ever given to it; the
  // bodies of redirects and of other answers are not.
  std::function<bool(std::span<const std::uint8_t> bytes)> sink;
};

struct HttpGetResult {
  HttpFailure failure = HttpFailure::kNone;
  long status = 0;  // the final HTTP status when an answer came, else 0
  std::string why;  // for kNetwork: the transport's own words, for a log line; else empty

  bool ok() const { return failure == HttpFailure::kNone; }
};

// Runs the GET to its end on the calling thread. ok() only when status 200 came and the whole
// body (every byte within maxBytes) went to the sink. Sends no signals to the process and may
// run on several threads at once (one request each).
HttpGetResult HttpGet(const HttpGetRequest& request);

}  // namespace platform
