// The terminal shared by several sessions: whole lines, and a board of live lines per port.

#include "cli/output/shared_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/fixtures/temp_dir.h"

namespace cli {
namespace {

using testing_support::ReadStream;

TEST(SharedOutput, LinesOfManyThreadsStayWhole) {
  std::FILE* out = std::tmpfile();
  {
    SharedOutput shared(out, false);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&shared, out, t] {
        const std::string line =
            "COM" + std::to_string(t + 1) + ": " + std::string(3000, static_cast<char>('a' + t));
        for (int i = 0; i < 200; ++i) shared.WriteLine(out, line);
      });
    for (std::thread& t : threads) t.join();
  }
  const std::string text = ReadStream(out);
  std::size_t lines = 0, start = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    const std::string line = text.substr(start, end - start);
    ASSERT_EQ(line.size(), 3006u);
    EXPECT_EQ(line.find_first_not_of(line[6], 6), std::string::npos) << "two lines mixed";
    ++lines;
    start = end + 1;
  }
  EXPECT_EQ(lines, 800u);
  std::fclose(out);
}

TEST(SharedOutput, OnATerminalEachPortHasOneLiveLineBelowTheLines) {
  std::FILE* err = std::tmpfile();
  {
    SharedOutput shared(err, true, [] { return std::size_t{40}; });
    shared.SetLive("COM1", "COM1: [###   ] 30%");
    shared.SetLive("COM2", "COM2: [#     ] 10%");
    shared.WriteLine(err, "COM2: main: Waiting for device to reboot");
    shared.SetLive("COM1", "COM1: [######] 100%");
    shared.EndLive("COM1", false);
    shared.EndLive("COM2", false);
  }
  EXPECT_EQ(ReadStream(err),
            "COM1: [###   ] 30%\n"
            "\x1b[1A\r\x1b[J"
            "COM1: [###   ] 30%\nCOM2: [#     ] 10%\n"
            "\x1b[2A\r\x1b[J"
            "COM2: main: Waiting for device to reboot\n"
            "COM1: [###   ] 30%\nCOM2: [#     ] 10%\n"
            "\x1b[2A\r\x1b[J"
            "COM1: [######] 100%\nCOM2: [#     ] 10%\n"
            "\x1b[2A\r\x1b[J"
            "COM2: [#     ] 10%\n"
            "\x1b[1A\r\x1b[J");
  std::fclose(err);
}

}  // namespace
}  // namespace cli
