#include "settings/color.h"

#include <gtest/gtest.h>

#include "settings/fontnames.h"
#include "support/fixtures.h"

namespace varnook {
namespace {

// Plain colours have their values, system colours follow the system colour index; every
// name reads back. Other values have no name, and names are matched exactly.
TEST(ColorNames, NamedValuesReadBackOthersHaveNoName) {
  const auto rows = testing::readTable("settings/data/colornames.txt");
  ASSERT_EQ(rows.size(), 42u);
  for (auto row : rows) {
    row.resize(2);
    const auto color = static_cast<Color>(std::stoul(row[1], nullptr, 16));
    EXPECT_EQ(colorName(color), row[0]);
    EXPECT_EQ(colorFromName(row[0]), color) << row[0];
  }
  for (Color c : {0x404040u, 0x00C000u, 0x000001u, 0x01000000u, 0xFFFFFFFFu, 0x80000019u}) {
    EXPECT_FALSE(colorName(c)) << std::hex << c;
  }
  for (const char* name : {"", "clgreen", "CLGREEN", "clGreen ", "Green", "clNone2"}) {
    EXPECT_FALSE(colorFromName(name)) << name;
  }
}

TEST(ColorRuleText, RedComesFirst) {
  const struct {
    Color color;
    const char* text;
  } cases[] = {
      {0x404040, "404040"}, {0x00C000, "00C000"}, {0x0000FF, "FF0000"}, {0x00F000, "00F000"},
      {0x123456, "563412"}, {0x000000, "000000"}, {0xFF0000, "0000FF"}, {clWindowText, "80080000"},
  };
  for (const auto& c : cases) EXPECT_EQ(colorRuleText(c.color), c.text);
}

TEST(FontNames, CharsetsPitchesAndStyles) {
  EXPECT_EQ(charsetName(0), "ANSI_CHARSET");
  EXPECT_EQ(charsetName(129), "HANGEUL_CHARSET");
  EXPECT_EQ(charsetFromName("HANGUL_CHARSET"), 129);
  EXPECT_EQ(charsetFromName("OEM_CHARSET"), 255);
  EXPECT_FALSE(charsetName(3));
  EXPECT_FALSE(charsetFromName("default_charset"));
  EXPECT_FALSE(pitchFromName("fpfixed"));
  EXPECT_FALSE(fontStyleFromName("fsNone"));
}

}  // namespace
}  // namespace varnook
