// Unsigned decimal numbers as protocols and files write them: digits only, no sign, no
// blanks, and nothing that does not fit the type (which is refused, never wrapped).
#pragma once

#include <limits>
#include <optional>
#include <string_view>

namespace varnook {

template <typename Unsigned>
std::optional<Unsigned> parseDecimal(std::string_view text) {
  constexpr Unsigned kMax = std::numeric_limits<Unsigned>::max();
  if (text.empty() || text.size() > std::numeric_limits<Unsigned>::digits10 + 1u)
    return std::nullopt;
  Unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<Unsigned>(c - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = static_cast<Unsigned>(value * 10 + digit);
  }
  return value;
}

}  // namespace varnook
