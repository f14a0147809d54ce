#include "viewer/spanresolver.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "viewer/articlerules.h"

namespace varnook {
namespace {

// The article view's rules: quotation levels first, then the keywords.
DrawRules articleRules(std::vector<std::string> keywords) {
  DrawRules rules;
  HotSpot unused;
  applyArticleOptions(VnkOptions{}, rules, unused);
  rules[1].setKeywords(std::move(keywords));
  return rules;
}

HotSpot links() {
  HotSpot h;
  h.active = true;
  h.color = clNavy;
  return h;
}

// Runs as "start-end colour" with a "/zOrder" when it is not 0, the colours named by their
// role: q1 and q3 quotation levels, kw keyword, link, mark (link markers), 0 (none).
std::string runsText(const KeyDescrList& runs) {
  static const std::map<Color, std::string> names = {
      {0x404040, "q1"}, {0x00C000, "q3"}, {clRed, "kw"}, {clNavy, "link"}, {clWindow, "mark"}};
  std::string text;
  for (const KeyDescr& k : runs) {
    const auto name = names.find(k.color);
    text += (text.empty() ? "" : " ") + std::to_string(k.startPos) + "-" +
            std::to_string(k.endPos) + " " +
            (name != names.end() ? name->second : std::to_string(k.color)) +
            (k.zOrder != 0 ? "/" + std::to_string(k.zOrder) : "");
  }
  return text;
}

enum class Rules { none, found, swapped, quotesOnTop };

// The article rules with the keyword "found", or variations of them.
DrawRules rulesFor(Rules which) {
  if (which == Rules::none) return {};
  DrawRules rules = articleRules({"found"});
  if (which == Rules::quotesOnTop) rules[0].setZOrder(5);
  if (which != Rules::swapped) return rules;
  DrawRules swapped;
  swapped.add(rules[1]);
  swapped.add(rules[0]);
  return swapped;
}

ViewWindow window(std::size_t scanStart, std::size_t visibleEnd, std::size_t selectionStart = 0,
                  std::size_t selectionLength = 0) {
  ViewWindow w;
  w.scanStart = scanStart;
  w.visibleEnd = visibleEnd;
  w.selectionStart = selectionStart;
  w.selectionLength = selectionLength;
  return w;
}

TEST(SpanResolver, ColoursOfTheVisibleText) {
  using R = Rules;
  const ViewWindow all;  // a visible end of 0 stands for the whole text
  ViewWindow tabs, caretLine;
  tabs.wantTabs = true;
  caretLine.redrawAlways = true;
  caretLine.caretLineStart = 4;
  caretLine.caret = 8;
  caretLine.fontColor = clBlack;
  struct Case {
    const char* name;
    std::string text;
    Rules rules;
    bool links;
    ViewWindow window;
    const char* expected;
  };
  const Case cases[] = {
      {"keyword inside a quoted line", "> a found b", R::found, false, all,
       "0-3 q1 4-8 kw 9-10 q1"},
      {"quotes listed after keywords win at equal zOrder", "> a found b", R::swapped, false, all,
       "0-10 q1"},
      {"higher zOrder wins whatever the order", "> a found b", R::quotesOnTop, false, all,
       "0-10 q1/5"},
      {"three quotation levels", ">>> text\r\nplain", R::found, false, all, "0-7 q3"},
      {"links between markers", "see \x1Ehttp://a\x1F.", R::none, true, all,
       "4-4 mark/253 5-12 link/252 13-13 mark/253"},
      {"keyword inside a link loses", "\x1Ehttp://found\x1F", R::found, true, all,
       "0-0 mark/253 1-12 link/252 13-13 mark/253"},
      {"lone begin marker", "a \x1E b found", R::found, true, all, "2-2 mark/253 6-10 kw"},
      {"adjacent markers", "\x1E\x1F", R::none, true, all, "0-1 mark/253"},
      {"inactive links are plain", "\x1Ex\x1F", R::none, false, all, ""},
      {"selection wins over every colour", "> found", R::found, true, window(0, 0, 3, 3),
       "0-1 q1 2-2 kw 3-5 0/254 6-6 kw"},
      {"tabs only when wanted", "a\tfound", R::found, false, tabs, "1-1 0/255 2-6 kw"},
      // The rules come later at the same zOrder, so they still win.
      {"caret line keeps the font colour", "ab\r\n> found", R::found, false, caretLine,
       "4-5 q1 6-10 kw"},
      {"nothing searched beyond the visible end", "found\r\n> x found", R::found, false,
       window(0, 10), "0-4 kw 7-9 q1"},
      {"searches start at the scan start", "found\r\nfound", R::found, false, window(7, 0),
       "7-11 kw"},
      {"selection clipped to the window", "aa\r\nfound\r\nbb", R::found, false,
       window(4, 9, 0, 100), "4-8 0/254"},
  };
  for (const Case& c : cases) {
    DrawRules rules = rulesFor(c.rules);
    ViewWindow w = c.window;
    if (w.visibleEnd == 0) w.visibleEnd = c.text.size();
    SpanResolver resolver;
    EXPECT_EQ(runsText(resolver.resolve(c.text, rules, c.links ? links() : HotSpot{}, w)),
              c.expected)
        << c.name;
  }
}

TEST(SpanResolver, BeginEndSpansNeedTheirEndKeyInsideTheWindow) {
  DrawRules rules;
  rules.add(ColorRule(KeyDrawingType::dtBeginEnd)).setKeyBegEndLst({"/*;*/;GRAY"});
  SpanResolver resolver;
  const std::string text = "x /* a\r\nb */ y";
  EXPECT_EQ(resolver.resolve(text, rules, {}, window(0, text.size())).size(), 1u);
  // The comment's end lies on the next, invisible line.
  EXPECT_TRUE(resolver.resolve(text, rules, {}, window(0, 6)).empty());
  EXPECT_EQ(resolver.extentStart(), -1);
}

TEST(SpanResolver, CollectedSpansKeepTheirOrderAndExtent) {
  DrawRules rules = articleRules({"found"});
  SpanResolver resolver;
  const std::string text = "\x1Ex\x1F > found";
  const ViewWindow w = window(0, text.size(), 1, 1);
  resolver.resolve(text, rules, links(), w);
  std::vector<int> zOrders;
  for (const KeyDescr& k : resolver.collectedSpans()) zOrders.push_back(k.zOrder);
  // Links and markers, then the rules in order, then the selection.
  EXPECT_EQ(zOrders, (std::vector<int>{253, 252, 253, 0, 0, 254}));
  EXPECT_EQ(resolver.extentStart(), 0);
  EXPECT_EQ(resolver.extentEnd(), static_cast<int>(text.size()) - 1);
  EXPECT_TRUE(resolver.resolve(text, rules, {}, w).back().isKeyword);
}

}  // namespace
}  // namespace varnook
