#include "viewer/colorrule.h"

#include <gtest/gtest.h>

#include <map>

#include "spantext.h"
#include "support/fixtures.h"
#include "viewer/drawrules.h"

namespace varnook {
namespace {

using testing::spanText;

std::string spansOf(ColorRule& rule, std::string_view text, std::size_t from = 0) {
  KeyDescrList list;
  rule.findSpans(text, from, list);
  return spanText(list);
}

TEST(ReadColorText, NamesAndRedFirstNumbers) {
  for (auto row : testing::readTable("viewer/data/colortexts.txt")) {
    row.resize(2);
    EXPECT_EQ(readColorText(row[0], 0x123456), std::stoul(row[1], nullptr, 16)) << row[0];
  }
}

using K = KeyDrawingType;

// A rule of `type` with `lines` as its list (lines parted by "|") and the flags "p" (part
// word) or "k" (key case).
ColorRule ruleOf(K type, const std::string& lines, const std::string& flags = "") {
  std::vector<std::string> list;
  for (std::size_t at = 0; at < lines.size();) {
    const std::size_t bar = std::min(lines.find('|', at), lines.size());
    list.push_back(lines.substr(at, bar - at));
    at = bar + 1;
  }
  ColorRule rule(type);
  if (type == K::dtKeyShow) rule.setKeywords(list);
  if (type == K::dtBeginLineEnd) rule.setKeyLineEndLst(list);
  if (type == K::dtBeginEnd) rule.setKeyBegEndLst(list);
  rule.setPartWord(flags == "p");
  rule.setKeyCase(flags == "k");
  return rule;
}

TEST(ColorRule, FindsTheSpansOfEachCase) {
  const std::map<std::string, K> types = {
      {"keywords", K::dtKeyShow}, {"lineends", K::dtBeginLineEnd}, {"beginend", K::dtBeginEnd}};
  for (auto row : testing::readTable("viewer/data/spans.txt")) {
    row.resize(7);
    ColorRule rule = ruleOf(types.at(row[0]), row[2], row[6]);
    EXPECT_EQ(spansOf(rule, row[3], row[5].empty() ? 0 : std::stoul(row[5])), row[4]) << row[1];
  }
  // A rule reads 40 lines of its list: the line after 39 fillers counts, after 40 not.
  for (int count : {39, 40}) {
    std::string lines[2];
    for (int i = 0; i < count; ++i) lines[0] += "#;red|", lines[1] += "#;#;red|";
    ColorRule lineEnds = ruleOf(K::dtBeginLineEnd, lines[0] + ">;blue");
    ColorRule beginEnd = ruleOf(K::dtBeginEnd, lines[1] + "(;);blue");
    EXPECT_EQ(spansOf(lineEnds, "> x"), count == 40 ? "" : "0-2 blue") << count;
    EXPECT_EQ(spansOf(beginEnd, "(a)"), count == 40 ? "" : "0-2 blue") << count;
  }
}

TEST(ColorRule, SettersTakeEffectAtTheNextSearch) {
  ColorRule rule(K::dtKeyShow);
  EXPECT_FALSE(rule.prepare());  // an empty list: nothing to do
  rule.setKeywords({"a"});
  EXPECT_TRUE(rule.prepare());
  EXPECT_EQ(spansOf(rule, "a"), "0-0 red");
  rule.setEnabled(false);
  EXPECT_EQ(spansOf(rule, "a"), "");
  rule.setEnabled(true);
  rule.setKeywords({"b"});
  EXPECT_EQ(spansOf(rule, "a b"), "2-2 red");

  // A blank colour text takes the rule's default colour.
  ColorRule lines(K::dtBeginLineEnd);
  lines.setDefKeyColor(clLime);
  lines.setKeyLineEndLst({">; "});
  EXPECT_EQ(spansOf(lines, "> a"), "0-2 lime");
}

TEST(ColorRuleEventDraw, HandlerSpansAreMovedAndClamped) {
  ColorRule rule(K::dtEventDraw);
  rule.setZOrder(9);
  DrawEventSource events;
  int calls = 0;
  events.onDraw = [&](const ColorRule& sender, std::string_view from, std::span<KeyDescr> buffer,
                      int& count) {
    ++calls;
    EXPECT_EQ(&sender, &rule);
    EXPECT_EQ(from, "cdefgh");
    ASSERT_EQ(buffer.size(), 3u);
    buffer[0] = {0, 1, clBlue, 0, false};      // takes the rule's zOrder
    buffer[1] = {2, 100, clLime, 200, false};  // clamped to the text
    buffer[2] = {-1, 2, clRed, 0, false};      // dropped
    count = 50;                                // clamped to the capacity
  };
  KeyDescrList list;
  rule.findSpans("abcdefgh", 2, list, &events);
  EXPECT_EQ(calls, 0);  // no buffer: nothing asked, nothing found
  EXPECT_TRUE(list.empty());

  events.colorLimMax = 3;
  rule.findSpans("abcdefgh", 2, list, &events);
  EXPECT_EQ(spanText(list), "2-3 blue/9 4-7 lime/200");
}

TEST(DrawRules, RulesSearchInOrderAndTheFirstSetsTheScanHeight) {
  DrawRules rules;
  EXPECT_EQ(rules.linesAboveFirstVisible(), 0);
  ColorRule& first = rules.add(ColorRule(K::dtKeyShow));
  first.setKeywords({"b"});
  first.setKeyMaxHeight(3);
  rules.add(ColorRule(K::dtKeyShow)).setKeywords({"a"});
  EXPECT_EQ(rules.linesAboveFirstVisible(), 2);
  DrawRules copy = rules;
  rules[0].setKeywords({"zzz"});
  for (DrawRules* searched : {&copy, &rules}) {
    KeyDescrList list;
    searched->findSpans("a b", 0, list);
    EXPECT_EQ(spanText(list), searched == &copy ? "2-2 red 0-0 red" : "0-0 red");
  }
}

}  // namespace
}  // namespace varnook
