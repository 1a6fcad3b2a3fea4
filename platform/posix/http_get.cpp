// One blocking GET through libcurl.

#include "platform/http_get.h"

#include <curl/curl.h>

namespace platform {
namespace {

bool CurlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

struct Transfer {
  const HttpGetRequest* request = nullptr;
  CURL* curl = nullptr;
  std::uint64_t received = 0;
  bool sinkFailed = false;
  bool tooLarge = false;
  bool notOk = false;  // a body came with a status other than 200
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  // Only a 200 brings the file: the body of any other answer (a redirect not followed, 204,
  // 206) never reaches the sink.
  long status = 0;
  if (curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200) {
    t->notOk = true;
    return 0;
  }
  // An endless or oversized body is cut off here: a length announced up front is refused
  // before the body starts, but a body without one is only known by what arrives.
  if (n > t->request->maxBytes - t->received) {
    t->tooLarge = true;
    return 0;
  }
  t->received += n;
  if (t->request->sink &&
      !t->request->sink(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data), n))) {
    t->sinkFailed = true;
    return 0;  // makes the transfer fail
  }
  return n;
}

int PollCancel(void* user, curl_off_t /*dltotal*/, curl_off_t /*dlnow*/, curl_off_t /*ultotal*/,
               curl_off_t /*ulnow*/) {
  const auto* t = static_cast<const Transfer*>(user);
  return t->request->stop.stop_requested() ? 1 : 0;
}

HttpGetResult Classify(CURLcode code, long status, const Transfer& transfer) {
  HttpGetResult r;
  r.status = status;
  if (transfer.tooLarge) {
    r.failure = HttpFailure::kTooLarge;
  } else if (transfer.sinkFailed) {
    r.failure = HttpFailure::kSinkFailed;
  } else if (transfer.notOk) {
    r.failure = HttpFailure::kHttpStatus;
  } else {
    switch (code) {
      case CURLE_OK:
        r.failure = status == 200 ? HttpFailure::kNone : HttpFailure::kHttpStatus;
        break;
      case CURLE_HTTP_RETURNED_ERROR:
        r.failure = HttpFailure::kHttpStatus;
        break;
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY:
        r.failure = HttpFailure::kUnresolved;
        break;
      case CURLE_COULDNT_CONNECT:
        r.failure = HttpFailure::kRefused;
        break;
      case CURLE_OPERATION_TIMEDOUT:
        r.failure = HttpFailure::kTimedOut;
        break;
      case CURLE_FILESIZE_EXCEEDED:
        r.failure = HttpFailure::kTooLarge;
        break;
      case CURLE_ABORTED_BY_CALLBACK:
        r.failure = HttpFailure::kCancelled;
        break;
      case CURLE_PARTIAL_FILE:
        r.failure = HttpFailure::kNetwork;
        r.why = "the body was cut short";
        break;
      default:
        r.failure = HttpFailure::kNetwork;
        r.why = curl_easy_strerror(code);
        break;
    }
  }
  return r;
}

}  // namespace

HttpGetResult HttpGet(const HttpGetRequest& request) {
  if (request.stop.stop_requested()) return {HttpFailure::kCancelled, 0, {}};
  if (!CurlReady()) return {HttpFailure::kNetwork, 0, "the transfer library could not start"};
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return {HttpFailure::kNetwork, 0, "the transfer could not be set up"};
  Transfer transfer;
  transfer.request = &request;
  transfer.curl = curl;
  const bool ready =
      curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str()) == CURLE_OK &&
      // Only the web: a redirect to file:, ftp: or anything else is refused.
      curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(request.maxRedirects)) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, request.connectTimeoutSeconds) == CURLE_OK &&
      // Less than one byte a second for the dead-server time.
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, request.deadServerSeconds) == CURLE_OK &&
      // A server that keeps sending a little, slowly, is stopped by the limit on the whole.
      curl_easy_setopt(curl, CURLOPT_TIMEOUT, request.timeoutSeconds) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBytes)) ==
          CURLE_OK &&
      // No signals: the caller is one thread among others.
      curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, PollCancel) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer) == CURLE_OK;
  if (!ready) {
    curl_easy_cleanup(curl);
    return {HttpFailure::kNetwork, 0, "the transfer could not be set up"};
  }
  const CURLcode code = curl_easy_perform(curl);
  long status = 0;
  if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) status = 0;
  curl_easy_cleanup(curl);
  return Classify(code, status, transfer);
}

}  // namespace platform
