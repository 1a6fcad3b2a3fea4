#pragma once
// Fetches one file from the web into a local folder on a short-lived worker thread.

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

namespace catalogue {

// The most a catalogue download may bring (only its first 8,192 bytes are ever read).
inline constexpr std::uint64_t kMaxCatalogueDownload = std::uint64_t{1024} * 1024;
// The most a firmware download may bring: the size of the largest firmware file.
inline constexpr std::uint64_t kMaxFirmwareDownload = std::uint64_t{32} * 1024 * 1024;
// How long one download may take from start to end unless $VORLOADER_DOWNLOAD_TIMEOUT says
// otherwise.
inline constexpr long kDefaultDownloadTimeoutSeconds = 120;
inline constexpr long kMaxDownloadTimeoutSeconds = 24L * 60 * 60;

struct DownloadJob {
  std::string baseUrl;  // without a trailing "/"
  std::string folder;   // ends with a separator
  // Polled while the download runs, from the download's worker thread; a requested stop
  // aborts it (the existing file stays as it was).
  std::stop_token stop;
  // Optional check of the whole body, given the path of the downloaded file, before it
  // replaces the old file; false refuses it.
  std::function<bool(const std::string& tempPath)> accept;
  // Said of a body that `accept` refused, e.g. "not a catalogue".
  std::string refusedAs = "refused";
  // A longer body is cut off and refused.
  std::uint64_t maxBytes = kMaxFirmwareDownload;
  // The whole download's time limit; 0: the setting (see DownloadTimeout).
  long timeoutSeconds = 0;
};

enum class DownloadCause {
  kOk,
  kNotAsked,     // nothing was asked: no URL, no folder, a name that may not be used
  kCancelled,    // stopped on request
  kUnresolved,   // the host name could not be resolved
  kRefused,      // no connection could be made
  kTimedOut,     // the time limit, or the dead-server limit, was reached
  kHttpStatus,   // the server answered with a status other than 200
  kTooLarge,     // the body was longer than the job allows
  kBodyRefused,  // `accept` refused the body
  kLocalFile,    // the file could not be written or put in place in the folder
  kNetwork,      // any other failure of the transfer
};

struct DownloadResult {
  DownloadCause cause = DownloadCause::kOk;
  long httpStatus = 0;  // the final status when one was received
  std::string url;      // what was asked for
  std::string text;     // when failed: "URL: cause" in one line

  bool ok() const { return cause == DownloadCause::kOk; }
  explicit operator bool() const { return ok(); }
};

// base URL + "/" + name into folder + name. The file is replaced only when a whole body
// arrived with HTTP status 200, within the size and time limits, and `accept` agreed;
// otherwise the old file stays byte for byte and no temporary file is left.
DownloadResult DownloadFile(const DownloadJob& job, const std::string& name);

// The download time limit: $VORLOADER_DOWNLOAD_TIMEOUT seconds (1 to 86,400) when set, else
// 120. `problem` is set (and the default used) when the variable holds anything else.
long DownloadTimeout(std::string& problem);

// True for a name of the loader's own temporary files.
bool IsTemporaryFileName(const std::string& name);

}  // namespace catalogue
