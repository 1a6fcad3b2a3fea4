#include "image/firmware_decoder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/image/image_fixtures.h"
#include "tests/support/fixtures/firmware_text.h"
#include "tests/support/fixtures/temp_dir.h"

namespace {

using image::MemImage;
using image_test::AsString;

struct Decoded {
  int result;
  std::string bytes;
  std::size_t position;
};

Decoded DecodeFile(const std::string& path) {
  MemImage img;
  const int result = image::DecodeFirmwareFile(path, img);
  return {result, AsString(img.Bytes()), img.GetPosition()};
}

class FirmwareDecoder : public ::testing::Test {
 protected:
  Decoded DecodeText(const std::string& bytes) {
    const std::string path = m_dir.Path("firmware.hex");
    testing_support::WriteFile(path, bytes);
    return DecodeFile(path);
  }
  testing_support::TempDir m_dir;
};

// Files encrypted by an independent implementation, of lengths around the 1024-byte chunks.
TEST_F(FirmwareDecoder, DecryptsWhatOpenSslEncrypted) {
  std::vector<std::size_t> lengths{16, 1008, 1024, 1040, 2048, 3072 + 48};
  std::mt19937 rng(2024);
  for (int i = 0; i < 4; ++i) lengths.push_back(16 * (1 + rng() % 600));

  for (std::size_t length : lengths) {
    const std::string plain = image_test::RandomBytes(length, static_cast<std::uint32_t>(length));
    const Decoded got = DecodeText(image_test::OpenSslEncryptAsFirmware(plain));
    EXPECT_EQ(got.result, image::DECODE_ENCRYPTED) << length << " bytes";
    EXPECT_EQ(got.bytes, plain) << length << " bytes";
    EXPECT_EQ(got.position, 0u) << length << " bytes";
  }
}

TEST_F(FirmwareDecoder, DecodingTwiceGivesTheSameImage) {
  const std::string plain = image_test::RandomBytes(1040, 5);
  const std::string path = m_dir.Path("twice.hex");
  testing_support::WriteFile(path, image_test::OpenSslEncryptAsFirmware(plain));
  EXPECT_EQ(DecodeFile(path).bytes, plain);
  EXPECT_EQ(DecodeFile(path).bytes, plain);
}

// The first record's count decides where the plain test looks for the second record's mark.
std::string FirstRecordWith(const std::string& countText, std::size_t dataBytes, const std::string& lineEnd) {
  std::string text = ":" + countText + "000000" + std::string(2 * dataBytes, 'A') + "FF" + lineEnd;
  text += ":00000001FF" + lineEnd;
  return text;
}

TEST_F(FirmwareDecoder, TellsPlainFromEncryptedByTheFirstRecord) {
  const std::string crlf = "\r\n";
  struct Case {
    const char* name;
    std::string text;
    int want;
  };
  const Case cases[] = {
      {"count 02 with CR LF", testing_support::HexText("ab", 2), image::DECODE_PLAIN},
      {"count 1A tested at 65", FirstRecordWith("1A", 26, crlf), image::DECODE_PLAIN},
      {"count 1a in lower case", FirstRecordWith("1a", 26, crlf), image::DECODE_PLAIN},
      {"count 1A with the mark one place early", FirstRecordWith("1A", 25, crlf + " "),
       image::DECODE_ENCRYPTED},
      {"33 data bytes, the last that fits the probe", FirstRecordWith("21", 33, crlf), image::DECODE_PLAIN},
      {"34 data bytes", FirstRecordWith("22", 34, crlf), image::DECODE_ENCRYPTED},
      {"LF line ends", FirstRecordWith("02", 2, "\n"), image::DECODE_ENCRYPTED},
      {"count that is not hexadecimal", FirstRecordWith("0G", 2, crlf), image::DECODE_ENCRYPTED},
      {"a byte before the first mark", " " + FirstRecordWith("02", 2, crlf), image::DECODE_ENCRYPTED},
      {"empty file", "", image::DECODE_ENCRYPTED},
  };
  for (const Case& c : cases) {
    // Texts taken for encrypted are made whole blocks long, so that they can be decrypted.
    const std::string text =
        c.want == image::DECODE_PLAIN ? c.text : testing_support::PadToCipherBlocks(c.text);
    const Decoded got = DecodeText(text);
    EXPECT_EQ(got.result, c.want) << c.name;
    EXPECT_EQ(got.bytes, c.want == image::DECODE_PLAIN ? text : image_test::OpenSslDecryptAsFirmware(text))
        << c.name;
    EXPECT_EQ(got.position, 0u) << c.name;
  }
}

TEST_F(FirmwareDecoder, CopiesAPlainFileOfManyChunksByteForByte) {
  const std::string text = testing_support::HexText(image_test::RandomBytes(3000, 9));
  ASSERT_GT(text.size(), 2048u);
  const Decoded got = DecodeText(text);
  EXPECT_EQ(got.result, image::DECODE_PLAIN);
  EXPECT_EQ(got.bytes, text);
}

TEST_F(FirmwareDecoder, RefusesFilesItCannotReadWhole) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"encrypted, 5 bytes past the last whole block",
       image_test::OpenSslEncryptAsFirmware(std::string(1040, 'x')) + "12345"},
      {"encrypted, shorter than a block", "0123456789"},
      {"encrypted, a partial block after whole chunks",
       image_test::OpenSslEncryptAsFirmware(std::string(2048, 'y')) + "z"},
  };
  for (const Case& c : cases) {
    const Decoded got = DecodeText(c.bytes);
    EXPECT_EQ(got.result, image::DECODE_READ_FAILED) << c.name;
    EXPECT_TRUE(got.bytes.empty()) << c.name;
  }
}

TEST_F(FirmwareDecoder, ReportsFilesThatDoNotOpenOrDoNotRead) {
  const Decoded missing = DecodeFile(m_dir.Path("missing.hex"));
  EXPECT_EQ(missing.result, image::DECODE_OPEN_FAILED);
  EXPECT_TRUE(missing.bytes.empty());

  // A folder opens for reading but every read of it fails.
  const Decoded folder = DecodeFile(m_dir.Path(""));
  EXPECT_EQ(folder.result, image::DECODE_READ_FAILED);
  EXPECT_TRUE(folder.bytes.empty());
}

}  // namespace

namespace {

// A file larger than any firmware file is refused unread, so a huge file never fills the
// memory. The file is sparse: it takes no room on the disk.
TEST_F(FirmwareDecoder, RefusesAFileLargerThanAnyFirmwareFile) {
  struct Case {
    const char* name;
    std::size_t size;
    int want;
  };
  const Case cases[] = {
      {"one byte over the limit", image::kMaxFirmwareFileSize + 1, image::DECODE_READ_FAILED},
      {"33 MiB", 33u * 1024u * 1024u, image::DECODE_READ_FAILED},
      {"exactly the limit", image::kMaxFirmwareFileSize, image::DECODE_ENCRYPTED},
  };
  for (const Case& c : cases) {
    const std::string path = m_dir.Path("huge.bin");
    testing_support::WriteFile(path, "");
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(c.size)), 0) << c.name;
    const Decoded got = DecodeFile(path);
    EXPECT_EQ(got.result, c.want) << c.name;
    EXPECT_EQ(got.bytes.size(), c.want < 0 ? 0u : c.size) << c.name;
  }
}

TEST_F(FirmwareDecoder, AStreamLongerThanAnyFirmwareFileIsRefused) {
  std::istringstream in(std::string(image::kMaxFirmwareFileSize + 16, '\0'));
  MemImage img;
  EXPECT_EQ(image::DecodeFirmwareStream(in, img), image::DECODE_READ_FAILED);
  EXPECT_EQ(img.GetLength(), 0u);
}

// Decoding bytes already in memory gives what decoding the file gives, for every form.
TEST_F(FirmwareDecoder, BytesInMemoryDecodeAsTheFileDoes) {
  const std::string texts[] = {
      testing_support::HexText(image_test::RandomBytes(3000, 3)),
      image_test::OpenSslEncryptAsFirmware(image_test::RandomBytes(2048 + 32, 4)),
      image_test::OpenSslEncryptAsFirmware(std::string(1040, 'x')) + "12345",
      "",
  };
  for (const std::string& text : texts) {
    const Decoded fromFile = DecodeText(text);
    MemImage img;
    const int result =
        image::DecodeFirmwareBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), img);
    EXPECT_EQ(result, fromFile.result) << text.size();
    EXPECT_EQ(AsString(img.Bytes()), fromFile.bytes) << text.size();
    EXPECT_EQ(img.GetPosition(), 0u);
  }
  const std::string tooLong(image::kMaxFirmwareFileSize + 1, '\0');
  MemImage img;
  EXPECT_EQ(
      image::DecodeFirmwareBytes(reinterpret_cast<const std::uint8_t*>(tooLong.data()), tooLong.size(), img),
      image::DECODE_READ_FAILED);
}

}  // namespace
