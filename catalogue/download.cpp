// One blocking HTTP GET per download, run on its own short-lived worker thread. The body goes
// to a temporary file beside the target, which replaces the target only once the whole body
// arrived, so a failed download never destroys a good file.

#include "catalogue/download.h"

#include <cstdlib>
#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>
#include <thread>

#include "catalogue/safe_file_name.h"
#include "common/hex_text.h"
#include "platform/files.h"
#include "platform/http_get.h"

namespace catalogue {

namespace {

constexpr long kConnectTimeoutSeconds = 10;
// A server that sends less than one byte a second for this long is taken for dead.
constexpr long kDeadServerSeconds = 30;
constexpr int kMaxRedirects = 10;
// mkstemp's six characters.
constexpr std::size_t kTemporaryUniqueLength = 6;

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

// How a transfer ended.
struct Outcome {
  DownloadCause cause = DownloadCause::kOk;
  long status = 0;
  std::string why;  // for kNetwork: the transfer's own words
};

DownloadCause CauseOf(platform::HttpFailure failure) {
  switch (failure) {
    case platform::HttpFailure::kNone:
      return DownloadCause::kOk;
    case platform::HttpFailure::kCancelled:
      return DownloadCause::kCancelled;
    case platform::HttpFailure::kUnresolved:
      return DownloadCause::kUnresolved;
    case platform::HttpFailure::kRefused:
      return DownloadCause::kRefused;
    case platform::HttpFailure::kTimedOut:
      return DownloadCause::kTimedOut;
    case platform::HttpFailure::kHttpStatus:
      return DownloadCause::kHttpStatus;
    case platform::HttpFailure::kTooLarge:
      return DownloadCause::kTooLarge;
    case platform::HttpFailure::kSinkFailed:
      return DownloadCause::kLocalFile;  // the body could not be written to the file
    case platform::HttpFailure::kNetwork:
      return DownloadCause::kNetwork;
  }
  return DownloadCause::kNetwork;
}

// The worker's whole job: GET `url` into `out`.
Outcome Fetch(const DownloadJob& job, const std::string& url, long timeoutSeconds,
              const platform::File& out) {
  platform::HttpGetRequest request;
  request.url = url;
  request.maxBytes = job.maxBytes;
  request.timeoutSeconds = timeoutSeconds;
  request.connectTimeoutSeconds = kConnectTimeoutSeconds;
  request.deadServerSeconds = kDeadServerSeconds;
  request.maxRedirects = kMaxRedirects;
  request.stop = job.stop;
  request.sink = [&out](std::span<const std::uint8_t> bytes) {
    return !platform::WriteAll(out,
                               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  };
  const platform::HttpGetResult got = platform::HttpGet(request);
  return {CauseOf(got.failure), got.status, got.why};
}

// Runs Fetch on a worker thread and waits for it.
Outcome FetchOnWorker(const DownloadJob& job, const std::string& url, long timeoutSeconds,
                      const platform::File& out) {
  Outcome outcome{DownloadCause::kNetwork, 0, "no worker thread could be started"};
  try {
    std::thread worker([&] { outcome = Fetch(job, url, timeoutSeconds, out); });
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
  std::error_code error;
  platform::TemporaryFile temp = platform::MakeTemporaryFile(folder + kTemporaryPrefix, error);
  if (temp.path.empty()) {
    outcome = {DownloadCause::kLocalFile, 0,
               "cannot create a file in " + folder + " (" + error.message() + ")"};
    return {};
  }
  // Firmware files and the catalogue are shared by every user of the machine.
  using std::filesystem::perms;
  platform::SetFileMode(temp.file,
                        perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
  outcome = FetchOnWorker(job, url, timeoutSeconds, temp.file);
  bool stored = !platform::FlushToDisk(temp.file);
  stored = !temp.file.Close() && stored;
  if (outcome.cause == DownloadCause::kOk && !stored) outcome = {DownloadCause::kLocalFile, 0, {}};
  if (outcome.cause != DownloadCause::kOk) {
    platform::RemoveFile(temp.path);
    return {};
  }
  return temp.path;
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

  std::string problem;
  const long timeout = job.timeoutSeconds > 0 ? job.timeoutSeconds : DownloadTimeout(problem);
  Outcome outcome;
  const std::string tempPath = DownloadToTemp(job, folder, result.url, timeout, outcome);
  if (tempPath.empty()) return fail(outcome);

  if (job.accept && !job.accept(tempPath)) {
    platform::RemoveFile(tempPath);
    return fail({DownloadCause::kBodyRefused, outcome.status, {}});
  }
  if (const std::error_code error = platform::PutInPlace(tempPath, folder + name)) {
    const std::string why = "cannot put " + folder + name + " in place (" + error.message() + ")";
    platform::RemoveFile(tempPath);
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
