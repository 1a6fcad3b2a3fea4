// The platform's GET against the local web server: what reaches the sink, and how each failure
// is named.

#include "platform/http_get.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/http/http_test_server.h"

namespace {

using platform::HttpFailure;
using testing_support::HttpFault;
using testing_support::HttpTestServer;
using testing_support::TempDir;
using testing_support::WriteFile;

class HttpGetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(m_dir.MakeFolder("srv") + "file.bin", m_body);
    ASSERT_TRUE(m_server.Start());
  }

  // GETs `path` with the sink collecting into m_got.
  platform::HttpGetResult Get(const std::string& path, std::uint64_t maxBytes = 1024 * 1024) {
    platform::HttpGetRequest request;
    request.url = m_server.url() + path;
    request.maxBytes = maxBytes;
    request.timeoutSeconds = 30;
    request.sink = [this](std::span<const std::uint8_t> bytes) {
      m_got.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      ++m_pieces;
      return m_sinkTakes;
    };
    return platform::HttpGet(request);
  }

  std::string m_body = std::string(40 * 1024, 'b') + "end";
  TempDir m_dir;
  HttpTestServer m_server{m_dir.Path("srv")};
  std::string m_got;
  int m_pieces = 0;
  bool m_sinkTakes = true;
};

TEST_F(HttpGetTest, AWholeBodyWithStatus200GoesToTheSink) {
  const platform::HttpGetResult r = Get("/file.bin");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(m_got, m_body);
}

TEST_F(HttpGetTest, ARedirectIsFollowedAndOnlyTheFinalBodyArrives) {
  m_server.SetFault("/moved", HttpFault::kRedirect, m_server.url() + "/file.bin");
  const platform::HttpGetResult r = Get("/moved");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(m_got, m_body);
}

// Every answer but 200 is a failure, and its body (if any) never reaches the sink.
TEST_F(HttpGetTest, NoOtherStatusDeliversABody) {
  const struct {
    HttpFault fault;
    long status;
  } cases[] = {
      {HttpFault::kNotFound, 404},
      {HttpFault::kServerError, 500},
      {HttpFault::kNoContent, 204},
      {HttpFault::kPartial, 206},
  };
  for (const auto& c : cases) {
    m_server.ClearFaults();
    m_server.SetFault("/file.bin", c.fault);
    m_got.clear();
    m_pieces = 0;
    const platform::HttpGetResult r = Get("/file.bin");
    EXPECT_EQ(r.failure, HttpFailure::kHttpStatus) << c.status;
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(m_pieces, 0) << c.status;
  }
}

TEST_F(HttpGetTest, ABodyPastTheLimitIsTooLargeAndTheSinkGetsNoMore) {
  constexpr std::uint64_t kLimit = 1000;
  EXPECT_EQ(Get("/file.bin", kLimit).failure, HttpFailure::kTooLarge);  // announced up front
  EXPECT_EQ(m_pieces, 0);
  m_server.SetFault("/file.bin", HttpFault::kEndless);
  EXPECT_EQ(Get("/file.bin", kLimit).failure, HttpFailure::kTooLarge);  // known by what arrives
  EXPECT_LE(m_got.size(), kLimit);
}

TEST_F(HttpGetTest, ASinkThatFailsEndsTheTransfer) {
  m_sinkTakes = false;
  EXPECT_EQ(Get("/file.bin").failure, HttpFailure::kSinkFailed);
  EXPECT_EQ(m_pieces, 1);
}

TEST_F(HttpGetTest, ABodyCutShortIsANetworkFailureWithItsReason) {
  m_server.SetFault("/file.bin", HttpFault::kCutShort);
  const platform::HttpGetResult r = Get("/file.bin");
  EXPECT_EQ(r.failure, HttpFailure::kNetwork);
  EXPECT_FALSE(r.why.empty());
}

TEST_F(HttpGetTest, AStopRequestedBeforehandAsksNothing) {
  platform::HttpGetRequest request;
  request.url = m_server.url() + "/file.bin";
  request.maxBytes = 1024 * 1024;
  std::stop_source stop;
  stop.request_stop();
  request.stop = stop.get_token();
  EXPECT_EQ(platform::HttpGet(request).failure, HttpFailure::kCancelled);
  EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(HttpGetTest, ASchemeOtherThanTheWebIsRefused) {
  platform::HttpGetRequest request;
  request.url = "file:///etc/hostname";
  request.maxBytes = 1024 * 1024;
  request.sink = [this](std::span<const std::uint8_t>) { return ++m_pieces > 0; };
  EXPECT_EQ(platform::HttpGet(request).failure, HttpFailure::kNetwork);
  EXPECT_EQ(m_pieces, 0);
}

}  // namespace
