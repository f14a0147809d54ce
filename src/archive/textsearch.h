#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/asciicase.h"

namespace varnook {

// Position of the first occurrence of `needle` at or after `from`, ignoring the case of
// ASCII letters; npos when there is none. Scans sixteen bytes at a time for places where
// both the needle's first and last bytes match, so marker searches on pages run at memory
// speed.
std::size_t findNoCase(std::string_view haystack, std::string_view needle, std::size_t from = 0);

// A decimal integer with an optional sign that fits 32 bits; nothing otherwise.
std::optional<std::int32_t> parseInt32(std::string_view text);

// Trims characters with codes 0..32 at both ends.
std::string_view trimControls(std::string_view text);

}  // namespace varnook
