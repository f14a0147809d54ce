// Showing arbitrary article bytes: the encoding decision, the line table, decoding, the
// byte-to-character mapping and the link under a position. The displayed text has one
// line per byte line, and mapping a character boundary back and forth is exact.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "viewer/displaytext.h"
#include "viewer/hotspot.h"
#include "viewer/textwords.h"

using varnook::DisplayText;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const DisplayText text(std::string(reinterpret_cast<const char*>(data), size));
  const std::u16string shown = text.decode();
  std::size_t breaks = 0;
  for (char16_t c : shown) {
    if (c == u'\r' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1) std::abort();
    breaks += c == u'\n';
  }
  if (breaks + 1 != text.lineCount()) std::abort();

  std::size_t shownLineStart = 0;
  for (std::size_t line = 0; line < text.lineCount(); ++line) {
    const std::size_t start = text.lineStart(line);
    const std::size_t end = text.lineEnd(line);
    if (end < start || end > size || text.lineOfOffset(start) != line) std::abort();
    const std::size_t units = text.unitsBetween(start, end);
    if (shownLineStart + units > shown.size()) std::abort();
    if (shownLineStart + units < shown.size() && shown[shownLineStart + units] != u'\n')
      std::abort();
    // About 64 units of each line keep the check linear in the line's length.
    for (std::size_t unit = 0; unit <= units; unit += 1 + units / 64) {
      const std::size_t offset = text.offsetOfUnit(line, unit);
      if (offset < start || offset > end) std::abort();
      // Units that start a character map back exactly.
      const char16_t c = unit < units ? shown[shownLineStart + unit] : 0;
      if (!(c >= 0xDC00 && c <= 0xDFFF) && text.unitsBetween(start, offset) != unit) std::abort();
    }
    const std::string_view bytes = text.line(line);
    for (std::size_t pos = 0; pos < bytes.size(); pos += 1 + bytes.size() / 16) {
      const auto link = varnook::hotSpotTextAt(bytes, pos, '\x1E', '\x1F');
      if (link && link->size() > bytes.size()) std::abort();
      varnook::wordAtCaret(bytes, pos);
    }
    shownLineStart += units + 1;
  }
  return 0;
}
