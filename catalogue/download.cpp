// One blocking HTTP GET per download, run on its own short-lived worker thread. The body goes
// to a temporary file beside the target, which replaces the target only once the whole body
// arrived, so a failed download never destroys a good file.

#include "catalogue/download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <system_error>
#include <thread>

#include "catalogue/catalogue.h"

namespace catalogue {

namespace {

constexpr long kConnectTimeoutSeconds = 10;
// A server that sends less than one byte a second for this long is taken for dead.
constexpr long kLowSpeedBytesPerSecond = 1;
constexpr long kLowSpeedSeconds = 30;
constexpr long kMaxRedirects = 10;

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
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (IsUnreserved(b)) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    }
  }
  return out;
}

struct Transfer {
  std::FILE* out = nullptr;
  const std::function<bool()>* cancelled = nullptr;
  bool writeFailed = false;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  if (std::fwrite(data, 1, n, t->out) != n) {
    t->writeFailed = true;
    return 0;  // makes the transfer fail
  }
  return n;
}

int PollCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* t = static_cast<const Transfer*>(user);
  return (*t->cancelled && (*t->cancelled)()) ? 1 : 0;
}

// The worker's whole job: GET `url` into `out`. True only for a complete 2xx body.
bool Fetch(const std::string& url, Transfer& transfer) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return false;
  bool ok = curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
            // Only the web: a redirect to file:, ftp: or anything else is refused.
            curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds) == CURLE_OK &&
            // No signals: the worker is one thread among others.
            curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, PollCancel) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer) == CURLE_OK;
  if (ok) ok = curl_easy_perform(curl) == CURLE_OK && !transfer.writeFailed;
  long status = 0;
  if (ok) ok = curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK;
  curl_easy_cleanup(curl);
  // A redirect that was not followed, or any other non-2xx answer, brought no file.
  return ok && status >= 200 && status < 300;
}

// Runs Fetch on a worker thread and waits for it.
bool FetchOnWorker(const std::string& url, Transfer& transfer) {
  bool ok = false;
  try {
    std::thread worker([&] { ok = Fetch(url, transfer); });
    worker.join();
  } catch (const std::system_error&) {
    return false;  // the worker could not be started
  }
  return ok;
}

// Writes the body into a fresh temporary file in `folder`; returns its path, or "" when the
// download failed (the temporary file is then gone again).
std::string DownloadToTemp(const DownloadJob& job, const std::string& folder, const std::string& url) {
  std::string tempPath = folder + ".vordl-XXXXXX";
  const int fd = ::mkstemp(tempPath.data());
  if (fd < 0) return {};
  // Firmware files and the catalogue are shared by every user of the machine.
  ::fchmod(fd, 0644);
  std::FILE* out = ::fdopen(fd, "wb");
  if (out == nullptr) {
    ::close(fd);
    ::unlink(tempPath.c_str());
    return {};
  }
  Transfer transfer;
  transfer.out = out;
  transfer.cancelled = &job.cancelled;
  bool ok = FetchOnWorker(url, transfer);
  ok = std::fflush(out) == 0 && ok;
  ok = ::fsync(fd) == 0 && ok;
  ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    ::unlink(tempPath.c_str());
    return {};
  }
  return tempPath;
}

}  // namespace

bool DownloadFile(const DownloadJob& job, const std::string& name) {
  if (job.baseUrl.empty() || job.folder.empty() || !IsSafeFileName(name)) return false;
  if (job.cancelled && job.cancelled()) return false;
  if (!CurlReady()) return false;

  const std::string folder = job.folder.back() == '/' ? job.folder : job.folder + "/";
  const std::string url = job.baseUrl + "/" + EscapeForUrl(name);
  const std::string tempPath = DownloadToTemp(job, folder, url);
  if (tempPath.empty()) return false;

  if ((job.accept && !job.accept(tempPath)) || std::rename(tempPath.c_str(), (folder + name).c_str()) != 0) {
    ::unlink(tempPath.c_str());
    return false;
  }
  return true;
}

}  // namespace catalogue
