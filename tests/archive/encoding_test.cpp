#include "archive/encoding.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "archive/articletext.h"
#include "archive/queryurl.h"
#include "support/fixtures.h"

namespace varnook {
namespace {

using namespace std::string_literals;

// That decoding undoes encoding, and that htmlToText never grows its input, is what
// fuzz/archive/encoding_fuzz.cpp checks on every input.
TEST(UrlEncoding, EscapesExactlyTheServiceCharacters) {
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

// Functions of one text and what they give (data/conversions.txt).
TEST(Conversions, Cases) {
  const std::map<std::string, std::function<std::string(const std::string&)>> functions = {
      {"urlDecode", [](const std::string& in) { return urlDecode(in); }},
      {"htmlToText", [](const std::string& in) { return htmlToText(in, true, true); }},
      {"htmlToText keep-tags", [](const std::string& in) { return htmlToText(in, false, true); }},
      {"htmlToText keep-blanks", [](const std::string& in) { return htmlToText(in, true, false); }},
      {"htmlEntityChar", [](const std::string& in) { return std::to_string(htmlEntityChar(in)); }},
      {"convertLineBreaks", [](const std::string& in) { return convertLineBreaks(in); }},
      {"splitHeaderLine",
       [](const std::string& in) {
         const HeaderLine h = splitHeaderLine(in);
         return std::string(h.name) + ";" + std::string(h.value) +
                (h.hasColon ? ";colon" : ";none");
       }},
      {"isQueryUrl",
       [](const std::string& in) { return std::string(isQueryUrl(in) ? "yes" : "no"); }},
      {"isArticleUrl",
       [](const std::string& in) { return std::string(isArticleUrl(in) ? "yes" : "no"); }},
      {"articleNumberFromUrl",
       [](const std::string& in) { return std::to_string(articleNumberFromUrl(in)); }},
  };
  for (const auto& row : testing::readTable("archive/data/conversions.txt", 3))
    EXPECT_EQ(functions.at(row[0])(row[1]), row[2]) << row[0] << " " << row[1];
}

}  // namespace
}  // namespace varnook
