#include "archive/encoding.h"

#include <gtest/gtest.h>

#include <random>

namespace varnook {
namespace {

TEST(UrlEncode, EscapesExactlyTheServiceCharacters) {
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
}

TEST(UrlDecode, ReadsEscapesPlusAndMalformedTails) {
  EXPECT_EQ(urlDecode("a+b%2c%2Cc"), "a b,,c");
  EXPECT_EQ(urlDecode("%zz1"), "?1");
  EXPECT_EQ(urlDecode("%4"), std::string(1, '\x04'));
  EXPECT_EQ(urlDecode("%"), "?");
  EXPECT_EQ(urlDecode("x%"), "x?");
  EXPECT_EQ(urlDecode("%g"), "?");
  EXPECT_EQ(urlDecode("%00a"), std::string("\0a", 2));
}

TEST(UrlEncoding, DecodeUndoesEncodeForAnyBytes) {
  std::mt19937 rng(3);
  for (int round = 0; round < 2000; ++round) {
    std::string s(rng() % 40, '\0');
    for (char& c : s) c = static_cast<char>(rng() % 256);
    EXPECT_EQ(urlDecode(urlEncode(s, true)), s);
    EXPECT_EQ(urlDecode(urlEncode(s, false)), s);
  }
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
}

TEST(HtmlToText, OutputNeverLongerThanInput) {
  std::mt19937 rng(5);
  const char alphabet[] = "<>&;ampltgt#0123 \t\nxy";
  for (int round = 0; round < 5000; ++round) {
    std::string s(rng() % 30, ' ');
    for (char& c : s) c = alphabet[rng() % (sizeof alphabet - 1)];
    for (int flags = 0; flags < 4; ++flags)
      EXPECT_LE(htmlToText(s, flags & 1, flags & 2).size(), s.size()) << s;
  }
}

TEST(HtmlEntityChar, KnownNamesNumbersAndUnknown) {
  EXPECT_EQ(htmlEntityChar("LT"), '<');
  EXPECT_EQ(htmlEntityChar("Quot"), '"');
  EXPECT_EQ(htmlEntityChar("nbsp"), ' ');
  EXPECT_EQ(htmlEntityChar("iexcl"), 161);
  EXPECT_EQ(htmlEntityChar("uml"), 168);
  EXPECT_EQ(htmlEntityChar("Agrave"), 192);
  EXPECT_EQ(htmlEntityChar("agrave"), 224);
  EXPECT_EQ(htmlEntityChar("AGRAVE"), 0);
  EXPECT_EQ(htmlEntityChar(""), 0);
  EXPECT_EQ(htmlEntityChar("9x"), 0);
  EXPECT_EQ(htmlEntityChar("99999999999"), 0);
  EXPECT_EQ(htmlEntityChar("euro"), 0);
}

}  // namespace
}  // namespace varnook
