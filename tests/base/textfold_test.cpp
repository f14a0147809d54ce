#include "base/textfold.h"

#include <gtest/gtest.h>

namespace varnook {
namespace {

TEST(TextFold, FoldsCaseAccentsAndCompatibilityFormsButKeepsCjk) {
  const std::pair<const char*, const char*> cases[] = {
      {"M\xC3\xBCller Caf\xC3\xA9 GR\xC3\x9C\xC3\x9F"
       "E",
       "muller cafe grusse"},                                                // ß -> ss
      {"\xEF\xAC\x81le \xEF\xBC\xB7in e\xCC\x81t\xC3\xA9", "file win ete"},  // ﬁ, full width
      {"\xCE\xA3\xCE\xAF\xCF\x82", "\xCF\x83\xCE\xB9\xCF\x83"},              // Σίς -> σισ
      {"M\xFCller \x8A"
       "koda",
       "muller skoda"},  // Latin-1, Windows-1252
      {"\xE5\xA4\xA9 \xE3\x82\xAC \xED\x95\x9C", "\xE5\xA4\xA9 \xE3\x82\xAC \xED\x95\x9C"},
  };
  for (const auto& [text, folded] : cases) EXPECT_EQ(foldText(text), folded) << text;
  EXPECT_TRUE(isAsciiText("plain") && !isAsciiText("caf\xC3\xA9"));
}

}  // namespace
}  // namespace varnook
