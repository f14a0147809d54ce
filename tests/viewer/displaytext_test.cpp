#include "viewer/displaytext.h"

#include <gtest/gtest.h>

#include <string>

namespace varnook {
namespace {

TEST(IsValidUtf8, AcceptsWellFormedAndRejectsTheRest) {
  struct Case {
    std::string bytes;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"plain ascii text, long enough for the fast path", true},
      {"caf\xC3\xA9", true},
      {"\xE2\x82\xAC euro", true},
      {"\xF0\x9D\x84\x9E clef", true},
      {"caf\xE9", false},           // Windows-1252 e-acute
      {"\xC3", false},              // truncated
      {"\xC0\xAF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xF8\x88\x80\x80\x80", false},
      {"0123456789\x80", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.bytes;
}

TEST(DisplayText, LinesEndAtLfWithTheCrBelongingToTheEnd) {
  const DisplayText t("a\r\nbc\n\nd\re\r\n");
  ASSERT_EQ(t.lineCount(), 5u);
  EXPECT_EQ(t.line(0), "a");
  EXPECT_EQ(t.line(1), "bc");
  EXPECT_EQ(t.line(2), "");
  EXPECT_EQ(t.line(3), "d\re");
  EXPECT_EQ(t.line(4), "");
  EXPECT_EQ(t.lineStart(1), 3u);
  EXPECT_EQ(t.lineEnd(0), 1u);
  EXPECT_EQ(t.lineOfOffset(0), 0u);
  EXPECT_EQ(t.lineOfOffset(2), 0u);  // the LF of line 0
  EXPECT_EQ(t.lineOfOffset(3), 1u);
  EXPECT_EQ(t.lineOfOffset(1000), 4u);
  EXPECT_EQ(t.decode(), u"a\nbc\n\nd\uFFFDe\n");

  const DisplayText empty;
  EXPECT_EQ(empty.lineCount(), 1u);
  EXPECT_EQ(empty.decode(), u"");
}

TEST(DisplayText, InvalidUtf8IsShownAsWindows1252) {
  const DisplayText t("\x80 caf\xE9 \x81\x9F");
  EXPECT_EQ(t.encoding(), DisplayText::Encoding::windows1252);
  EXPECT_EQ(t.decode(), u"\u20AC caf\u00E9 \u0081\u0178");
  EXPECT_EQ(t.unitsBetween(0, 6), 6u);
  EXPECT_EQ(t.offsetOfUnit(0, 3), 3u);
}

TEST(DisplayText, Utf8OffsetsMapToUtf16Units) {
  // "é" takes two bytes and one unit, the clef four bytes and two units.
  const DisplayText t(
      "x\r\n\xC3\xA9"
      "a\xF0\x9D\x84\x9E"
      "b\xE2\x80\xA9"
      "c");
  EXPECT_EQ(t.encoding(), DisplayText::Encoding::utf8);
  EXPECT_EQ(t.decode(), u"x\n\u00E9a\U0001D11Eb\uFFFDc");
  const std::size_t s = t.lineStart(1);
  struct Case {
    std::size_t byte;
    std::size_t units;
  };
  const Case cases[] = {{0, 0}, {2, 1}, {3, 2}, {7, 4}, {8, 5}, {11, 6}, {12, 7}};
  for (const Case& c : cases) {
    EXPECT_EQ(t.unitsBetween(s, s + c.byte), c.units) << c.byte;
    EXPECT_EQ(t.offsetOfUnit(1, c.units), s + c.byte) << c.units;
  }
  EXPECT_EQ(t.offsetOfUnit(1, 100), t.lineEnd(1));
}

}  // namespace
}  // namespace varnook
