#include "settings/color.h"

#include <gtest/gtest.h>

#include "settings/fontnames.h"

namespace varnook {
namespace {

// Plain colours have their values, system colours follow the system colour index; every
// name reads back. Other values have no name, and names are matched exactly.
TEST(ColorNames, NamedValuesReadBackOthersHaveNoName) {
  std::vector<std::pair<Color, std::string>> named = {
      {0x000000, "clBlack"}, {0x000080, "clMaroon"},  {0x008000, "clGreen"},
      {0x008080, "clOlive"}, {0x800000, "clNavy"},    {0x800080, "clPurple"},
      {0x808000, "clTeal"},  {0x808080, "clGray"},    {0xC0C0C0, "clSilver"},
      {0x0000FF, "clRed"},   {0x00FF00, "clLime"},    {0x00FFFF, "clYellow"},
      {0xFF0000, "clBlue"},  {0xFF00FF, "clFuchsia"}, {0xFFFF00, "clAqua"},
      {0xFFFFFF, "clWhite"}, {0x1FFFFFFF, "clNone"},
  };
  const char* system[] = {
      "clScrollBar",    "clBackground",  "clActiveCaption", "clInactiveCaption",
      "clMenu",         "clWindow",      "clWindowFrame",   "clMenuText",
      "clWindowText",   "clCaptionText", "clActiveBorder",  "clInactiveBorder",
      "clAppWorkSpace", "clHighlight",   "clHighlightText", "clBtnFace",
      "clBtnShadow",    "clGrayText",    "clBtnText",       "clInactiveCaptionText",
      "clBtnHighlight", "cl3DDkShadow",  "cl3DLight",       "clInfoText",
      "clInfoBk",
  };
  for (Color index = 0; index < 25; ++index) named.emplace_back(0x80000000u + index, system[index]);
  for (const auto& [color, name] : named) {
    EXPECT_EQ(colorName(color), name);
    EXPECT_EQ(colorFromName(name), color) << name;
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
  EXPECT_EQ(charsetName(1), "DEFAULT_CHARSET");
  EXPECT_EQ(charsetName(0), "ANSI_CHARSET");
  EXPECT_EQ(charsetName(204), "RUSSIAN_CHARSET");
  EXPECT_EQ(charsetName(129), "HANGEUL_CHARSET");
  EXPECT_EQ(charsetFromName("HANGUL_CHARSET"), 129);
  EXPECT_EQ(charsetFromName("OEM_CHARSET"), 255);
  EXPECT_FALSE(charsetName(3));
  EXPECT_FALSE(charsetFromName("default_charset"));
  for (FontPitch p : {FontPitch::fpDefault, FontPitch::fpVariable, FontPitch::fpFixed}) {
    EXPECT_EQ(pitchFromName(pitchName(p)), p);
  }
  EXPECT_EQ(pitchName(FontPitch::fpFixed), "fpFixed");
  EXPECT_FALSE(pitchFromName("fpfixed"));
  EXPECT_EQ(fontStyleFromName("fsStrikeOut"), fsStrikeOut);
  EXPECT_FALSE(fontStyleFromName("fsNone"));
}

}  // namespace
}  // namespace varnook
