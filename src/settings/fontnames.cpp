#include "settings/fontnames.h"

#include <array>

namespace varnook {

namespace {

struct NamedCharset {
  std::int32_t charset;
  std::string_view name;
};

// The Windows GDI character sets. HANGUL_CHARSET is the other spelling of 129; it is only
// accepted when reading, HANGEUL_CHARSET is written.
constexpr std::array<NamedCharset, 20> kCharsets{{
    {0, "ANSI_CHARSET"},          {1, "DEFAULT_CHARSET"},    {2, "SYMBOL_CHARSET"},
    {77, "MAC_CHARSET"},          {128, "SHIFTJIS_CHARSET"}, {129, "HANGEUL_CHARSET"},
    {129, "HANGUL_CHARSET"},      {130, "JOHAB_CHARSET"},    {134, "GB2312_CHARSET"},
    {136, "CHINESEBIG5_CHARSET"}, {161, "GREEK_CHARSET"},    {162, "TURKISH_CHARSET"},
    {163, "VIETNAMESE_CHARSET"},  {177, "HEBREW_CHARSET"},   {178, "ARABIC_CHARSET"},
    {186, "BALTIC_CHARSET"},      {204, "RUSSIAN_CHARSET"},  {222, "THAI_CHARSET"},
    {238, "EASTEUROPE_CHARSET"},  {255, "OEM_CHARSET"},
}};

constexpr std::array<std::string_view, 3> kPitchNames{"fpDefault", "fpVariable", "fpFixed"};

}  // namespace

std::optional<std::string_view> charsetName(std::int32_t charset) {
  for (const NamedCharset& entry : kCharsets) {
    if (entry.charset == charset) return entry.name;
  }
  return std::nullopt;
}

std::optional<std::int32_t> charsetFromName(std::string_view name) {
  for (const NamedCharset& entry : kCharsets) {
    if (entry.name == name) return entry.charset;
  }
  return std::nullopt;
}

std::string_view pitchName(FontPitch pitch) {
  const auto index = static_cast<std::size_t>(pitch);
  return index < kPitchNames.size() ? kPitchNames[index] : kPitchNames[0];
}

std::optional<FontPitch> pitchFromName(std::string_view name) {
  for (std::size_t i = 0; i < kPitchNames.size(); ++i) {
    if (kPitchNames[i] == name) return static_cast<FontPitch>(i);
  }
  return std::nullopt;
}

std::optional<FontStyle> fontStyleFromName(std::string_view name) {
  for (const FontStyleName& entry : kFontStyleNames) {
    if (entry.name == name) return entry.bit;
  }
  return std::nullopt;
}

}  // namespace varnook
