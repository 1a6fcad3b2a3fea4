#include "image/hex_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string>

#include "tests/image/image_fixtures.h"
#include "tests/support/fixtures/firmware_text.h"
#include "tests/support/fixtures/temp_dir.h"

namespace {

using testing_support::HexFile;
using testing_support::HexRecord;
using testing_support::HexText;

const std::string kTag = "VOR_T00a1_V";
const std::string kFound = "VOR_T00a1_V1.70";

std::string Filler(std::size_t n) {
  return std::string(n, '.');
}

// How the text reaches the disk.
enum class Form { Plain, Encrypted, OtherKey, PaddedOnly, Damaged, Missing };

std::string ToLower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string WithLfLineEnds(const std::string& text) {
  std::string out;
  for (char ch : text) {
    if (ch != '\r') out += ch;
  }
  return out;
}

std::string WithFirstDataDigit(std::string record, char digit) {
  record[9] = digit;
  return record;
}

std::string CutShort(std::string record, std::size_t dataBytesKept) {
  return record.substr(0, 9 + 2 * dataBytesKept);
}

struct ScanCase {
  const char* name;
  std::string text;
  Form form;
  std::string want;
  std::uint32_t wantState;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ScanCase& c, std::ostream* os) {
  *os << c.name;
}

class HexScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(HexScan, FindsTheVersionTag) {
  const ScanCase& c = GetParam();
  testing_support::TempDir dir;
  const std::string path = dir.Path("firmware.hex");
  std::uint8_t otherKey[24] = {1, 2, 3};
  std::uint8_t otherIv[16] = {4, 5, 6};
  switch (c.form) {
    case Form::Plain:
      testing_support::WriteFile(path, c.text);
      break;
    case Form::Encrypted:
      testing_support::WriteFile(
          path, image_test::OpenSslEncryptAsFirmware(testing_support::PadToCipherBlocks(c.text)));
      break;
    case Form::OtherKey:
      testing_support::WriteFile(
          path, image_test::OpenSslEncrypt192(testing_support::PadToCipherBlocks(c.text), otherKey, otherIv));
      break;
    case Form::PaddedOnly:
      testing_support::WriteFile(path, testing_support::PadToCipherBlocks(c.text));
      break;
    case Form::Damaged:
      testing_support::WriteFile(
          path, image_test::OpenSslEncryptAsFirmware(testing_support::PadToCipherBlocks(c.text)) + "x");
      break;
    case Form::Missing:
      break;
  }
  // The row state the form gives: 3 plain, 4 encrypted, 2 (as it was) when not decoded.
  const image::ScanResult result = image::ScanHexImage(kTag, path);
  EXPECT_EQ(result.Text(), c.want);
  EXPECT_EQ(result.tag.has_value(), result.error == image::ScanError::kNone);
  const std::uint32_t state = !result.form ? 2u : *result.form == image::DECODE_ENCRYPTED ? 4u : 3u;
  EXPECT_EQ(state, c.wantState);
}

const std::string kShortTail = Filler(20) + kFound + Filler(2);  // 17 characters start at the tag

INSTANTIATE_TEST_SUITE_P(
    Cases, HexScan,
    ::testing::Values(
        ScanCase{"tag with 16 bytes after it", HexText(kShortTail), Form::Plain, kFound, 3},
        ScanCase{"tag with only 15 bytes after it at the end of the image",
                 HexText(Filler(20) + kFound + Filler(1)), Form::Plain, image::kScanSearchFail, 3},
        ScanCase{"tag too near the window's end, found after the next record",
                 HexFile({Filler(16), Filler(16), Filler(4) + kTag + "1", ".70" + Filler(13)}), Form::Plain,
                 kFound, 3},
        ScanCase{"zero byte before the tag hides it",
                 HexText(Filler(5) + '\0' + Filler(20) + kFound + Filler(20)), Form::Plain,
                 image::kScanSearchFail, 3},
        ScanCase{"zero byte leaves the window, the tag stays",
                 HexText('\0' + Filler(49) + kFound + Filler(60)), Form::Plain, kFound, 3},
        ScanCase{"zero byte and tag leave the window together",
                 HexText(Filler(10) + '\0' + kFound + Filler(200)), Form::Plain, image::kScanSearchFail, 3},
        ScanCase{"tag split over two records",
                 HexFile({Filler(16), Filler(14), Filler(2) + "VOR_T0", "0a1_V1.70" + Filler(20)}),
                 Form::Plain, kFound, 3},
        ScanCase{"extended and start address records enter the window",
                 HexRecord(0x04, 0, "VO") + HexRecord(0x05, 0, "R_T0") +
                     HexRecord(0x00, 0, "0a1_V1.70" + Filler(30)) + HexRecord(0x01, 0, ""),
                 Form::Plain, kFound, 3},
        ScanCase{"32 data bytes are never searched", HexText(kFound + Filler(17)), Form::Plain,
                 image::kScanSearchFail, 3},
        ScanCase{"33 data bytes are", HexText(kFound + Filler(18)), Form::Plain, kFound, 3},
        ScanCase{"a 255-byte record", HexFile({Filler(2), Filler(168) + kFound + Filler(72)}), Form::Plain,
                 kFound, 3},
        ScanCase{"records after the end-of-file record",
                 HexRecord(0x00, 0, Filler(16)) + HexRecord(0x01, 0, "") + HexRecord(0x00, 16, Filler(16)) +
                     HexRecord(0x00, 32, kFound + Filler(2)),
                 Form::Plain, kFound, 3},
        ScanCase{"lower-case hex digits", ToLower(HexText(kShortTail)), Form::Plain, kFound, 3},
        ScanCase{"record cut short by the end of the image adds nothing",
                 HexRecord(0x00, 0, Filler(16)) + HexRecord(0x00, 16, Filler(16)) +
                     HexRecord(0x00, 32, Filler(16)) + CutShort(HexRecord(0x00, 48, kFound + Filler(17)), 31),
                 Form::Plain, image::kScanSearchFail, 3},
        ScanCase{"a record with a character that is not a digit adds nothing",
                 HexRecord(0x00, 0, Filler(16)) + HexRecord(0x00, 16, Filler(16)) +
                     WithFirstDataDigit(HexRecord(0x00, 32, kFound + Filler(17)), 'G') +
                     HexRecord(0x01, 0, ""),
                 Form::Plain, image::kScanSearchFail, 3},
        ScanCase{"a count that is not hexadecimal is passed over",
                 HexRecord(0x00, 0, Filler(16)) + ":G0 not a record\r\n" + HexRecord(0x00, 16, Filler(16)) +
                     HexRecord(0x00, 32, kFound + Filler(17)),
                 Form::Plain, kFound, 3},
        ScanCase{"encrypted with the firmware key", HexText(kShortTail), Form::Encrypted, kFound, 4},
        ScanCase{"encrypted with another key", HexText(kShortTail), Form::OtherKey, image::kScanNotIntel, 4},
        ScanCase{"plain text with LF line ends", WithLfLineEnds(HexText(kShortTail)), Form::PaddedOnly,
                 image::kScanNotIntel, 4},
        ScanCase{"damaged encrypted file counts as missing", HexText(kShortTail), Form::Damaged,
                 image::kScanFileOpen, 2},
        ScanCase{"missing file keeps the state", "", Form::Missing, image::kScanFileOpen, 2}),
    [](const ::testing::TestParamInfo<ScanCase>& param) {
      std::string name = param.param.name;
      for (char& ch : name) {
        if (std::isalnum(static_cast<unsigned char>(ch)) == 0) ch = '_';
      }
      return name;
    });

}  // namespace
