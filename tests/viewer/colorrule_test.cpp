#include "viewer/colorrule.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "viewer/drawrules.h"

namespace varnook {
namespace {

// The spans found, as "start-end colour" (a colour by its name, or in hexadecimal).
std::string spansOf(ColorRule& rule, std::string_view text, std::size_t from = 0) {
  static const std::map<Color, std::string> names = {
      {clRed, "red"}, {clBlue, "blue"}, {clGray, "gray"}, {clLime, "lime"}};
  KeyDescrList list;
  rule.findSpans(text, from, list);
  std::ostringstream out;
  for (const KeyDescr& k : list) {
    out << (out.tellp() > 0 ? " " : "") << k.startPos << "-" << k.endPos << " ";
    const auto name = names.find(k.color);
    if (name != names.end()) {
      out << name->second;
    } else {
      out << std::hex << std::uppercase << std::setw(6) << std::setfill('0') << k.color << std::dec;
    }
  }
  return out.str();
}

TEST(ReadColorText, NamesAndRedFirstNumbers) {
  struct Case {
    const char* text;
    Color expected;
  };
  const Case cases[] = {
      {"red", 0x0000FF},      {" Red ", 0x0000FF},      {"NAVY", 0x800000},
      {"fuchsia", 0xFF00FF},  {"$0000FF", 0xFF0000},    {"#0000FF", 0xFF0000},
      {"0000FF", 0xFF0000},   {"$00F000", 0x00F000},    {"$FF0000", 0x0000FF},
      {"#$404040", 0x404040}, {"$FFFFFFFF", 0xFFFFFF},  {"$123456789", 0xFFFFFF},
      {"zz", 0xFFFFFF},       {"12$34", 0xFFFFFF},      {"#", 0xFFFFFF},
      {"redd", 0xFFFFFF},     {"$12x", 0xFFFFFF},       {"", 0x123456},
      {"  \t ", 0x123456},    {"$000000001", 0x010000}, {"$0000000001", 0x000000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readColorText(c.text, 0x123456), c.expected) << '"' << c.text << '"';
  }
}

TEST(ColorRulePrepare, KeywordIndexHoldsUpperCasedKeywordsAndColourBytes) {
  ColorRule rule(KeyDrawingType::dtKeyShow);
  rule.setKeywords({"found", "", "  ", "keywords", " ;red"});
  EXPECT_TRUE(rule.prepare());
  const std::string red("\xFF\0\0\0", 4);
  EXPECT_EQ(rule.keywordIndex(), "*FOUND*+" + red + "*KEYWORDS*+" + red + "*");

  rule.setKeyCase(true);
  rule.setKeywords({"Found;$00F000"});
  rule.prepare();
  EXPECT_EQ(rule.keywordIndex(), std::string("*Found*+\0\xF0\0\0*", 13));

  rule.setKeywords({});
  EXPECT_FALSE(rule.prepare());
  EXPECT_EQ(rule.keywordIndex(), "*");
}

TEST(ColorRulePrepare, EntryTablesFromTheKeyLists) {
  ColorRule rule(KeyDrawingType::dtBeginEnd);
  rule.setKeyBegEndLst({"begin12345;end12345;navy", "noend;", "a;b;c;blue"});
  EXPECT_TRUE(rule.prepare());
  const auto& e = rule.entries();
  EXPECT_EQ(e[0].beginKey, "begin1");  // keys are cut to six bytes
  EXPECT_EQ(e[0].endKey, "end123");
  EXPECT_EQ(e[0].color, clNavy);
  EXPECT_EQ(e[1].endKey, "");
  EXPECT_EQ(e[1].color, clRed);  // no colour: the default
  EXPECT_EQ(e[2].endKey, "b");
  EXPECT_EQ(e[2].color, clBlue);  // the colour follows the last ";"

  ColorRule lines(KeyDrawingType::dtBeginLineEnd);
  lines.setDefKeyColor(clGreen);
  lines.setKeyLineEndLst({";x", ">; ", "longkey1;blue"});
  EXPECT_TRUE(lines.prepare());
  EXPECT_EQ(lines.entries()[0].beginKey, ";x");  // a single ";" first: the whole line
  EXPECT_EQ(lines.entries()[1].color, clGreen);  // a blank colour text: the default
  EXPECT_EQ(lines.entries()[2].beginKey, "longke");
}

TEST(ColorRuleKeywords, WholeWordsCaseAndOverlap) {
  const std::string longKeyword(31, 'k');
  const std::string longText = std::string(30, 'k') + " " + std::string(31, 'k');
  struct Case {
    const char* name;
    std::vector<std::string> keywords;
    std::string text;
    bool partWord, keyCase;
    const char* expected;
  };
  const Case cases[] = {
      {"inside a word", {"found"}, "unfounded", false, false, ""},
      {"part word", {"found"}, "unfounded", true, false, "2-6 red"},
      {"( and 2 end words",
       {"found"},
       "2found (found) found2",
       false,
       false,
       "1-5 red 8-12 red 15-19 red"},
      {"underscore ends a word", {"found"}, "found_x", false, false, "0-4 red"},
      {"at sign is a word character", {"found"}, "found@x x@found", false, false, ""},
      {"any case", {"found"}, "Found FOUND found", false, false, "0-4 red 6-10 red 12-16 red"},
      {"case kept", {"found"}, "Found FOUND found", false, true, "12-16 red"},
      {"no overlap within one keyword", {"aa"}, "aaa", true, false, "0-1 red"},
      {"keywords in list order", {"b", "a"}, "a b", false, false, "2-2 red 0-0 red"},
      {"own colour", {"x;blue"}, "x", false, false, "0-0 blue"},
      {"empty list with part word", {}, "anything", true, false, ""},
      {"only 30 characters count", {longKeyword}, longText, false, false, "0-29 red"},
      {"non-ASCII bytes end words", {"caf"}, "caf\xC3\xA9", false, false, "0-2 red"},
  };
  for (const Case& c : cases) {
    ColorRule rule(KeyDrawingType::dtKeyShow);
    rule.setKeywords(c.keywords);
    rule.setPartWord(c.partWord);
    rule.setKeyCase(c.keyCase);
    EXPECT_EQ(spansOf(rule, c.text), c.expected) << c.name;
  }
}

TEST(ColorRuleKeywords, SearchStartCountsAsWordBoundaryAndOffsetsAreWhole) {
  ColorRule rule(KeyDrawingType::dtKeyShow);
  rule.setKeywords({"found"});
  EXPECT_EQ(spansOf(rule, "xfound found", 1), "1-5 red 7-11 red");
  KeyDescrList list;
  rule.findSpans("found", 0, list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list[0].isKeyword);
  rule.setZOrder(7);
  list.clear();
  rule.findSpans("found", 0, list);
  EXPECT_EQ(list[0].zOrder, 7);
}

struct LineCase {
  const char* name;
  std::vector<std::string> entries;
  const char* text;
  const char* expected;
};

TEST(ColorRuleLineEnd, QuotationLevelsAndLineEnds) {
  const std::vector<std::string> quotes = {">>>>;$00F000", ">>>;$00C000", ">>;$008000",
                                           ">;$404040"};
  std::vector<std::string> fortyOneLines;
  for (int i = 0; i < 40; ++i) fortyOneLines.push_back("#" + std::to_string(i) + ";red");
  fortyOneLines.push_back(">;blue");
  std::vector<std::string> fortyLines(fortyOneLines.begin() + 1, fortyOneLines.end());

  const LineCase cases[] = {
      {">>> text", quotes, ">>> text\r\nnext", "0-7 00C000"},
      {"levels per line", quotes, "> a\r\n>>>> b\r\n>> c", "0-2 404040 5-10 00F000 13-16 008000"},
      {"key inside a line", quotes, "a > b\r\n", "2-4 404040"},
      {"lone LF ends a line", quotes, "> a\n> b", "0-2 404040 4-6 404040"},
      {"key at the line end", quotes, "a>\r\nb", "1-1 404040"},
      {"semicolon key", {";;RED"}, "a; b", "1-3 red"},
      {"empty line stops the search", {"", ">;red"}, "> x", ""},
      {"41st line has no effect", fortyOneLines, "> x", ""},
      {"40th line counts", fortyLines, "> x", "0-2 blue"},
  };
  for (const LineCase& c : cases) {
    ColorRule rule(KeyDrawingType::dtBeginLineEnd);
    rule.setKeyLineEndLst(c.entries);
    EXPECT_EQ(spansOf(rule, c.text), c.expected) << c.name;
  }
}

TEST(ColorRuleBeginEnd, KeysFirstEntryWinsAndMissingEndStops) {
  std::vector<std::string> fortyOne(40, "#;#;red");
  fortyOne.push_back("(;);blue");

  const LineCase cases[] = {
      {"both keys coloured", {"/*;*/;GRAY"}, "x /* a */ y", "2-8 gray"},
      {"missing end key ends the rule", {"/*;*/;GRAY", "{;};red"}, "/* {a}", ""},
      {"several spans", {"(;);red"}, "(a) (b)", "0-2 red 4-6 red"},
      {"end key searched after the begin key's first byte", {"/*;*/;red"}, "/*/", "0-2 red"},
      {"first listed wins at equal places", {"ab;x;red", "a;x;blue"}, "abx", "0-2 red"},
      {"earliest occurrence wins", {"b;x;red", "a;x;blue"}, "abx", "0-2 blue"},
      {"line without semicolon stops the table", {"abc", "(;);red"}, "(a)", ""},
      {"empty end key cannot end a span", {"(;", "[;];red"}, "( [a]", ""},
      {"41st line has no effect", fortyOne, "(a)", ""},
      {"nested begin keys", {"(;);red"}, "((a))", "0-3 red"},
  };
  for (const LineCase& c : cases) {
    ColorRule rule(KeyDrawingType::dtBeginEnd);
    rule.setKeyBegEndLst(c.entries);
    EXPECT_EQ(spansOf(rule, c.text), c.expected) << c.name;
  }
}

TEST(ColorRule, DisabledRuleAndListChangesTakeEffect) {
  ColorRule rule(KeyDrawingType::dtKeyShow);
  rule.setKeywords({"a"});
  EXPECT_EQ(spansOf(rule, "a"), "0-0 red");
  rule.setEnabled(false);
  EXPECT_EQ(spansOf(rule, "a"), "");
  rule.setEnabled(true);
  rule.setKeywords({"b"});
  EXPECT_EQ(spansOf(rule, "a b"), "2-2 red");
  rule.setDefKeyColor(clLime);
  EXPECT_EQ(spansOf(rule, "a b"), "2-2 lime");
}

TEST(ColorRuleEventDraw, HandlerSpansAreMovedAndClamped) {
  ColorRule rule(KeyDrawingType::dtEventDraw);
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
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], (KeyDescr{2, 3, clBlue, 9, false}));
  EXPECT_EQ(list[1], (KeyDescr{4, 7, clLime, 200, false}));
}

TEST(DrawRules, RulesSearchInOrderAndTheFirstSetsTheScanHeight) {
  DrawRules rules;
  EXPECT_EQ(rules.linesAboveFirstVisible(), 0);
  ColorRule& first = rules.add(ColorRule(KeyDrawingType::dtKeyShow));
  first.setKeywords({"b"});
  first.setKeyMaxHeight(3);
  rules.add(ColorRule(KeyDrawingType::dtKeyShow)).setKeywords({"a"});
  EXPECT_EQ(rules.linesAboveFirstVisible(), 2);
  KeyDescrList list;
  rules.findSpans("a b", 0, list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].startPos, 2);
  EXPECT_EQ(list[1].startPos, 0);

  DrawRules copy = rules;
  rules[0].setKeywords({"zzz"});
  list.clear();
  copy.findSpans("a b", 0, list);
  EXPECT_EQ(list.size(), 2u);  // the copy kept its own lists
}

}  // namespace
}  // namespace varnook
