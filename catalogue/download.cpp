// One blocking HTTP GET per download, run on its own short-lived worker thread. The body goes
// to a temporary file beside the target, which replaces the target only once the whole body
// arrived, so a failed download never destroys a good file.

#include "catalogue/download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "catalogue/safe_file_name.h"
#include "common/hex_text.h"
#include "platform/files.h"

namespace catalogue {

namespace {

constexpr long kConnectTimeoutSeconds = 10;
// A server that sends less than one byte a second for this long is taken for dead.
constexpr long kLowSpeedBytesPerSecond = 1;
constexpr long kLowSpeedSeconds = 30;
constexpr long kMaxRedirects = 10;
// mkstemp's six characters.
constexpr std::size_t kTemporaryUniqueLength = 6;

bool CurlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

// Bytes of a file name that may stand in a URL path as they are; all others are escaped,
// so a name with a blank, "#" or "?" still asks for that very file.
bool IsUnreserved(unsigned char b) {
  return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
         b == '_' || b == '~';
}

std::string EscapeForUrl(const std::string& name) {
  std::string out;
  for (char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (IsUnreserved(b)) {
      out.push_back(c);
    } else {
      out.push_back('%');
      AppendHexByte(out, b, true);
    }
  }
  return out;
}

struct Transfer {
  std::FILE* out = nullptr;
  std::stop_token stop;
  std::uint64_t maxBytes = 0;
  std::uint64_t received = 0;
  bool writeFailed = false;
  bool tooLarge = false;
};

// How a transfer ended.
struct Outcome {
  DownloadCause cause = DownloadCause::kOk;
  long status = 0;
  std::string why;  // for kNetwork: the transfer library's own words
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  // An endless or oversized body is cut off here: a length announced up front is refused
  // before the body starts, but a body without one is only known by what arrives.
  if (n > t->maxBytes - t->received) {
    t->tooLarge = true;
    return 0;
  }
  t->received += n;
  if (std::fwrite(data, 1, n, t->out) != n) {
    t->writeFailed = true;
    return 0;  // makes the transfer fail
  }
  return n;
}

int PollCancel(void* user, curl_off_t /*dltotal*/, curl_off_t /*dlnow*/, curl_off_t /*ultotal*/,
               curl_off_t /*ulnow*/) {
  const auto* t = static_cast<const Transfer*>(user);
  return t->stop.stop_requested() ? 1 : 0;
}

// Every way a transfer can fail, told in the words a person reads in the log.
Outcome Classify(CURLcode code, long status, const Transfer& transfer) {
  Outcome o;
  o.status = status;
  if (transfer.tooLarge) {
    o.cause = DownloadCause::kTooLarge;
  } else if (transfer.writeFailed) {
    o.cause = DownloadCause::kLocalFile;
  } else {
    switch (code) {
      case CURLE_OK:
        // Only a 200 brings the whole file: 204 brings nothing, 206 a part, and a redirect
        // that was not followed brings no file at all.
        o.cause = status == 200 ? DownloadCause::kOk : DownloadCause::kHttpStatus;
        break;
      case CURLE_HTTP_RETURNED_ERROR:
        o.cause = DownloadCause::kHttpStatus;
        break;
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY:
        o.cause = DownloadCause::kUnresolved;
        break;
      case CURLE_COULDNT_CONNECT:
        o.cause = DownloadCause::kRefused;
        break;
      case CURLE_OPERATION_TIMEDOUT:
        o.cause = DownloadCause::kTimedOut;
        break;
      case CURLE_FILESIZE_EXCEEDED:
        o.cause = DownloadCause::kTooLarge;
        break;
      case CURLE_ABORTED_BY_CALLBACK:
        o.cause = DownloadCause::kCancelled;
        break;
      case CURLE_PARTIAL_FILE:
        o.cause = DownloadCause::kNetwork;
        o.why = "the body was cut short";
        break;
      default:
        o.cause = DownloadCause::kNetwork;
        o.why = curl_easy_strerror(code);
        break;
    }
  }
  return o;
}

// The worker's whole job: GET `url` into `out`.
Outcome Fetch(const std::string& url, long timeoutSeconds, Transfer& transfer) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return {DownloadCause::kNetwork, 0, "the transfer could not be set up"};
  const bool ready = curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
                     // Only the web: a redirect to file:, ftp: or anything else is refused.
                     curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds) == CURLE_OK &&
                     // A server that keeps sending a little, slowly, is stopped by the limit on the whole.
                     curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeoutSeconds) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                                      static_cast<curl_off_t>(transfer.maxBytes)) == CURLE_OK &&
                     // No signals: the worker is one thread among others.
                     curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, PollCancel) == CURLE_OK &&
                     curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer) == CURLE_OK;
  if (!ready) {
    curl_easy_cleanup(curl);
    return {DownloadCause::kNetwork, 0, "the transfer could not be set up"};
  }
  const CURLcode code = curl_easy_perform(curl);
  long status = 0;
  if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) status = 0;
  curl_easy_cleanup(curl);
  return Classify(code, status, transfer);
}

// Runs Fetch on a worker thread and waits for it.
Outcome FetchOnWorker(const std::string& url, long timeoutSeconds, Transfer& transfer) {
  Outcome outcome{DownloadCause::kNetwork, 0, "no worker thread could be started"};
  try {
    std::thread worker([&] { outcome = Fetch(url, timeoutSeconds, transfer); });
    worker.join();
  } catch (const std::system_error&) {
    return {DownloadCause::kNetwork, 0, "no worker thread could be started"};
  }
  return outcome;
}

std::string CauseText(const Outcome& o, const std::string& refusedAs, std::uint64_t maxBytes) {
  switch (o.cause) {
    case DownloadCause::kOk:
      return {};
    case DownloadCause::kNotAsked:
      return "not asked for";
    case DownloadCause::kCancelled:
      return "stopped";
    case DownloadCause::kUnresolved:
      return "could not resolve the host";
    case DownloadCause::kRefused:
      return "could not connect (refused or unreachable)";
    case DownloadCause::kTimedOut:
      return "timed out";
    case DownloadCause::kHttpStatus:
      return o.status != 0 ? "HTTP status " + std::to_string(o.status) : "no HTTP status";
    case DownloadCause::kTooLarge:
      return "too large (more than " + std::to_string(maxBytes) + " bytes)";
    case DownloadCause::kBodyRefused:
      return refusedAs;
    case DownloadCause::kLocalFile:
      return o.why.empty() ? "the file could not be written in the folder" : o.why;
    case DownloadCause::kNetwork:
      return o.why.empty() ? "network error" : o.why;
  }
  return {};
}

// Writes the body into a fresh temporary file in `folder`; returns its path, or "" when the
// download failed (the temporary file is then gone again).
std::string DownloadToTemp(const DownloadJob& job, const std::string& folder, const std::string& url,
                           long timeoutSeconds, Outcome& outcome) {
  std::string tempPath = folder + kTemporaryPrefix + std::string(kTemporaryUniqueLength, 'X');
  const int fd = ::mkstemp(tempPath.data());
  if (fd < 0) {
    outcome = {DownloadCause::kLocalFile, 0,
               "cannot create a file in " + folder + " (" + std::strerror(errno) + ")"};
    return {};
  }
  // Firmware files and the catalogue are shared by every user of the machine.
  ::fchmod(fd, 0644);
  std::FILE* out = ::fdopen(fd, "wb");
  if (out == nullptr) {
    ::close(fd);
    ::unlink(tempPath.c_str());
    outcome = {DownloadCause::kLocalFile, 0, {}};
    return {};
  }
  Transfer transfer;
  transfer.out = out;
  transfer.stop = job.stop;
  transfer.maxBytes = job.maxBytes;
  outcome = FetchOnWorker(url, timeoutSeconds, transfer);
  bool stored = std::fflush(out) == 0;
  stored = ::fsync(fd) == 0 && stored;
  stored = std::fclose(out) == 0 && stored;
  if (outcome.cause == DownloadCause::kOk && !stored) outcome = {DownloadCause::kLocalFile, 0, {}};
  if (outcome.cause != DownloadCause::kOk) {
    ::unlink(tempPath.c_str());
    return {};
  }
  return tempPath;
}

}  // namespace

DownloadResult DownloadFile(const DownloadJob& job, const std::string& name) {
  DownloadResult result;
  const std::string folder = job.folder.empty() || job.folder.back() == '/' ? job.folder : job.folder + "/";
  result.url = job.baseUrl + "/" + EscapeForUrl(name);
  auto fail = [&result, &job](const Outcome& o) {
    result.cause = o.cause;
    result.httpStatus = o.status;
    result.text = result.url + ": " + CauseText(o, job.refusedAs, job.maxBytes);
    return result;
  };
  // A name of the loader's own temporary files is never a target: it could meet another
  // download's file.
  if (job.baseUrl.empty() || folder.empty() || !IsSafeFileName(name) || name.rfind(kTemporaryPrefix, 0) == 0)
    return fail({DownloadCause::kNotAsked, 0, {}});
  if (job.stop.stop_requested()) return fail({DownloadCause::kCancelled, 0, {}});
  if (!CurlReady()) return fail({DownloadCause::kNetwork, 0, "the transfer library could not start"});

  std::string problem;
  const long timeout = job.timeoutSeconds > 0 ? job.timeoutSeconds : DownloadTimeout(problem);
  Outcome outcome;
  const std::string tempPath = DownloadToTemp(job, folder, result.url, timeout, outcome);
  if (tempPath.empty()) return fail(outcome);

  if (job.accept && !job.accept(tempPath)) {
    ::unlink(tempPath.c_str());
    return fail({DownloadCause::kBodyRefused, outcome.status, {}});
  }
  if (const std::error_code error = platform::PutInPlace(tempPath, folder + name)) {
    const std::string why = "cannot put " + folder + name + " in place (" + error.message() + ")";
    ::unlink(tempPath.c_str());
    return fail({DownloadCause::kLocalFile, outcome.status, why});
  }
  result.httpStatus = outcome.status;
  return result;
}

long DownloadTimeout(std::string& problem) {
  problem.clear();
  const char* env = std::getenv("VORLOADER_DOWNLOAD_TIMEOUT");
  if (env == nullptr) return kDefaultDownloadTimeoutSeconds;
  const std::string text = env;
  long seconds = 0;
  // Six digits at most: more can only be out of range, and are never summed up.
  bool good = !text.empty() && text.size() <= 6;
  for (std::size_t i = 0; good && i < text.size(); ++i) {
    const char c = text[i];
    good = c >= '0' && c <= '9';
    if (good) seconds = seconds * 10 + (c - '0');
  }
  if (good && seconds >= 1 && seconds <= kMaxDownloadTimeoutSeconds) return seconds;
  problem = "VORLOADER_DOWNLOAD_TIMEOUT=\"" + text + "\" is not a number of seconds from 1 to " +
            std::to_string(kMaxDownloadTimeoutSeconds) + "; downloads may take " +
            std::to_string(kDefaultDownloadTimeoutSeconds) + " s";
  return kDefaultDownloadTimeoutSeconds;
}

bool IsTemporaryFileName(const std::string& name) {
  const std::string prefix = kTemporaryPrefix;
  if (name.size() != prefix.size() + kTemporaryUniqueLength || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (std::size_t i = prefix.size(); i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

}  // namespace catalogue
