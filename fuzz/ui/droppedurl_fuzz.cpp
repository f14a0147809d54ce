// Data another program drops onto the window: a URI list, a Mozilla URL (UTF-16) or plain
// text, read into the URL text that the window then checks as a search or article URL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive/queryurl.h"
#include "collection/request.h"
#include "ui/droppedurl.h"
#include "ui/searchtext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const auto format : {varnook::DropFormat::UriList, varnook::DropFormat::MozUrl,
                            varnook::DropFormat::PlainText}) {
    const std::string text = varnook::droppedUrlText(format, bytes);
    // One line, trimmed: no line break and no blank or control byte at either end.
    if (text.find_first_of("\r\n") != std::string::npos) std::abort();
    if (!text.empty() && (static_cast<unsigned char>(text.front()) <= 32 ||
                          static_cast<unsigned char>(text.back()) <= 32))
      std::abort();
    // What the window does with an accepted drop.
    if (varnook::isQueryUrl(text)) {
      varnook::Request request("");
      varnook::parseQueryParameters(request, text);
      varnook::buildQueryUrl(request, false, varnook::ServiceSettings());
    }
    if (varnook::isArticleUrl(text)) varnook::articleNumberFromUrl(text);
  }
  // The text rules used on dropped and typed text.
  const std::string stripped = varnook::stripReplyPrefixes(bytes);
  if (stripped.size() > size) std::abort();
  if (varnook::safeFileName(bytes).size() > 32) std::abort();
  varnook::combineTerms("old", bytes);
  return 0;
}
