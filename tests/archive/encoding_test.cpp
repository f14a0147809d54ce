#include "archive/encoding.h"

#include <gtest/gtest.h>

#include <random>

namespace varnook {
namespace {

using namespace std::string_literals;

TEST(UrlEncoding, EscapesExactlyTheServiceCharactersAndDecodingUndoesIt) {
  EXPECT_EQ(urlEncode("x=1&y=~ 1999/03/05", true), "x=1%26y=%7E+1999%2F03%2F05");
  // Every byte: escaped ones become %HH with upper-case digits (a blank "+" when asked
  // for), the rest pass.
  const std::string escaped = "\n\r \"#%&'()*+,/:;<>?@\\^~";
  for (int c = 0; c < 256; ++c) {
    const std::string in(1, static_cast<char>(c));
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02X", c);
    const std::string expected = escaped.find(in) == std::string::npos ? in : hex;
    EXPECT_EQ(urlEncode(in, false), expected) << c;
    EXPECT_EQ(urlEncode(in, true), c == ' ' ? "+" : expected) << c;
  }
  std::mt19937 rng(3);
  for (int round = 0; round < 2000; ++round) {
    std::string s(rng() % 40, '\0');
    for (char& c : s) c = static_cast<char>(rng() % 256);
    EXPECT_EQ(urlDecode(urlEncode(s, true)), s);
    EXPECT_EQ(urlDecode(urlEncode(s, false)), s);
  }
}

TEST(UrlDecode, ReadsEscapesPlusAndMalformedTails) {
  const std::pair<std::string, std::string> cases[] = {
      {"a+b%2c%2Cc", "a b,,c"},
      {"%zz1", "?1"},
      {"%4", "\x04"},
      {"%", "?"},
      {"x%", "x?"},
      {"%g", "?"},
      {"%00a", "\0a"s},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(urlDecode(in), out) << in;
}

struct HtmlCase {
  const char* in;
  bool dropTags, collapse;
  const char* out;
};

TEST(HtmlToText, DecodesEntitiesDropsTagsAndCollapsesBlanks) {
  const HtmlCase cases[] = {
      {"<b>Re:</b>  a&amp;b &lt;x&gt;", true, true, "Re: a&b <x>"},
      {"&copy; &COPY; &Lt;", true, true, "\xA9 &COPY <"},
      {"AT&T rules", true, true, "AT&T rules"},
      {"x &amp", true, true, "x &amp"},
      {"<p>a &amp; b</p>", false, true, "<p>a & b</p>"},
      {"a<br>b", true, true, "ab"},
      {"a &nbsp; b", true, true, "a   b"},
      {"&#65;", true, true, "&#65;"},
      {"&65;", true, true, "A"},
      {"&321;", true, true, "A"},  // low 8 bits
      {"&256;", true, true, "&256"},
      {"&;x", true, true, "&x"},
      {"&", true, true, "&"},
      {"a\t\r\n b", true, true, "a b"},
      {"a\t\r\n b", true, false, "a\t\r\n b"},
      {"&am<i>p;", true, true, "&"},  // a tag inside an entity is dropped
      {"&lt<b", false, true, "&lt<b"},
      {"<unclosed tag", true, true, ""},
      {"&a&amp;", true, true, "&a&amp;"},  // the second "&" starts no entity
      {"&eacute;&Eacute;&EACUTE;", true, true, "\xE9\xC9&EACUTE"},
      {"&nbsp;&NBSP;", true, true, "  "},
      {"&yuml;&szlig;", true, true, "\xFF\xDF"},
      {"a &amp;  b", true, true, "a & b"},
  };
  for (const HtmlCase& c : cases)
    EXPECT_EQ(htmlToText(c.in, c.dropTags, c.collapse), c.out) << c.in;

  std::mt19937 rng(5);
  const char alphabet[] = "<>&;ampltgt#0123 \t\nxy";
  for (int round = 0; round < 5000; ++round) {  // the output is never longer than the input
    std::string s(rng() % 30, ' ');
    for (char& c : s) c = alphabet[rng() % (sizeof alphabet - 1)];
    for (int flags = 0; flags < 4; ++flags)
      EXPECT_LE(htmlToText(s, flags & 1, flags & 2).size(), s.size()) << s;
  }
}

TEST(HtmlEntityChar, KnownNamesNumbersAndUnknown) {
  const std::pair<const char*, int> cases[] = {
      {"LT", '<'},  {"Quot", '"'},   {"nbsp", ' '},      {"iexcl", 161},
      {"uml", 168}, {"Agrave", 192}, {"agrave", 224},    {"AGRAVE", 0},
      {"", 0},      {"9x", 0},       {"99999999999", 0}, {"euro", 0},
  };
  for (const auto& [name, c] : cases) EXPECT_EQ(htmlEntityChar(name), c) << name;
}

}  // namespace
}  // namespace varnook
