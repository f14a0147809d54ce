#include "viewer/displaytext.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "archive/charset.h"

namespace varnook {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Characters an editor takes as a break inside what is one line here are shown as the
// replacement character. The link markers take no room on screen: a font would draw them
// as boxes or bars beside every link.
char16_t shown(char32_t c) {
  if (c == '\r' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1) return kReplacement;
  if (c == 0x1E || c == 0x1F) return 0x200B;  // zero width space
  return static_cast<char16_t>(c);
}

}  // namespace

DisplayText::DisplayText(std::string bytes) : bytes_(std::move(bytes)) {
  if (bytes_.size() > kMaxLength) bytes_.resize(kMaxLength);
  encoding_ = isValidUtf8(bytes_) ? Encoding::Utf8 : Encoding::Windows1252;
  lineStarts_.push_back(0);
  const char* const base = bytes_.data();
  std::size_t from = 0;
  while (from < bytes_.size()) {
    const void* lf = std::memchr(base + from, '\n', bytes_.size() - from);
    if (lf == nullptr) break;
    from = static_cast<std::size_t>(static_cast<const char*>(lf) - base) + 1;
    lineStarts_.push_back(static_cast<std::uint32_t>(from));
  }
}

std::size_t DisplayText::lineEnd(std::size_t line) const {
  if (line + 1 >= lineStarts_.size()) return bytes_.size();
  std::size_t end = lineStarts_[line + 1] - 1;  // the LF
  if (end > lineStarts_[line] && bytes_[end - 1] == '\r') --end;
  return end;
}

std::string_view DisplayText::line(std::size_t line) const {
  const std::size_t start = lineStarts_[line];
  return std::string_view(bytes_).substr(start, lineEnd(line) - start);
}

std::size_t DisplayText::lineOfOffset(std::size_t offset) const {
  const auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(),
                                   static_cast<std::uint32_t>(std::min(offset, bytes_.size())));
  return static_cast<std::size_t>(it - lineStarts_.begin()) - 1;
}

std::size_t DisplayText::unitsBetween(std::size_t from, std::size_t to) const {
  to = std::min(to, bytes_.size());
  if (to <= from) return 0;
  if (encoding_ == Encoding::Windows1252) return to - from;
  std::size_t units = 0;
  for (std::size_t i = from; i < to; ++i) {
    const auto c = static_cast<unsigned char>(bytes_[i]);
    // Every character counts once at its first byte; those past U+FFFF take two units.
    units += !isContinuation(c);
    units += c >= 0xF0;
  }
  return units;
}

std::size_t DisplayText::offsetOfUnit(std::size_t line, std::size_t unit) const {
  const std::size_t start = lineStarts_[line];
  const std::size_t end = lineEnd(line);
  if (encoding_ == Encoding::Windows1252) return std::min(start + unit, end);
  std::size_t pos = start;
  std::size_t units = 0;
  while (pos < end && units < unit) {
    const auto c = static_cast<unsigned char>(bytes_[pos]);
    const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    units += length == 4 ? 2 : 1;
    pos += length;
  }
  return std::min(pos, end);
}

std::u16string DisplayText::decode() const {
  std::u16string out;
  out.reserve(bytes_.size());
  const auto* const p = reinterpret_cast<const unsigned char*>(bytes_.data());
  for (std::size_t line = 0; line < lineStarts_.size(); ++line) {
    if (line > 0) out.push_back(u'\n');
    std::size_t i = lineStarts_[line];
    const std::size_t end = lineEnd(line);
    if (encoding_ == Encoding::Windows1252) {
      for (; i < end; ++i) {
        const unsigned char c = p[i];
        out.push_back(c >= 0x80 && c < 0xA0 ? windows1252Char(c) : shown(c));
      }
      continue;
    }
    while (i < end) {
      const unsigned char c = p[i];
      if (c < 0x80) {
        out.push_back(shown(c));
        ++i;
        continue;
      }
      // Well-formed: checked when the text was taken.
      char32_t cp;
      std::size_t length;
      if (c < 0xE0) {
        cp = c & 0x1F;
        length = 2;
      } else if (c < 0xF0) {
        cp = c & 0x0F;
        length = 3;
      } else {
        cp = c & 0x07;
        length = 4;
      }
      for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
      i += length;
      if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
      } else {
        out.push_back(shown(cp));
      }
    }
  }
  return out;
}

}  // namespace varnook
