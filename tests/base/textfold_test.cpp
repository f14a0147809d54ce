// Folding for accent-blind matching: what folds to what, and what stays as written.

#include "base/textfold.h"

#include <gtest/gtest.h>

namespace varnook {
namespace {

TEST(TextFold, FoldsCaseAccentsAndCompatibilityFormsButKeepsCjk) {
  const struct {
    std::string_view text, folded;
  } cases[] = {
      {"Hello World 42", "hello world 42"},
      {"M\xC3\xBCller Caf\xC3\xA9 Soci\xC3\xA9t\xC3\xA9", "muller cafe societe"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e",
       "grusse"},                                       // ß -> ss
      {"\xEF\xAC\x81le", "file"},                       // ﬁ ligature
      {"\xEF\xBC\xB7\xEF\xBD\x89\xEF\xBD\x8E", "win"},  // full-width
      {"e\xCC\x81t\xC3\xA9", "ete"},                    // combining accent
      {"\xCE\xA3\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x82",
       "\xCF\x83\xCE\xB9\xCF\x83"
       "\xCF\x85\xCF\x86\xCE\xBF"
       "\xCF\x83"},             // Σίσυφος
      {"M\xFCller", "muller"},  // Latin-1 byte
      {"\x8A"
       "koda",
       "skoda"},                                              // Windows-1252 Š
      {"\xE5\xA4\xA9\xE4\xBD\x93 \xE3\x82\xAC \xED\x95\x9C",  // CJK, kana, Hangul
       "\xE5\xA4\xA9\xE4\xBD\x93 \xE3\x82\xAC \xED\x95\x9C"},
  };
  for (const auto& c : cases) EXPECT_EQ(foldText(c.text), c.folded) << c.text;
  EXPECT_TRUE(isAsciiText("plain text"));
  EXPECT_FALSE(isAsciiText("caf\xC3\xA9"));
}

}  // namespace
}  // namespace varnook
