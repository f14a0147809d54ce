#include "viewer/spanresolver.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "spantext.h"
#include "support/fixtures.h"
#include "viewer/articlerules.h"

namespace varnook {
namespace {

// The rules a row of data/resolved.txt names: the article view's with the keyword "found"
// ("found"), or variations of them; any other name is a fault of the table.
DrawRules rulesFor(const std::string& which) {
  DrawRules rules;
  if (which == "comment")
    rules.add(ColorRule(KeyDrawingType::dtBeginEnd)).setKeyBegEndLst({"/*;*/;GRAY"});
  if (which == "none" || which == "comment") return rules;
  if (which != "found" && which != "quotesOnTop" && which != "swapped")
    throw std::invalid_argument("no rules " + which);
  HotSpot unused;
  applyArticleOptions(VnkOptions{}, rules, unused);
  rules[1].setKeywords({"found"});
  if (which == "quotesOnTop") rules[0].setZOrder(5);
  if (which != "swapped") return rules;
  DrawRules swapped;
  swapped.add(rules[1]);
  swapped.add(rules[0]);
  return swapped;
}

// The window a row of data/resolved.txt names.
ViewWindow window(const std::string& spec, std::size_t textSize) {
  ViewWindow w;
  if (spec == "tabs") w.wantTabs = true;
  if (spec == "caretLine") {
    w.redrawAlways = true;
    w.caretLineStart = 4;
    w.caret = 8;
    w.fontColor = clBlack;
  }
  std::size_t* fields[] = {&w.scanStart, &w.visibleEnd, &w.selectionStart, &w.selectionLength};
  std::istringstream numbers(spec.find(',') == std::string::npos ? "" : spec);
  for (std::size_t* field : fields) {
    if (numbers >> *field) numbers.ignore();
  }
  if (w.visibleEnd == 0) w.visibleEnd = textSize;
  return w;
}

// Colours as named by testing::spanText: 404040 and 00C000 quotation levels 1 and 3, red
// keywords, navy links between "window" markers, 000000 the unpainted selection and tabs.
TEST(SpanResolver, ColoursOfTheVisibleText) {
  HotSpot links;
  links.active = true;
  links.color = clNavy;
  for (auto row : testing::readTable("viewer/data/resolved.txt")) {
    row.resize(6);
    DrawRules drawRules = rulesFor(row[2]);
    SpanResolver resolver;
    EXPECT_EQ(
        testing::spanText(resolver.resolve(row[1], drawRules, row[3] == "links" ? links : HotSpot{},
                                           window(row[4], row[1].size()))),
        row[5])
        << row[0];
  }
}

}  // namespace
}  // namespace varnook
