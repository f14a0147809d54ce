#include "viewer/spanresolver.h"

#include <gtest/gtest.h>

#include "spantext.h"
#include "viewer/articlerules.h"

namespace varnook {
namespace {

enum class Rules { none, found, swapped, quotesOnTop, comment };

// The article view's rules with the keyword "found", or variations of them.
DrawRules rulesFor(Rules which) {
  DrawRules rules;
  if (which == Rules::comment)
    rules.add(ColorRule(KeyDrawingType::dtBeginEnd)).setKeyBegEndLst({"/*;*/;GRAY"});
  if (which == Rules::none || which == Rules::comment) return rules;
  HotSpot unused;
  applyArticleOptions(VnkOptions{}, rules, unused);
  rules[1].setKeywords({"found"});
  if (which == Rules::quotesOnTop) rules[0].setZOrder(5);
  if (which != Rules::swapped) return rules;
  DrawRules swapped;
  swapped.add(rules[1]);
  swapped.add(rules[0]);
  return swapped;
}

// A visible end of 0 stands for the whole text.
ViewWindow window(std::size_t scanStart, std::size_t visibleEnd, std::size_t selectionStart = 0,
                  std::size_t selectionLength = 0) {
  ViewWindow w;
  w.scanStart = scanStart;
  w.visibleEnd = visibleEnd;
  w.selectionStart = selectionStart;
  w.selectionLength = selectionLength;
  return w;
}

// Colours as named by testing::spanText: 404040 and 00C000 quotation levels 1 and 3, red
// keywords, navy links between "window" markers, 000000 the unpainted selection and tabs.
TEST(SpanResolver, ColoursOfTheVisibleText) {
  using R = Rules;
  const ViewWindow all = window(0, 0);
  ViewWindow tabs = all, caretLine = all;
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
       "0-3 404040 4-8 red 9-10 404040"},
      {"quotes listed after keywords win at equal zOrder", "> a found b", R::swapped, false, all,
       "0-10 404040"},
      {"higher zOrder wins whatever the order", "> a found b", R::quotesOnTop, false, all,
       "0-10 404040/5"},
      {"three quotation levels", ">>> text\r\nplain", R::found, false, all, "0-7 00C000"},
      {"links between markers", "see \x1Ehttp://a\x1F.", R::none, true, all,
       "4-4 window/253 5-12 navy/252 13-13 window/253"},
      {"keyword inside a link loses", "\x1Ehttp://found\x1F", R::found, true, all,
       "0-0 window/253 1-12 navy/252 13-13 window/253"},
      {"lone begin marker", "a \x1E b found", R::found, true, all, "2-2 window/253 6-10 red"},
      {"adjacent markers", "\x1E\x1F", R::none, true, all, "0-1 window/253"},
      {"inactive links are plain", "\x1Ex\x1F", R::none, false, all, ""},
      {"selection wins over every colour", "> found", R::found, true, window(0, 0, 3, 3),
       "0-1 404040 2-2 red 3-5 000000/254 6-6 red"},
      {"tabs only when wanted", "a\tfound", R::found, false, tabs, "1-1 000000/255 2-6 red"},
      // The rules come later at the same zOrder, so they still win.
      {"caret line keeps the font colour", "ab\r\n> found", R::found, false, caretLine,
       "4-5 404040 6-10 red"},
      {"nothing searched beyond the visible end", "found\r\n> x found", R::found, false,
       window(0, 10), "0-4 red 7-9 404040"},
      {"searches start at the scan start", "found\r\nfound", R::found, false, window(7, 0),
       "7-11 red"},
      {"selection clipped to the window", "aa\r\nfound\r\nbb", R::found, false,
       window(4, 9, 0, 100), "4-8 000000/254"},
      {"comment with its end key inside the window", "x /* a\r\nb */ y", R::comment, false, all,
       "2-11 gray"},
      {"comment whose end key is not visible", "x /* a\r\nb */ y", R::comment, false, window(0, 6),
       ""},
  };
  HotSpot links;
  links.active = true;
  links.color = clNavy;
  for (const Case& c : cases) {
    DrawRules rules = rulesFor(c.rules);
    ViewWindow w = c.window;
    if (w.visibleEnd == 0) w.visibleEnd = c.text.size();
    SpanResolver resolver;
    EXPECT_EQ(testing::spanText(resolver.resolve(c.text, rules, c.links ? links : HotSpot{}, w)),
              c.expected)
        << c.name;
  }
}

}  // namespace
}  // namespace varnook
