// The literal tag search, the bounded catalogue read and the file name guard.

#include <gtest/gtest.h>

#include "catalogue/catalogue_text.h"
#include "catalogue/safe_file_name.h"
#include "tests/support/fixtures/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

struct TagCase {
  const char* what;
  std::string source;
  std::string expected;
};

TEST(ExtractTag, FindsTheFirstCompleteValueOrNothing) {
  const std::vector<TagCase> cases = {
      {"plain value", "<A>1.70</A>", "1.70"},
      {"empty value", "<A></A>", ""},
      {"first occurrence wins", "<A>one</A><A>two</A>", "one"},
      {"taken verbatim, blanks kept", "<A> x &amp; y </A>", " x &amp; y "},
      {"nested ends at the first end tag", "<A>x<A>y</A>z</A>", "x<A>y"},
      {"end tag missing", "<A>value", ""},
      {"end tag before start tag", "</A><A>value", ""},
      {"a start tag without its end hides a later pair", "<A>x<B></B>", ""},
      {"attributes are not a start tag", "<A id=\"1\">v</A>", ""},
      {"case-sensitive", "<a>v</a>", ""},
      {"longer name is another element", "<AB>v</AB><A>w</A>", "w"},
      {"inside a comment still counts", "<!-- <A>old</A> --><A>new</A>", "old"},
  };
  for (const auto& c : cases) EXPECT_EQ(catalogue::ExtractTag("A", c.source), c.expected) << c.what;
}

TEST(ReadCatalogueTag, ReadsOnlyTheStartOfTheFileWithoutControlBytes) {
  TempDir dir;
  const std::string file = "vornet_verinfo.xml";
  struct Case {
    const char* what;
    std::string content;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"line breaks and tabs dropped", "<V>\r\n\t1.\r\n70\x7f</V>", "1.70"},
      {"high bytes kept as they are", "<V>\xe9\xff</V>", "\xe9\xff"},
      {"end tag within 8,192 bytes", std::string(8192 - 8, 'x') + "<V>1</V>", "1"},
      {"end tag cut at byte 8,192", std::string(8192 - 7, 'x') + "<V>1</V>", ""},
      // The limit counts the bytes of the file, not what is left after dropping.
      {"dropped bytes count toward the limit", std::string(8190, '\n') + "<V>1</V>", ""},
  };
  for (const auto& c : cases) {
    WriteFile(dir.Path(file), c.content);
    EXPECT_EQ(catalogue::ReadCatalogueTag(dir.Path(""), "V", file), c.expected) << c.what;
  }
  EXPECT_EQ(catalogue::ReadCatalogueTag(dir.Path(""), "V", "absent.xml"), "");
  // No folder means no catalogue, never a file in the working directory.
  EXPECT_EQ(catalogue::ReadCatalogueTag("", "V", file), "");
}

TEST(IsSafeFileName, AcceptsOnlyPlainNamesInsideTheFolder) {
  for (const std::string& good :
       std::vector<std::string>{"a.hex", "VOR AMP 1.70.hex", "..hex", "a..b", "\xe9t\xe9.hex"})
    EXPECT_TRUE(catalogue::IsSafeFileName(good)) << good;
  for (const std::string& bad : std::vector<std::string>{
           "", ".", "..", "../x.hex", "/etc/passwd", "sub/a.hex", "a\\b.hex", "..\\x.hex", "C:x.hex",
           "a\tb.hex", "a\x7f.hex", std::string("a\0b", 3), "a\nb"})
    EXPECT_FALSE(catalogue::IsSafeFileName(bad)) << bad;
}

}  // namespace
