#include "viewer/colorrule.h"

#include <gtest/gtest.h>

#include "spantext.h"
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
  const std::pair<const char*, Color> cases[] = {
      {"red", 0x0000FF},      {" Red ", 0x0000FF},      {"NAVY", 0x800000},
      {"fuchsia", 0xFF00FF},  {"$0000FF", 0xFF0000},    {"#0000FF", 0xFF0000},
      {"0000FF", 0xFF0000},   {"$00F000", 0x00F000},    {"$FF0000", 0x0000FF},
      {"#$404040", 0x404040}, {"$FFFFFFFF", 0xFFFFFF},  {"$123456789", 0xFFFFFF},
      {"zz", 0xFFFFFF},       {"12$34", 0xFFFFFF},      {"#", 0xFFFFFF},
      {"redd", 0xFFFFFF},     {"$12x", 0xFFFFFF},       {"", 0x123456},
      {"  \t ", 0x123456},    {"$000000001", 0x010000}, {"$0000000001", 0x000000},
  };
  for (const auto& [text, color] : cases) EXPECT_EQ(readColorText(text, 0x123456), color) << text;
}

using K = KeyDrawingType;

struct SpanCase {
  const char* name;
  std::string lines;  // the rule's list, lines parted by "|"
  std::string text;
  const char* expected;
  std::size_t from = 0;
  bool partWord = false, keyCase = false;
  KeyDrawingType type = K::dtKeyShow;
};

void PrintTo(const SpanCase& c, std::ostream* out) {
  *out << c.name;
}

std::vector<SpanCase> ofType(KeyDrawingType type, std::vector<SpanCase> cases) {
  for (SpanCase& c : cases) c.type = type;
  return cases;
}

class ColorRuleSpans : public ::testing::TestWithParam<SpanCase> {};

TEST_P(ColorRuleSpans, Found) {
  const SpanCase& c = GetParam();
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < c.lines.size();) {
    const std::size_t bar = std::min(c.lines.find('|', at), c.lines.size());
    lines.push_back(c.lines.substr(at, bar - at));
    at = bar + 1;
  }
  ColorRule rule(c.type);
  if (c.type == K::dtKeyShow) rule.setKeywords(lines);
  if (c.type == K::dtBeginLineEnd) rule.setKeyLineEndLst(lines);
  if (c.type == K::dtBeginEnd) rule.setKeyBegEndLst(lines);
  rule.setPartWord(c.partWord);
  rule.setKeyCase(c.keyCase);
  EXPECT_EQ(spansOf(rule, c.text, c.from), c.expected);
}

const std::string kQuotes = ">>>>;$00F000|>>>;$00C000|>>;$008000|>;$404040";
// `count` filler lines, then `last`: a rule reads 40 lines.
std::string afterFillers(int count, const std::string& filler, const std::string& last) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += filler + "|";
  return lines + last;
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, ColorRuleSpans,
    ::testing::ValuesIn(ofType(
        K::dtKeyShow,
        {
            {"inside a word", "found", "unfounded", ""},
            {"part word", "found", "unfounded", "2-6 red", 0, true},
            {"( and 2 end words", "found", "2found (found) found2", "1-5 red 8-12 red 15-19 red"},
            {"underscore ends a word", "found", "found_x", "0-4 red"},
            {"at sign is a word character", "found", "found@x x@found", ""},
            {"any case", "found", "Found FOUND found", "0-4 red 6-10 red 12-16 red"},
            {"case kept, own colour", "Found;$00F000", "Found FOUND found", "0-4 00F000", 0, false,
             true},
            {"no overlap within one keyword", "aa", "aaa", "0-1 red", 0, true},
            {"keywords in list order", "b|a", "a b", "2-2 red 0-0 red"},
            {"own colour", "x;blue", "x", "0-0 blue"},
            {"blank keywords are skipped", "|  | ;red|a", "a  b", "0-0 red", 0, true},
            {"empty list with part word", "", "anything", "", 0, true},
            {"only 30 characters count", std::string(31, 'k'),
             std::string(30, 'k') + " " + std::string(31, 'k'), "0-29 red"},
            {"non-ASCII bytes end words", "caf", "caf\xC3\xA9", "0-2 red"},
            {"search start is a word start", "found", "xfound found", "1-5 red 7-11 red", 1},
        })));

INSTANTIATE_TEST_SUITE_P(
    LineEnds, ColorRuleSpans,
    ::testing::ValuesIn(
        ofType(K::dtBeginLineEnd,
               {
                   {">>> text", kQuotes, ">>> text\r\nnext", "0-7 00C000"},
                   {"levels per line", kQuotes, "> a\r\n>>>> b\r\n>> c",
                    "0-2 404040 5-10 00F000 13-16 008000"},
                   {"key inside a line", kQuotes, "a > b\r\n", "2-4 404040"},
                   {"lone LF ends a line", kQuotes, "> a\n> b", "0-2 404040 4-6 404040"},
                   {"key at the line end", kQuotes, "a>\r\nb", "1-1 404040"},
                   {"semicolon key", ";;RED", "a; b", "1-3 red"},
                   {"single semicolon first: the whole line is the key", ";x", "a;x b", "1-4 red"},
                   {"keys cut to six bytes", "longkey1;blue", "a longke b", "2-9 blue"},
                   {"empty line stops the search", "|>;red", "> x", ""},
                   {"41st line has no effect", afterFillers(40, "#;red", ">;blue"), "> x", ""},
                   {"40th line counts", afterFillers(39, "#;red", ">;blue"), "> x", "0-2 blue"},
               })));

INSTANTIATE_TEST_SUITE_P(
    BeginEnd, ColorRuleSpans,
    ::testing::ValuesIn(ofType(
        K::dtBeginEnd,
        {
            {"both keys coloured", "/*;*/;GRAY", "x /* a */ y", "2-8 gray"},
            {"missing end key ends the rule", "/*;*/;GRAY|{;};red", "/* {a}", ""},
            {"several spans, default colour", "(;)", "(a) (b)", "0-2 red 4-6 red"},
            {"keys cut to six bytes", "begin12345;end12345;navy", "begin1 x end123", "0-14 navy"},
            {"colour after the last semicolon", "a;b;c;blue", "a b c", "0-2 blue"},
            {"end key searched after the begin key's first byte", "/*;*/;red", "/*/", "0-2 red"},
            {"first listed wins at equal places", "ab;x;red|a;x;blue", "abx", "0-2 red"},
            {"earliest occurrence wins", "b;x;red|a;x;blue", "abx", "0-2 blue"},
            {"line without semicolon stops the table", "abc|(;);red", "(a)", ""},
            {"empty end key cannot end a span", "(;|[;];red", "( [a]", ""},
            {"41st line has no effect", afterFillers(40, "#;#;red", "(;);blue"), "(a)", ""},
            {"nested begin keys", "(;);red", "((a))", "0-3 red"},
        })));

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
  rule.setZOrder(7);
  EXPECT_EQ(spansOf(rule, "a b"), "2-2 red/7");
  rule.setDefKeyColor(clLime);
  EXPECT_EQ(spansOf(rule, "a b"), "2-2 lime/7");
  KeyDescrList list;
  rule.findSpans("b", 0, list);
  EXPECT_TRUE(list.at(0).isKeyword);

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
