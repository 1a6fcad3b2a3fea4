// The shared kit of small steps: hexadecimal text, UUID text, reading at an offset and putting a
// file in place atomically.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/file_descriptor.h"
#include "common/file_io.h"
#include "common/hex_text.h"
#include "image/sha256.h"
#include "tests/support/fixtures/temp_dir.h"

namespace {

TEST(HexText, DigitsUuidsAndDigests) {
  const std::array<std::uint8_t, 16> bytes{0x00, 0x01, 0x7f, 0x80, 0xab, 0xcd, 0xef, 0xff,
                                           0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x9a};
  EXPECT_EQ(LowerHex(bytes), "00017f80abcdefff102030405060709a");
  EXPECT_EQ(UuidText(bytes), "00017f80-abcd-efff-1020-30405060709a");
  std::string escaped;
  AppendHexByte(escaped, 0xe9, true);
  EXPECT_EQ(escaped, "E9");
  EXPECT_EQ(image::Sha256Text("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(image::Sha256Text(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(FileIo, ReadsAtOffsetsAndReplacesWhole) {
  const testing_support::TempDir dir{"vor-kit"};
  const std::string path = dir.Path("state");
  ASSERT_EQ(ReplaceFile(path, "first version\n"), 0);
  ASSERT_EQ(ReplaceFile(path, "second\n"), 0);
  EXPECT_EQ(testing_support::ReadFile(path), "second\n");
  // No temporary file is left beside it.
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) ++files;
  EXPECT_EQ(files, 1u);

  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::array<char, 4> got{};
  ASSERT_TRUE(ReadAt(file.get(), 2, got.data(), got.size()));
  EXPECT_EQ(std::string(got.data(), got.size()), "cond");
  EXPECT_FALSE(ReadAt(file.get(), 5, got.data(), got.size()));  // beyond the end
  EXPECT_EQ(ReadSomeAt(file.get(), 5, got.data(), got.size()), 2);
  EXPECT_EQ(ReadSomeAt(file.get(), 7, got.data(), got.size()), 0);

  // A folder that is not there: the error, and nothing made.
  EXPECT_EQ(ReplaceFile(dir.Path("none/state"), "x"), ENOENT);
  EXPECT_EQ(PutInPlace(dir.Path("missing"), path), ENOENT);
  EXPECT_EQ(testing_support::ReadFile(path), "second\n");
}

}  // namespace
