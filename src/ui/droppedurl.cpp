#include "ui/droppedurl.h"

#include <cstdint>

#include "archive/charset.h"
#include "ui/searchtext.h"

namespace varnook {
namespace {

std::string_view firstLine(std::string_view text) {
  const std::size_t end = text.find_first_of("\r\n");
  return end == std::string_view::npos ? text : text.substr(0, end);
}

// The UTF-16 text up to its first line break, as UTF-8. Unpaired surrogates become
// U+FFFD; an odd last byte is dropped.
std::string utf16FirstLine(std::string_view bytes) {
  bool littleEndian = true;  // every platform this program runs on
  std::size_t i = 0;
  if (bytes.size() >= 2) {
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    if (b0 == 0xFF && b1 == 0xFE) {
      i = 2;
    } else if (b0 == 0xFE && b1 == 0xFF) {
      littleEndian = false;
      i = 2;
    }
  }
  const auto unitAt = [&](std::size_t at) -> std::uint32_t {
    const auto lo = static_cast<unsigned char>(bytes[at + (littleEndian ? 0 : 1)]);
    const auto hi = static_cast<unsigned char>(bytes[at + (littleEndian ? 1 : 0)]);
    return static_cast<std::uint32_t>(hi) << 8 | lo;
  };
  std::string out;
  for (; i + 1 < bytes.size(); i += 2) {
    std::uint32_t unit = unitAt(i);
    if (unit == '\r' || unit == '\n' || unit == 0) break;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
      const std::uint32_t low = unitAt(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    appendUtf8(out, unit);
  }
  return out;
}

}  // namespace

std::string droppedUrlText(DropFormat format, std::string_view bytes) {
  switch (format) {
    case DropFormat::UriList: {
      // The first line that is neither empty nor a comment.
      while (!bytes.empty()) {
        const std::size_t end = bytes.find_first_of("\r\n");
        const std::string_view line =
            trimBlanksAndControls(end == std::string_view::npos ? bytes : bytes.substr(0, end));
        if (!line.empty() && line.front() != '#') return std::string(line);
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
      }
      return {};
    }
    case DropFormat::MozUrl:
      return std::string(trimBlanksAndControls(utf16FirstLine(bytes)));
    case DropFormat::PlainText:
      return std::string(trimBlanksAndControls(firstLine(trimBlanksAndControls(bytes))));
  }
  return {};
}

}  // namespace varnook
