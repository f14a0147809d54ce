#include "viewer/spanresolver.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "viewer/articlerules.h"

namespace varnook {
namespace {

struct Run {
  int start;
  int end;
  Color color;
  int zOrder;
  bool operator==(const Run&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Run& r) {
  return os << "[" << r.start << ".." << r.end << " #" << std::hex << r.color << std::dec << " z"
            << r.zOrder << "]";
}

constexpr Color kQ1 = 0x404040;
constexpr Color kQ3 = 0x00C000;
constexpr Color kKw = clRed;
constexpr Color kLink = clNavy;
constexpr Color kMark = clWindow;

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
  h.color = kLink;
  return h;
}

struct Case {
  const char* name;
  std::string text;
  std::function<DrawRules()> rules;
  HotSpot hotSpot;
  std::function<void(ViewWindow&, const std::string&)> window;  // defaults: the whole text
  std::vector<Run> expected;
};

std::vector<Run> resolveCase(const Case& c) {
  DrawRules rules = c.rules();
  ViewWindow w;
  w.visibleEnd = c.text.size();
  if (c.window) c.window(w, c.text);
  SpanResolver resolver;
  std::vector<Run> out;
  for (const KeyDescr& k : resolver.resolve(c.text, rules, c.hotSpot, w)) {
    out.push_back({k.startPos, k.endPos, k.color, k.zOrder});
  }
  return out;
}

TEST(SpanResolver, ColoursOfTheVisibleText) {
  const auto none = [] { return DrawRules{}; };
  const auto found = [] { return articleRules({"found"}); };
  const Case cases[] = {
      {"keyword inside a quoted line",
       "> a found b",
       found,
       {},
       {},
       {{0, 3, kQ1, 0}, {4, 8, kKw, 0}, {9, 10, kQ1, 0}}},
      {"quotes listed after keywords win at equal zOrder",
       "> a found b",
       [] {
         DrawRules r = articleRules({"found"});
         DrawRules swapped;
         swapped.add(r[1]);
         swapped.add(r[0]);
         return swapped;
       },
       {},
       {},
       {{0, 10, kQ1, 0}}},
      {"higher zOrder wins whatever the order",
       "> a found b",
       [] {
         DrawRules r = articleRules({"found"});
         r[0].setZOrder(5);
         return r;
       },
       {},
       {},
       {{0, 10, kQ1, 5}}},
      {"three quotation levels", ">>> text\r\nplain", found, {}, {}, {{0, 7, kQ3, 0}}},
      {"links between markers",
       "see \x1Ehttp://a\x1F.",
       none,
       links(),
       {},
       {{4, 4, kMark, 253}, {5, 12, kLink, 252}, {13, 13, kMark, 253}}},
      {"keyword inside a link loses",
       "\x1Ehttp://found\x1F",
       found,
       links(),
       {},
       {{0, 0, kMark, 253}, {1, 12, kLink, 252}, {13, 13, kMark, 253}}},
      {"lone begin marker",
       "a \x1E b found",
       found,
       links(),
       {},
       {{2, 2, kMark, 253}, {6, 10, kKw, 0}}},
      {"adjacent markers", "\x1E\x1F", none, links(), {}, {{0, 1, kMark, 253}}},
      {"inactive links are plain", "\x1Ex\x1F", none, {}, {}, {}},
      {"selection wins over every colour",
       "> found",
       found,
       links(),
       [](ViewWindow& w, const std::string&) {
         w.selectionStart = 3;
         w.selectionLength = 3;
       },
       {{0, 1, kQ1, 0}, {2, 2, kKw, 0}, {3, 5, 0, 254}, {6, 6, kKw, 0}}},
      {"tabs only when wanted",
       "a\tfound",
       found,
       {},
       [](ViewWindow& w, const std::string&) { w.wantTabs = true; },
       {{1, 1, 0, 255}, {2, 6, kKw, 0}}},
      {"caret line keeps the font colour",
       "ab\r\n> found",
       found,
       {},
       [](ViewWindow& w, const std::string&) {
         w.redrawAlways = true;
         w.caretLineStart = 4;
         w.caret = 8;
         w.fontColor = clBlack;
       },
       // The rules come later at the same zOrder, so they still win.
       {{4, 5, kQ1, 0}, {6, 10, kKw, 0}}},
      {"nothing searched beyond the visible end",
       "found\r\n> x found",
       found,
       {},
       [](ViewWindow& w, const std::string&) { w.visibleEnd = 10; },
       {{0, 4, kKw, 0}, {7, 9, kQ1, 0}}},
      {"searches start at the scan start",
       "found\r\nfound",
       found,
       {},
       [](ViewWindow& w, const std::string&) { w.scanStart = 7; },
       {{7, 11, kKw, 0}}},
      {"selection clipped to the window",
       "aa\r\nfound\r\nbb",
       found,
       {},
       [](ViewWindow& w, const std::string&) {
         w.scanStart = 4;
         w.visibleEnd = 9;
         w.selectionStart = 0;
         w.selectionLength = 100;
       },
       {{4, 8, 0, 254}}},
  };
  for (const Case& c : cases) EXPECT_EQ(resolveCase(c), c.expected) << c.name;
}

TEST(SpanResolver, BeginEndSpansNeedTheirEndKeyInsideTheWindow) {
  DrawRules rules;
  rules.add(ColorRule(KeyDrawingType::dtBeginEnd)).setKeyBegEndLst({"/*;*/;GRAY"});
  SpanResolver resolver;
  const std::string text = "x /* a\r\nb */ y";
  ViewWindow w;
  w.visibleEnd = text.size();
  EXPECT_EQ(resolver.resolve(text, rules, {}, w).size(), 1u);
  w.visibleEnd = 6;  // the comment's end lies on the next, invisible line
  EXPECT_TRUE(resolver.resolve(text, rules, {}, w).empty());
  EXPECT_EQ(resolver.extentStart(), -1);
}

TEST(SpanResolver, CollectedSpansKeepTheirOrderAndExtent) {
  DrawRules rules = articleRules({"found"});
  SpanResolver resolver;
  ViewWindow w;
  const std::string text = "\x1Ex\x1F > found";
  w.visibleEnd = text.size();
  w.selectionStart = 1;
  w.selectionLength = 1;
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
