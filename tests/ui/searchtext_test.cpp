#include "ui/searchtext.h"

#include <gtest/gtest.h>

#include "support/fixtures.h"
#include "ui/droppedurl.h"

namespace varnook {
namespace {

TEST(SearchText, CombineTermsStripReplyPrefixesAndSafeFileNames) {
  for (const auto& row : testing::readTable("ui/data/searchtexts.txt", 4)) {
    const std::string& function = row[0];
    EXPECT_EQ(function == "combine" ? combineTerms(row[1], row[2])
              : function == "strip" ? stripReplyPrefixes(row[1])
                                    : safeFileName(row[1]),
              row[3])
        << function << " " << row[1] << " " << row[2];
  }
}

// UTF-16 bytes of a text, little-endian unless `bigEndian`, with a byte order mark if asked.
std::string utf16(std::u16string_view text, bool bom = false, bool bigEndian = false) {
  std::string bytes = bom ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (const char16_t unit : text) {
    const char lo = static_cast<char>(unit & 0xFF), hi = static_cast<char>(unit >> 8);
    bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
}

TEST(DroppedUrlText, FirstUrlLineOfEachFormat) {
  const std::u16string titled = u"http://x/getdoc.xp?AN=12\nSome title \u00e9";
  const std::tuple<DropFormat, std::string, const char*> cases[] = {
      {DropFormat::UriList, "# a comment\r\nhttp://a/dnquery.xp?query=x\r\nhttp://b/\r\n",
       "http://a/dnquery.xp?query=x"},
      {DropFormat::UriList, "\r\n  http://a/  \n", "http://a/"},
      {DropFormat::UriList, "# only a comment", ""},
      {DropFormat::UriList, "", ""},
      {DropFormat::MozUrl, utf16(titled), "http://x/getdoc.xp?AN=12"},
      {DropFormat::MozUrl, utf16(titled, true, true), "http://x/getdoc.xp?AN=12"},
      {DropFormat::MozUrl, utf16(u"http://\u00e9\U0001F600"), "http://\xC3\xA9\xF0\x9F\x98\x80"},
      // A lone surrogate and an odd trailing byte do no harm.
      {DropFormat::MozUrl,
       utf16(u"a\xD800"
             u"b") +
           "x",
       "a\xEF\xBF\xBD"
       "b"},
      {DropFormat::PlainText, "  http://a/getdoc.xp?AN=1 \r\nsecond", "http://a/getdoc.xp?AN=1"},
      {DropFormat::PlainText, "\n\nhttp://a/\n", "http://a/"},
  };
  for (const auto& [format, bytes, url] : cases) EXPECT_EQ(droppedUrlText(format, bytes), url);
}

}  // namespace
}  // namespace varnook
