// Downloads against the local web server: what arrives, and what a failure leaves behind.

#include "catalogue/download.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/catalogue/fixtures/firmware_fixture.h"
#include "tests/support/http/http_test_server.h"

namespace {

using catalogue_fixtures::ListFolder;
using catalogue_fixtures::ReadFile;
using catalogue_fixtures::TempDir;
using catalogue_fixtures::WriteFile;
using testing_support::HttpFault;
using testing_support::HttpTestServer;

const std::string kOld = "the good file already here";

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
  HttpTestServer m_server{m_dir.path() + "srv"};
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
  };
  for (const auto& c : cases) {
    for (bool hadFile : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (hadFile ? ", old file present" : ", no old file"));
      // Cancels once the server holds this request: the test never waits for the dead-server limit.
      const int stalls = m_server.stallsReached();
      m_job.cancelled = [this, stalls] { return m_server.stallsReached() > stalls; };
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
  cancelled.cancelled = [] { return true; };
  EXPECT_FALSE(catalogue::DownloadFile(cancelled, "fw.hex"));
  for (const char* name : {"../fw.hex", "/etc/passwd", "", ".."})
    EXPECT_FALSE(catalogue::DownloadFile(m_job, name));

  EXPECT_TRUE(m_server.requests().empty());
  EXPECT_EQ(ReadFile(m_local + "fw.hex"), kOld);
  EXPECT_EQ(ListFolder(m_dir.path()), (std::vector<std::string>{"local", "srv"}));
}

TEST_F(DownloadTest, FailsWhenNoServerAnswers) {
  const std::string url = m_server.url();
  m_server.Stop();  // nothing listens on the port any more
  catalogue::DownloadJob job = m_job;
  job.baseUrl = url;
  EXPECT_FALSE(catalogue::DownloadFile(job, "fw.hex"));
  EXPECT_TRUE(ListFolder(m_local).empty());
}

}  // namespace
