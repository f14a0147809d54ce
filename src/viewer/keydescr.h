#pragma once

#include <cstdint>
#include <vector>

#include "settings/color.h"

namespace varnook {

// Marks an unused record (and, in a handler's buffer, the end of the valid records).
inline constexpr std::int32_t kUnusedPos = 0x7FFFFFFF;

// One coloured span of the viewer's text. Offsets are byte offsets into the view's whole
// text; `endPos` is the offset of the span's last byte (inclusive).
struct KeyDescr {
  std::int32_t startPos = kUnusedPos;
  std::int32_t endPos = kUnusedPos;
  Color color = 0;
  std::uint8_t zOrder = 0;
  bool isKeyword = false;  // the span is a found keyword

  bool operator==(const KeyDescr&) const = default;
};

// The spans of one repaint, in the order they were found. Cleared, never shrunk, between
// repaints so that the records are reused.
using KeyDescrList = std::vector<KeyDescr>;

}  // namespace varnook
