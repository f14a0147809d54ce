// Link markup of arbitrary article text: links are sorted, disjoint, inside the text and
// at most 255 bytes; the marked-up text without its markers is the input; valid UTF-8
// stays valid.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "viewer/displaytext.h"
#include "viewer/markuplinks.h"

using varnook::MarkupLinks;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);

  const auto links = MarkupLinks::findLinks(text);
  std::size_t previousEnd = 0;
  for (const std::uint32_t link : links) {
    const std::size_t start = MarkupLinks::linkOffset(link);
    const std::size_t length = MarkupLinks::linkLength(link);
    if (length == 0 || start < previousEnd || start + length > text.size()) std::abort();
    previousEnd = start + length;
  }

  // The input's own marker bytes would make the markers ambiguous: take them out first.
  for (char& c : text) {
    if (c == '\x1E' || c == '\x1F') c = ' ';
  }
  MarkupLinks markup;
  markup.setInsertBefore("\x1E");
  markup.setInsertAfter("\x1F");
  const MarkupLinks::Result result = markup.markup(text);
  if (!result.ok()) std::abort();
  std::string stripped;
  bool open = false;
  for (char c : result.text) {
    if (c == '\x1E') {
      if (open) std::abort();
      open = true;
    } else if (c == '\x1F') {
      if (!open) std::abort();
      open = false;
    } else {
      stripped.push_back(c);
    }
  }
  if (open || stripped != text) std::abort();
  if (varnook::isValidUtf8(text) && !varnook::isValidUtf8(result.text)) std::abort();
  return 0;
}
