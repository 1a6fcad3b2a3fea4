// Downloads through WinHTTP against the local web server of http_fixture.py, named by
// VORLOADER_TEST_HTTP_BASE (run-under-wine.sh starts it); without it only the cases that need
// no server run.

#include "platform/http_get.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Fetched {
  platform::HttpGetResult result;
  std::vector<std::uint8_t> body;
};

Fetched Fetch(const std::string& url, std::uint64_t maxBytes = 1'000'000, long timeoutSeconds = 30,
              const std::stop_token& stop = {}) {
  Fetched f;
  platform::HttpGetRequest request;
  request.url = url;
  request.maxBytes = maxBytes;
  request.timeoutSeconds = timeoutSeconds;
  request.connectTimeoutSeconds = 5;
  request.stop = stop;
  request.sink = [&f](std::span<const std::uint8_t> bytes) {
    f.body.insert(f.body.end(), bytes.begin(), bytes.end());
    return true;
  };
  f.result = platform::HttpGet(request);
  return f;
}

bool IsPattern(const std::vector<std::uint8_t>& body, std::size_t n) {
  if (body.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (body[i] != i % 251) return false;
  return true;
}

TEST(WindowsHttpGet, OnlyWebAddressesAreFetched) {
  for (const char* url : {"ftp://127.0.0.1/file", "file:///C:/windows/win.ini", "not a url", ""}) {
    const Fetched f = Fetch(url);
    EXPECT_EQ(f.result.failure, platform::HttpFailure::kNetwork) << url;
    EXPECT_FALSE(f.result.why.empty()) << url;
  }
}

TEST(WindowsHttpGet, AStopBeforeTheStartFetchesNothing) {
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(Fetch("http://127.0.0.1:9/", 100, 30, stop.get_token()).result.failure,
            platform::HttpFailure::kCancelled);
}

TEST(WindowsHttpGet, NoServerIsRefused) {
  // Port 9 (discard) listens nowhere on a test machine.
  EXPECT_EQ(Fetch("http://127.0.0.1:9/file").result.failure, platform::HttpFailure::kRefused);
}

class WindowsHttpServer : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("VORLOADER_TEST_HTTP_BASE");
    if (base == nullptr || *base == '\0') GTEST_SKIP() << "no local web server (VORLOADER_TEST_HTTP_BASE)";
    m_base = base;
  }
  std::string m_base;
};

TEST_F(WindowsHttpServer, AWholeBodyArrives) {
  const Fetched f = Fetch(m_base + "/file.bin");
  EXPECT_TRUE(f.result.ok()) << f.result.why;
  EXPECT_EQ(f.result.status, 200);
  EXPECT_TRUE(IsPattern(f.body, 100'000));
}

TEST_F(WindowsHttpServer, ABodyWithoutALengthArrives) {
  const Fetched f = Fetch(m_base + "/unsized.bin");
  EXPECT_TRUE(f.result.ok()) << f.result.why;
  EXPECT_TRUE(IsPattern(f.body, 5000));
}

TEST_F(WindowsHttpServer, ARedirectIsFollowed) {
  const Fetched f = Fetch(m_base + "/moved");
  EXPECT_TRUE(f.result.ok()) << f.result.why;
  EXPECT_TRUE(IsPattern(f.body, 100'000));
}

TEST_F(WindowsHttpServer, AnotherStatusFailsWithItAndNothingReachesTheSink) {
  const Fetched f = Fetch(m_base + "/missing");
  EXPECT_EQ(f.result.failure, platform::HttpFailure::kHttpStatus);
  EXPECT_EQ(f.result.status, 404);
  EXPECT_TRUE(f.body.empty());
}

TEST_F(WindowsHttpServer, TooLargeIsRefused) {
  // Announced: refused before any byte reaches the sink.
  Fetched f = Fetch(m_base + "/file.bin", 99'999);
  EXPECT_EQ(f.result.failure, platform::HttpFailure::kTooLarge);
  EXPECT_TRUE(f.body.empty());
  // Not announced: cut off at the limit.
  f = Fetch(m_base + "/unsized.bin", 4999);
  EXPECT_EQ(f.result.failure, platform::HttpFailure::kTooLarge);
  EXPECT_LE(f.body.size(), 4999U);
}

TEST_F(WindowsHttpServer, ASinkThatRefusesEndsTheTransfer) {
  platform::HttpGetRequest request;
  request.url = m_base + "/file.bin";
  request.maxBytes = 1'000'000;
  request.sink = [](std::span<const std::uint8_t>) { return false; };
  EXPECT_EQ(platform::HttpGet(request).failure, platform::HttpFailure::kSinkFailed);
}

TEST_F(WindowsHttpServer, ABodyCutShortFails) {
  const Fetched f = Fetch(m_base + "/short");
  EXPECT_EQ(f.result.failure, platform::HttpFailure::kNetwork);
  EXPECT_FALSE(f.result.why.empty());
}

TEST_F(WindowsHttpServer, TheTimeLimitEndsAStalledTransfer) {
  const auto start = Clock::now();
  const Fetched f = Fetch(m_base + "/stall", 1'000'000, 1);
  EXPECT_EQ(f.result.failure, platform::HttpFailure::kTimedOut);
  EXPECT_LT(Clock::now() - start, 20s);  // far less than the server's minute
}

TEST_F(WindowsHttpServer, AStopEndsAStalledTransfer) {
  std::stop_source stop;
  std::thread stopper([&stop] {
    std::this_thread::sleep_for(300ms);
    stop.request_stop();
  });
  const auto start = Clock::now();
  const Fetched f = Fetch(m_base + "/stall", 1'000'000, 120, stop.get_token());
  stopper.join();
  EXPECT_EQ(f.result.failure, platform::HttpFailure::kCancelled);
  EXPECT_LT(Clock::now() - start, 20s);
}

}  // namespace
