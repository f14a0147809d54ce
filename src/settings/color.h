#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnook {

// A colour value: red in the low byte, then green, then blue (0x0000FF is red). A value
// with the top bit set names a system colour (its low byte is the system colour index),
// which the desktop program resolves through its palette.
using Color = std::uint32_t;

inline constexpr Color clBlack = 0x000000;
inline constexpr Color clMaroon = 0x000080;
inline constexpr Color clGreen = 0x008000;
inline constexpr Color clOlive = 0x008080;
inline constexpr Color clNavy = 0x800000;
inline constexpr Color clPurple = 0x800080;
inline constexpr Color clTeal = 0x808000;
inline constexpr Color clGray = 0x808080;
inline constexpr Color clSilver = 0xC0C0C0;
inline constexpr Color clRed = 0x0000FF;
inline constexpr Color clLime = 0x00FF00;
inline constexpr Color clYellow = 0x00FFFF;
inline constexpr Color clBlue = 0xFF0000;
inline constexpr Color clFuchsia = 0xFF00FF;
inline constexpr Color clAqua = 0xFFFF00;
inline constexpr Color clWhite = 0xFFFFFF;
inline constexpr Color clNone = 0x1FFFFFFF;

// System colours, by their index in the platform's system colour table.
inline constexpr Color kSystemColorFlag = 0x80000000;
inline constexpr Color clScrollBar = 0x80000000;
inline constexpr Color clBackground = 0x80000001;
inline constexpr Color clActiveCaption = 0x80000002;
inline constexpr Color clInactiveCaption = 0x80000003;
inline constexpr Color clMenu = 0x80000004;
inline constexpr Color clWindow = 0x80000005;
inline constexpr Color clWindowFrame = 0x80000006;
inline constexpr Color clMenuText = 0x80000007;
inline constexpr Color clWindowText = 0x80000008;
inline constexpr Color clCaptionText = 0x80000009;
inline constexpr Color clActiveBorder = 0x8000000A;
inline constexpr Color clInactiveBorder = 0x8000000B;
inline constexpr Color clAppWorkSpace = 0x8000000C;
inline constexpr Color clHighlight = 0x8000000D;
inline constexpr Color clHighlightText = 0x8000000E;
inline constexpr Color clBtnFace = 0x8000000F;
inline constexpr Color clBtnShadow = 0x80000010;
inline constexpr Color clGrayText = 0x80000011;
inline constexpr Color clBtnText = 0x80000012;
inline constexpr Color clInactiveCaptionText = 0x80000013;
inline constexpr Color clBtnHighlight = 0x80000014;
inline constexpr Color cl3DDkShadow = 0x80000015;
inline constexpr Color cl3DLight = 0x80000016;
inline constexpr Color clInfoText = 0x80000017;
inline constexpr Color clInfoBk = 0x80000018;

inline constexpr bool isSystemColor(Color c) {
  return (c & kSystemColorFlag) != 0;
}
inline constexpr int redOf(Color c) {
  return static_cast<int>(c & 0xFF);
}
inline constexpr int greenOf(Color c) {
  return static_cast<int>((c >> 8) & 0xFF);
}
inline constexpr int blueOf(Color c) {
  return static_cast<int>((c >> 16) & 0xFF);
}

// The identifier of a named colour ("clGreen"), or nothing.
std::optional<std::string_view> colorName(Color color);
// The colour of an identifier ("clGreen"), or nothing.
std::optional<Color> colorFromName(std::string_view name);

// A colour as it appears in colour-rule text: six upper-case hex digits in red, green,
// blue order ("%6.6X" of the colour with its red and blue bytes swapped).
std::string colorRuleText(Color color);

}  // namespace varnook
