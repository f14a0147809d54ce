#include "viewer/displaytext.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fixtures.h"

namespace varnook {
namespace {

TEST(IsValidUtf8, AcceptsWellFormedAndRejectsTheRest) {
  for (auto row : testing::readTable("viewer/data/utf8.txt")) {
    row.resize(2);
    EXPECT_EQ(isValidUtf8(row[0]), row[1] == "valid") << row[0];
  }
}

TEST(DisplayText, LinesEndAtLfWithTheCrBelongingToTheEnd) {
  const DisplayText t("a\r\nbc\n\nd\re\r\n");
  std::vector<std::string_view> lines;
  for (std::size_t i = 0; i < t.lineCount(); ++i) lines.push_back(t.line(i));
  EXPECT_EQ(lines, (std::vector<std::string_view>{"a", "bc", "", "d\re", ""}));
  EXPECT_EQ(t.lineStart(1), 3u);
  EXPECT_EQ(t.lineEnd(0), 1u);
  // Offset 2 is the LF of line 0.
  const std::pair<std::size_t, std::size_t> lineOf[] = {{0, 0}, {2, 0}, {3, 1}, {1000, 4}};
  for (const auto& [offset, line] : lineOf) EXPECT_EQ(t.lineOfOffset(offset), line) << offset;
  EXPECT_EQ(t.decode(), u"a\nbc\n\nd\uFFFDe\n");
  EXPECT_EQ(DisplayText().lineCount(), 1u);
  EXPECT_EQ(DisplayText().decode(), u"");
}

TEST(DisplayText, InvalidUtf8IsShownAsWindows1252) {
  const DisplayText t("\x80 caf\xE9 \x81\x9F");
  EXPECT_EQ(t.encoding(), DisplayText::Encoding::Windows1252);
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
  EXPECT_EQ(t.encoding(), DisplayText::Encoding::Utf8);
  EXPECT_EQ(t.decode(), u"x\n\u00E9a\U0001D11Eb\uFFFDc");
  const std::size_t s = t.lineStart(1);
  const std::pair<std::size_t, std::size_t> cases[] = {{0, 0}, {2, 1},  {3, 2}, {7, 4},
                                                       {8, 5}, {11, 6}, {12, 7}};
  for (const auto& [byte, units] : cases) {
    EXPECT_EQ(t.unitsBetween(s, s + byte), units) << byte;
    EXPECT_EQ(t.offsetOfUnit(1, units), s + byte) << units;
  }
  EXPECT_EQ(t.offsetOfUnit(1, 100), t.lineEnd(1));
}

}  // namespace
}  // namespace varnook
