#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "settings/vnkoptions.h"

namespace varnook {

// The identifiers under which a font's attributes are stored. Lookups are exact (the case
// matters) and return nothing for names they do not know.

// Windows character-set identifier of a charset value ("DEFAULT_CHARSET" for 1), or nothing
// for a value without one (those are stored as plain integers).
std::optional<std::string_view> charsetName(std::int32_t charset);
std::optional<std::int32_t> charsetFromName(std::string_view name);

// "fpDefault", "fpVariable", "fpFixed".
std::string_view pitchName(FontPitch pitch);
std::optional<FontPitch> pitchFromName(std::string_view name);

// "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut" and their FontStyle bits.
struct FontStyleName {
  FontStyle bit;
  std::string_view name;
};
inline constexpr FontStyleName kFontStyleNames[] = {
    {fsBold, "fsBold"},
    {fsItalic, "fsItalic"},
    {fsUnderline, "fsUnderline"},
    {fsStrikeOut, "fsStrikeOut"},
};
std::optional<FontStyle> fontStyleFromName(std::string_view name);

}  // namespace varnook
