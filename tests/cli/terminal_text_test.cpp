// Text shown on the terminal: control characters of both sets become '?', everything else
// passes byte for byte.

#include "cli/output/terminal_text.h"

#include <gtest/gtest.h>

#include <string>

#include "cli/command/station_result_line.h"

namespace cli {
namespace {

struct TextCase {
  const char* name;
  std::string in;
  std::string out;
};

class Printable : public ::testing::TestWithParam<TextCase> {};

TEST_P(Printable, ShowsControlsAsQuestionMarks) {
  EXPECT_EQ(PrintableText(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Printable,
    ::testing::Values(
        TextCase{"Plain", "VORnet Amp V1.20", "VORnet Amp V1.20"},
        TextCase{"C0AndDelete", std::string("a\x1b[2J\x07\x7f", 7) + std::string(1, '\0') + "b", "a?[2J???b"},
        // A lone C1 byte (CSI 0x9B would start an escape sequence on many terminals).
        TextCase{"C1Bytes",
                 "a\x9b"
                 "2J\x80\x9f",
                 "a?2J??"},
        // The same controls as UTF-8 characters: one '?' for the two bytes.
        TextCase{"C1AsUtf8",
                 "a\xc2\x9b"
                 "2J\xc2\x80\xc2\x9f"
                 "b",
                 "a?2J??b"},
        // Latin-1 letters of a device's label pass as the bytes they are.
        TextCase{"Latin1Letters", "Caf\xe9 \xa0\xff\xc0", "Caf\xe9 \xa0\xff\xc0"},
        // UTF-8 text keeps its continuation bytes 0x80-0x9F ("\xe2\x82\xac" is the euro sign).
        TextCase{"Utf8Text", "\xe2\x82\xac 5 \xc3\xa9t\xc3\xa9 \xf0\x9f\x94\x8c",
                 "\xe2\x82\xac 5 \xc3\xa9t\xc3\xa9 \xf0\x9f\x94\x8c"},
        // U+00A0 and up are text, also when written in UTF-8.
        TextCase{"Utf8Latin1Range", "\xc2\xa0\xc2\xbf", "\xc2\xa0\xc2\xbf"},
        // A lead byte without its continuation is a Latin-1 letter; the C1 byte after it is not.
        TextCase{"BrokenSequence",
                 "\xe2\x82"
                 "x",
                 "\xe2?x"},
        TextCase{"CutAtTheEnd", "ab\xc2", "ab\xc2"},
        // Surrogates and overlong forms are not UTF-8: their bytes are judged one by one.
        TextCase{"Surrogate", "\xed\xa0\x80", "\xed\xa0?"}, TextCase{"Overlong", "\xe0\x80\x80", "\xe0??"}),
    [](const ::testing::TestParamInfo<TextCase>& param) { return std::string(param.param.name); });

TEST(Printable, KeepsLineBreaksWhenAsked) {
  EXPECT_EQ(PrintableText("a\r\nb\rc\nd\x85", true), "a\nb\nc\nd?");
  EXPECT_EQ(PrintableText("a\r\nb", false), "a??b");
}

// A station's result line carries the device's own texts, one byte to one character: they
// reach the terminal as UTF-8 letters, and their control characters as "?".
TEST(StationResultOnTheTerminal, DeviceTextsAreLatin1MadeUtf8ThenCleaned) {
  app::StationOutcome o;
  o.run.port.number = 3;
  o.run.code = RESULT_OK;
  o.device.id = 11456;
  o.device.name = "VORnet L\xE4rm\x9B[2J\xA0";
  o.device.versionBefore = "1.20\xB2";
  o.device.versionAfter = "1.30";
  EXPECT_EQ(TerminalStationResultLine(o),
            "COM3: ID 11456 (VORnet L\xC3\xA4rm?[2J\xC2\xA0) V1.20\xC2\xB2 -> V1.30: -Device Programed OK.");
}

}  // namespace
}  // namespace cli
