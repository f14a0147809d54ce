#include "ui/searchtext.h"

#include <gtest/gtest.h>

#include "ui/droppedurl.h"

namespace varnook {
namespace {

struct TextCase {
  const char* input;
  const char* expected;
};

TEST(CombineTerms, JoinsQuotesAndSkipsEmptyValues) {
  const struct {
    const char* old;
    const char* value;
    const char* expected;
  } cases[] = {
      {"modem", " usr sportster ", "modem & \"usr sportster\""},
      {"", "modem", "modem"},
      {"", "\tusr sportster\r\n", "\"usr sportster\""},
      {"modem", "   ", "modem"},
      {"modem", "", "modem"},
      {"a & b", "c", "a & b & c"},
  };
  for (const auto& c : cases) EXPECT_EQ(combineTerms(c.old, c.value), c.expected) << c.value;
}

TEST(StripReplyPrefixes, RemovesEveryLeadingPrefixInAnyCase) {
  const TextCase cases[] = {
      {"Re: RE:fw: Modem", "Modem"},
      {"  re:  Modem  ", "Modem"},
      {"FW: Fw: x", "x"},
      {"Modem Re: x", "Modem Re: x"},
      {"Re:", ""},
      {"Rex: y", "Rex: y"},
      {"\x01Re: z\x02", "z"},
  };
  for (const auto& c : cases) EXPECT_EQ(stripReplyPrefixes(c.input), c.expected) << c.input;
}

TEST(SafeFileName, KeepsBlanksLettersDigitsUnderscoreUpTo32) {
  const TextCase cases[] = {
      {"50% off!", "50 off"},
      {"a/b\\c:d*e?f\"g<h>i|j", "abcdefghij"},
      {"..\\..\\etc/passwd", "etcpasswd"},
      {"abcdefghijklmnopqrstuvwxyz0123456789", "abcdefghijklmnopqrstuvwxyz012345"},
      {"caf\xC3\xA9 au lait", "caf au lait"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(safeFileName(c.input), c.expected) << c.input;
}

TEST(DroppedUrlText, UriListTakesTheFirstUrlLine) {
  EXPECT_EQ(droppedUrlText(DropFormat::uriList,
                           "# a comment\r\nhttp://a/dnquery.xp?query=x\r\nhttp://b/\r\n"),
            "http://a/dnquery.xp?query=x");
  EXPECT_EQ(droppedUrlText(DropFormat::uriList, "\r\n  http://a/  \n"), "http://a/");
  EXPECT_EQ(droppedUrlText(DropFormat::uriList, "# only a comment"), "");
  EXPECT_EQ(droppedUrlText(DropFormat::uriList, ""), "");
}

TEST(DroppedUrlText, MozillaUrlIsUtf16WithTheTitleOnTheNextLine) {
  const auto utf16 = [](std::u16string_view text, bool bom, bool bigEndian) {
    std::string bytes;
    if (bom) bytes += bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
      const char lo = static_cast<char>(unit & 0xFF), hi = static_cast<char>(unit >> 8);
      bytes += bigEndian ? hi : lo;
      bytes += bigEndian ? lo : hi;
    }
    return bytes;
  };
  const std::u16string text = u"http://x/getdoc.xp?AN=12\nSome title \u00e9";
  EXPECT_EQ(droppedUrlText(DropFormat::mozUrl, utf16(text, false, false)),
            "http://x/getdoc.xp?AN=12");
  EXPECT_EQ(droppedUrlText(DropFormat::mozUrl, utf16(text, true, true)),
            "http://x/getdoc.xp?AN=12");
  EXPECT_EQ(droppedUrlText(DropFormat::mozUrl, utf16(u"http://\u00e9\U0001F600", false, false)),
            "http://\xC3\xA9\xF0\x9F\x98\x80");
  // A lone surrogate and an odd trailing byte do no harm.
  EXPECT_EQ(droppedUrlText(DropFormat::mozUrl, utf16(u"a\xD800"
                                                     "b",
                                                     false, false) +
                                                   "x"),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(DroppedUrlText, PlainTextIsTrimmedToItsFirstLine) {
  EXPECT_EQ(droppedUrlText(DropFormat::plainText, "  http://a/getdoc.xp?AN=1 \r\nsecond"),
            "http://a/getdoc.xp?AN=1");
  EXPECT_EQ(droppedUrlText(DropFormat::plainText, "\n\nhttp://a/\n"), "http://a/");
}

}  // namespace
}  // namespace varnook
