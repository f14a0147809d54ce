#include "viewer/markuplinks.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fixtures.h"
#include "viewer/displaytext.h"

namespace varnook {
namespace {

// Braces make the expectations readable; no input below holds one.
std::string marked(std::string_view text) {
  MarkupLinks m;
  m.setInsertBefore("{");
  m.setInsertAfter("}");
  const MarkupLinks::Result r = m.markup(text);
  EXPECT_TRUE(r.ok()) << r.error;
  return r.text;
}

TEST(MarkupLinks, FindsUrlsAndAddressesAndMergesOverlappingOnes) {
  for (auto row : testing::readTable("viewer/data/links.txt")) {
    row.resize(2);
    EXPECT_EQ(marked(row[0]), row[1]) << row[0];
  }
}

TEST(MarkupLinks, LinksStopAt255Bytes) {
  const std::string url = "http://" + std::string(300, 'a');
  // The rest of an over-long link is plain text, not a second link.
  EXPECT_EQ(marked(url + " z"), "{" + url.substr(0, 255) + "}" + url.substr(255) + " z");

  // A cut that would split a UTF-8 sequence moves before it.
  const std::string utf8 = "http://" + std::string(247, 'a') + "\xC3\xA9\xC3\xA9";
  const std::string cut = marked(utf8);
  EXPECT_EQ(cut, "{" + utf8.substr(0, 254) + "}" + utf8.substr(254));
  EXPECT_TRUE(isValidUtf8(cut));

  // A merge that would pass the limit drops the later link: the address reaches back into
  // the 252-byte "mailto:" link, and together they would take 257 bytes.
  const std::string mailto = "mailto:" + std::string(245, 'a');
  EXPECT_EQ(marked(mailto + "@yyyy"), "{" + mailto + "}@yyyy");
  EXPECT_EQ(marked(mailto.substr(0, 240) + "@yyyy"), "{" + mailto.substr(0, 240) + "@yyyy}");
}

TEST(MarkupLinks, ConvertHandlerAndTooLongTexts) {
  MarkupLinks m;
  m.setInsertBefore("<");
  m.setOnConvert(
      [](std::string& link) { link = "[" + link + "|" + std::to_string(link.size()) + "]"; });
  EXPECT_EQ(m.markup("a www.b.c d").text, "a [www.b.c|7] d");

  const std::string longest(MarkupLinks::kMaxTextLength, 'x');
  EXPECT_TRUE(m.markup(longest).ok());
  const MarkupLinks::Result r = m.markup(longest + "x");
  EXPECT_EQ(r.error, "String is too long");
  EXPECT_TRUE(r.text.empty());
}

}  // namespace
}  // namespace varnook
