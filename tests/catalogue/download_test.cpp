// Downloads against the local web server: what arrives, and what a failure leaves behind.

#include "catalogue/download.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stop_token>
#include <thread>

#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/http/http_test_server.h"

namespace {

using testing_support::HttpFault;
using testing_support::HttpTestServer;
using testing_support::ListFolder;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kOld = "the good file already here";

// Requests `stop` once the server holds one more stalled request than `stalls`, so that a test
// never waits for the dead-server limit.
class StopWhenStalled {
 public:
  StopWhenStalled(const HttpTestServer& server, int stalls, std::stop_source stop)
      : m_watch([&server, stalls, stop](const std::stop_token& done) mutable {
          while (!done.stop_requested()) {
            if (server.stallsReached() > stalls) {
              stop.request_stop();
              return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          }
        }) {}

 private:
  std::jthread m_watch;
};

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_new = std::string(64 * 1024, 'n') + "end";
    WriteFile(m_served + "fw.hex", m_new);
    ASSERT_TRUE(m_server.Start());
    m_job.baseUrl = m_server.url() + "/files";
    m_job.folder = m_local;
  }

  TempDir m_dir;
  std::string m_served = m_dir.MakeFolder("srv/files");
  std::string m_local = m_dir.MakeFolder("local");
  HttpTestServer m_server{m_dir.Path("srv")};
  catalogue::DownloadJob m_job;
  std::string m_new;
};

TEST_F(DownloadTest, StoresTheFileUnderItsNameReplacingTheOldOne) {
  WriteFile(m_local + "fw.hex", kOld);
  EXPECT_TRUE(catalogue::DownloadFile(m_job, "fw.hex"));
  EXPECT_EQ(ReadFile(m_local + "fw.hex"), m_new);
  EXPECT_EQ(ListFolder(m_local), std::vector<std::string>{"fw.hex"});
  EXPECT_EQ(m_server.requests(), std::vector<std::string>{"/files/fw.hex"});
}

TEST_F(DownloadTest, AsksForTheVeryFileWhoseNameNeedsEscaping) {
  WriteFile(m_served + "VOR AMP #2.hex", "amp");
  EXPECT_TRUE(catalogue::DownloadFile(m_job, "VOR AMP #2.hex"));
  EXPECT_EQ(ReadFile(m_local + "VOR AMP #2.hex"), "amp");
}

TEST_F(DownloadTest, FollowsAnHttpRedirect) {
  m_server.SetFault("/files/fw.hex", HttpFault::kRedirect, m_server.url() + "/files/moved.hex");
  WriteFile(m_served + "moved.hex", "moved");
  EXPECT_TRUE(catalogue::DownloadFile(m_job, "fw.hex"));
  EXPECT_EQ(ReadFile(m_local + "fw.hex"), "moved");
}

struct FaultCase {
  const char* what;
  HttpFault fault;
  std::string location;
};

TEST_F(DownloadTest, AFailedDownloadLeavesTheOldFileAndNoTemporaryFile) {
  const std::vector<FaultCase> cases = {
      {"404", HttpFault::kNotFound, ""},
      {"500", HttpFault::kServerError, ""},
      {"body cut short", HttpFault::kCutShort, ""},
      {"stalled server, cancelled", HttpFault::kStall, ""},
      {"redirect to ftp", HttpFault::kRedirect, "ftp://127.0.0.1/fw.hex"},
      {"redirect to a local file", HttpFault::kRedirect, "file:///etc/passwd"},
      {"204 without a body", HttpFault::kNoContent, ""},
      {"206 with half the file", HttpFault::kPartial, ""},
      {"endless body", HttpFault::kEndless, ""},
  };
  for (const auto& c : cases) {
    for (bool hadFile : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (hadFile ? ", old file present" : ", no old file"));
      // Cancels once the server holds this request: the test never waits for the dead-server limit.
      const int stalls = m_server.stallsReached();
      std::stop_source stop;
      m_job.stop = stop.get_token();
      StopWhenStalled stopper(m_server, stalls, stop);
      std::filesystem::remove(m_local + "fw.hex");
      if (hadFile) WriteFile(m_local + "fw.hex", kOld);
      m_server.SetFault("/files/fw.hex", c.fault, c.location);

      const auto asked = m_server.requests().size();
      EXPECT_FALSE(catalogue::DownloadFile(m_job, "fw.hex"));
      EXPECT_GT(m_server.requests().size(), asked);
      EXPECT_EQ(ListFolder(m_local),
                hadFile ? std::vector<std::string>{"fw.hex"} : std::vector<std::string>{});
      EXPECT_EQ(ReadFile(m_local + "fw.hex"), hadFile ? kOld : "<missing>");
    }
  }
}

TEST_F(DownloadTest, ARefusedBodyDoesNotReplaceTheOldFile) {
  WriteFile(m_local + "fw.hex", kOld);
  std::string seen;
  m_job.accept = [&seen](const std::string& tempPath) {
    seen = ReadFile(tempPath);
    return false;
  };
  EXPECT_FALSE(catalogue::DownloadFile(m_job, "fw.hex"));
  EXPECT_EQ(seen, m_new);  // the whole body was offered for the check
  EXPECT_EQ(ReadFile(m_local + "fw.hex"), kOld);
  EXPECT_EQ(ListFolder(m_local), std::vector<std::string>{"fw.hex"});
}

TEST_F(DownloadTest, FailsWithoutARequestWhenThereIsNothingToAsk) {
  WriteFile(m_local + "fw.hex", kOld);
  catalogue::DownloadJob noUrl = m_job;
  noUrl.baseUrl.clear();
  EXPECT_FALSE(catalogue::DownloadFile(noUrl, "fw.hex"));
  catalogue::DownloadJob noFolder = m_job;
  noFolder.folder.clear();
  EXPECT_FALSE(catalogue::DownloadFile(noFolder, "fw.hex"));
  catalogue::DownloadJob cancelled = m_job;
  std::stop_source stop;
  stop.request_stop();
  cancelled.stop = stop.get_token();
  EXPECT_FALSE(catalogue::DownloadFile(cancelled, "fw.hex"));
  for (const char* name : {"../fw.hex", "/etc/passwd", "", ".."})
    EXPECT_FALSE(catalogue::DownloadFile(m_job, name));

  EXPECT_TRUE(m_server.requests().empty());
  EXPECT_EQ(ReadFile(m_local + "fw.hex"), kOld);
  EXPECT_EQ(ListFolder(m_dir.path), (std::vector<std::string>{"local", "srv"}));
}

TEST_F(DownloadTest, FailsWhenNoServerAnswers) {
  const std::string url = m_server.url();
  m_server.Stop();  // nothing listens on the port any more
  catalogue::DownloadJob job = m_job;
  job.baseUrl = url;
  EXPECT_FALSE(catalogue::DownloadFile(job, "fw.hex"));
  EXPECT_TRUE(ListFolder(m_local).empty());
}

// Sets an environment variable for the life of the object, then removes it.
class ScopedTimeout {
 public:
  explicit ScopedTimeout(const char* value) { setenv(kName, value, 1); }
  ~ScopedTimeout() { unsetenv(kName); }
  ScopedTimeout(const ScopedTimeout&) = delete;
  ScopedTimeout& operator=(const ScopedTimeout&) = delete;

 private:
  static constexpr const char* kName = "VORLOADER_DOWNLOAD_TIMEOUT";
};

// Why a download failed, as the log's detail line tells it: the URL and the cause.
TEST_F(DownloadTest, AFailureSaysWhichUrlAndWhy) {
  using catalogue::DownloadCause;
  struct Case {
    const char* what;
    HttpFault fault;
    DownloadCause cause;
    long status;
    std::string text;
    std::uint64_t maxBytes = catalogue::kMaxFirmwareDownload;
  };
  const std::vector<Case> cases = {
      {"404", HttpFault::kNotFound, DownloadCause::kHttpStatus, 404, "HTTP status 404"},
      {"500", HttpFault::kServerError, DownloadCause::kHttpStatus, 500, "HTTP status 500"},
      {"204", HttpFault::kNoContent, DownloadCause::kHttpStatus, 204, "HTTP status 204"},
      {"206", HttpFault::kPartial, DownloadCause::kHttpStatus, 206, "HTTP status 206"},
      {"endless body", HttpFault::kEndless, DownloadCause::kTooLarge, 200, "too large (more than 1000 bytes)",
       1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    m_job.maxBytes = c.maxBytes;
    m_server.SetFault("/files/fw.hex", c.fault);
    const catalogue::DownloadResult r = catalogue::DownloadFile(m_job, "fw.hex");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.cause, c.cause);
    EXPECT_EQ(r.httpStatus, c.status);
    EXPECT_EQ(r.url, m_server.url() + "/files/fw.hex");
    EXPECT_EQ(r.text, r.url + ": " + c.text);
    EXPECT_TRUE(ListFolder(m_local).empty());
  }

  m_server.ClearFaults();
  m_job.accept = [](const std::string&) { return false; };
  m_job.refusedAs = "not a firmware file";
  m_job.maxBytes = catalogue::kMaxFirmwareDownload;
  const catalogue::DownloadResult refused = catalogue::DownloadFile(m_job, "fw.hex");
  EXPECT_EQ(refused.cause, DownloadCause::kBodyRefused);
  EXPECT_EQ(refused.text, refused.url + ": not a firmware file");

  const catalogue::DownloadResult ok = [this] {
    catalogue::DownloadJob job = m_job;
    job.accept = nullptr;
    return catalogue::DownloadFile(job, "fw.hex");
  }();
  EXPECT_TRUE(ok.ok());
  EXPECT_EQ(ok.httpStatus, 200);
  EXPECT_TRUE(ok.text.empty());
}

TEST_F(DownloadTest, AServerThatDoesNotListenIsTold) {
  const std::string url = m_server.url();
  m_server.Stop();
  catalogue::DownloadJob job = m_job;
  job.baseUrl = url;
  const catalogue::DownloadResult refused = catalogue::DownloadFile(job, "fw.hex");
  EXPECT_EQ(refused.cause, catalogue::DownloadCause::kRefused);
  EXPECT_EQ(refused.text, url + "/fw.hex: could not connect (refused or unreachable)");
}

// A server that keeps sending a few bytes now and then never reaches the dead-server limit;
// the limit on the whole download ends it.
TEST_F(DownloadTest, ATrickleEndsAtTheDownloadTimeLimit) {
  ScopedTimeout timeout("1");
  WriteFile(m_local + "fw.hex", kOld);
  m_server.SetFault("/files/fw.hex", HttpFault::kTrickle);
  const catalogue::DownloadResult r = catalogue::DownloadFile(m_job, "fw.hex");
  EXPECT_EQ(r.cause, catalogue::DownloadCause::kTimedOut);
  EXPECT_EQ(r.text, r.url + ": timed out");
  EXPECT_EQ(ReadFile(m_local + "fw.hex"), kOld);
  EXPECT_EQ(ListFolder(m_local), std::vector<std::string>{"fw.hex"});
}

TEST(DownloadTimeout, TakesWholeSecondsFromTheEnvironmentAndRefusesAnythingElse) {
  struct Case {
    const char* value;  // nullptr: unset
    long seconds;
    bool problem;
  };
  const Case cases[] = {
      {nullptr, 120, false},
      {"1", 1, false},
      {"300", 300, false},
      {"86400", 86400, false},
      {"0", 120, true},
      {"-5", 120, true},
      {"abc", 120, true},
      {"", 120, true},
      {"12s", 120, true},
      {"86401", 120, true},
      {"99999999999999999999", 120, true},
      {" 5", 120, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value != nullptr ? c.value : "unset");
    if (c.value != nullptr)
      setenv("VORLOADER_DOWNLOAD_TIMEOUT", c.value, 1);
    else
      unsetenv("VORLOADER_DOWNLOAD_TIMEOUT");
    std::string problem = "stale";
    EXPECT_EQ(catalogue::DownloadTimeout(problem), c.seconds);
    EXPECT_EQ(!problem.empty(), c.problem) << problem;
    if (c.problem) {
      EXPECT_NE(problem.find("VORLOADER_DOWNLOAD_TIMEOUT"), std::string::npos);
    }
  }
  unsetenv("VORLOADER_DOWNLOAD_TIMEOUT");
}

TEST(TemporaryFileName, IsThePrefixAndSixLettersOrDigits) {
  const std::pair<const char*, bool> cases[] = {
      {".vordl-a1B2c3", true},   {".vordl-XXXXXX", true},  {".vordl-a1B2c", false},
      {".vordl-a1B2c3d", false}, {".vordl-a1B2c.", false}, {".VORDL-a1B2c3", false},
      {"x.vordl-a1B2c3", false}, {"fw.hex", false},        {"", false},
  };
  for (const auto& [name, want] : cases) EXPECT_EQ(catalogue::IsTemporaryFileName(name), want) << name;
}

}  // namespace
