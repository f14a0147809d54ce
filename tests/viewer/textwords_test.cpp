#include "viewer/textwords.h"

#include <gtest/gtest.h>

#include "viewer/articlerules.h"
#include "viewer/colorrule.h"
#include "viewer/hotspot.h"

namespace varnook {
namespace {

TEST(QueryKeywords, WordRunsWithoutCaseDuplicates) {
  EXPECT_EQ(queryKeywords("modem & \"usr sportster\" MODEM x_1 v.34"),
            (std::vector<std::string>{"modem", "usr", "sportster", "x_1", "v", "34"}));
  EXPECT_EQ(queryKeywords("  ~ & | "), std::vector<std::string>{});
  EXPECT_EQ(queryKeywords("caf\xC3\xA9s"), (std::vector<std::string>{"caf", "s"}));
}

// Folded query words mark every spelling of a word, while the exact keywords keep their
// own rules (here "M" and "ller" of "Müller" stay whole words of their own).
TEST(QueryKeywords, FoldedWordsMarkEverySpelling) {
  EXPECT_EQ(foldedQueryWords("M\xC3\xBCller & muller cafe*"),
            (std::vector<std::string>{"muller", "cafe"}));
  const std::string text = "M\xC3\xBCller, Muller; M\xFCller MULLER Mullers caf\xC3\xA9";
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"muller", {"Muller", "MULLER", "M\xC3\xBCller", "M\xFCller"}},
      {"M\xC3\xBCller",
       {"M", "M", "ller", "ller", "M\xC3\xBCller", "Muller", "M\xFCller", "MULLER"}},
      {"cafe", {"caf\xC3\xA9"}},
      {"juergen", {}},
  };
  for (const auto& [query, marked] : cases) {
    ColorRule rule(KeyDrawingType::dtKeyShow);
    rule.setKeywords(queryKeywords(query));
    rule.setFoldedKeywords(foldedQueryWords(query));
    KeyDescrList spans;
    rule.findSpans(text, 0, spans);
    std::vector<std::string> found;
    for (const KeyDescr& span : spans)
      found.push_back(text.substr(static_cast<std::size_t>(span.startPos),
                                  static_cast<std::size_t>(span.endPos - span.startPos + 1)));
    EXPECT_EQ(found, marked) << query;
  }
}

TEST(WordAtCaret, WordAroundTheCaret) {
  const std::tuple<const char*, std::size_t, const char*> cases[] = {
      {"a modem b", 4, "modem"},    {"a modem b", 2, "modem"},
      {"a modem b", 7, "modem"},    {"a  b", 2, ""},
      {"x_1.y", 0, "x_1"},          {"x_1.y", 4, "y"},
      {"word", 99, "word"},         {"", 0, ""},
      {"a\x1Fhttp\x1F", 2, "http"},
  };
  for (const auto& [text, caret, word] : cases) EXPECT_EQ(wordAtCaret(text, caret), word) << caret;
}

TEST(HotSpotText, PointerOverALinkAndTheClickedText) {
  const std::string line = "see \x1Ehttp://a.b\x1F and \x1Ejoe@c.d\x1F";
  const std::pair<std::size_t, std::optional<std::string>> cases[] = {
      {0, std::nullopt},                                        // before the first link
      {4, std::nullopt},                                        // on the begin marker
      {5, "http://a.b"},                                        // first character
      {10, "http://a.b"},                                       // inside
      {15, "http://a.b"},                                       // on the end marker
      {16, std::nullopt},                                       // behind it
      {22, "joe@c.d"},    {29, "joe@c.d"}, {30, std::nullopt},  // past the line
  };
  for (const auto& [pos, text] : cases) {
    EXPECT_EQ(hotSpotTextAt(line, pos, '\x1E', '\x1F'), text) << pos;
    EXPECT_EQ(isOnHotSpot(line, pos, '\x1E', '\x1F'), text.has_value()) << pos;
  }
  // A link without its begin marker on the line reaches back to the line's start.
  EXPECT_EQ(hotSpotTextAt("tail\x1F x", 1, '\x1E', '\x1F'), "tail");
  // Sample style markers.
  EXPECT_EQ(hotSpotTextAt("URLs: <www.x.org> <a@b.c>", 9, '<', '>'), "www.x.org");
  // Copied text loses the markers.
  EXPECT_EQ(withoutLinkMarkers("a \x1Ehttp://x\x1F b\x1E"), "a http://x b");
}

TEST(ArticleRules, OptionsBecomeRulesAndLinkSettings) {
  VnkOptions options;
  DrawRules rules;
  HotSpot hotSpot;
  // The default rules' colours: SpanResolver.ColoursOfTheVisibleText; the default links,
  // navy and underlined: the colour memo's paint test.
  applyArticleOptions(options, rules, hotSpot);
  ASSERT_EQ(rules.size(), 2u);

  rules[1].setKeywords({"kept"});
  options.highLightKW = false;
  options.highLightQuotes = false;
  options.highLightLinks = false;
  options.underlineLink = false;
  options.colorG = clRed;
  options.articleFont.color = clMaroon;
  applyArticleOptions(options, rules, hotSpot);
  EXPECT_TRUE(rules[0].keyLineEndLst().empty());
  EXPECT_EQ(rules[1].defKeyColor(), clMaroon);
  EXPECT_EQ(rules[1].keywords(), std::vector<std::string>{"kept"});
  EXPECT_FALSE(hotSpot.active || hotSpot.underlined);

  options.highLightQuotes = true;
  applyArticleOptions(options, rules, hotSpot);
  EXPECT_EQ(rules[0].keyLineEndLst().back(), ">;$FF0000");  // red is written red first
}

}  // namespace
}  // namespace varnook
