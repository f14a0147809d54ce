#include "settings/color.h"

#include <array>
#include <cstdio>

namespace varnook {

namespace {

struct NamedColor {
  Color color;
  std::string_view name;
};

// Plain colours first, then the system colours in the order of their index, then clNone.
constexpr std::array<NamedColor, 42> kNamedColors{{
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
    {clNone, "clNone"},
}};

}  // namespace

std::optional<std::string_view> colorName(Color color) {
  for (const NamedColor& entry : kNamedColors) {
    if (entry.color == color) return entry.name;
  }
  return std::nullopt;
}

std::optional<Color> colorFromName(std::string_view name) {
  for (const NamedColor& entry : kNamedColors) {
    if (entry.name == name) return entry.color;
  }
  return std::nullopt;
}

std::string colorRuleText(Color color) {
  // Rule texts name colours the way HTML does (red first), while the value keeps red in
  // its low byte: swap the outer bytes, keep the rest (a system colour's flag included).
  const Color swapped = (color & 0xFF00FF00u) | ((color & 0xFFu) << 16) | ((color >> 16) & 0xFFu);
  char text[16];
  std::snprintf(text, sizeof text, "%6.6X", static_cast<unsigned>(swapped));
  return text;
}

}  // namespace varnook
