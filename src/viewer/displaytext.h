#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/charset.h"

namespace varnook {

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
inline bool isValidUtf8(std::string_view bytes) {
  return isWellFormedUtf8(bytes);
}

// The bytes a view shows and how they map to what it displays. Valid UTF-8 is shown as
// UTF-8, anything else as Windows-1252. Lines end at LF; a CR before the LF belongs to the
// line end. The displayed text joins the lines with LF; every other character that an
// editor would take as a line or paragraph break (a lone CR, U+2029, U+FDD0, U+FDD1) is
// shown as U+FFFD, so displayed line i is always line i of the bytes.
//
// Offsets are byte offsets into bytes(); "units" are UTF-16 code units of the displayed
// line. The text is limited to kMaxLength bytes; a longer one is cut there.
class DisplayText {
 public:
  enum class Encoding { Utf8, Windows1252 };
  static constexpr std::size_t kMaxLength = 0x7FFFFFF0;

  DisplayText() { lineStarts_.push_back(0); }
  explicit DisplayText(std::string bytes);

  const std::string& bytes() const { return bytes_; }
  Encoding encoding() const { return encoding_; }

  // Always at least 1 (an empty text has one empty line).
  std::size_t lineCount() const { return lineStarts_.size(); }
  std::size_t lineStart(std::size_t line) const { return lineStarts_[line]; }
  // Offset of the line's CR LF or LF, or the end of the text for the last line.
  std::size_t lineEnd(std::size_t line) const;
  std::string_view line(std::size_t line) const;
  // The line holding `offset`; offsets in a line end belong to that line.
  std::size_t lineOfOffset(std::size_t offset) const;

  // The UTF-16 units that the bytes [from, to) of one line show as (0 when to <= from).
  std::size_t unitsBetween(std::size_t from, std::size_t to) const;
  // The byte offset of unit `unit` of line `line`, counted from the line's start; units
  // past the line's end give lineEnd(line).
  std::size_t offsetOfUnit(std::size_t line, std::size_t unit) const;

  // The displayed text, decoded.
  std::u16string decode() const;

 private:
  std::string bytes_;
  Encoding encoding_ = Encoding::Utf8;
  std::vector<std::uint32_t> lineStarts_;
};

}  // namespace varnook
