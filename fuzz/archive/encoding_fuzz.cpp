// The text conversions on arbitrary bytes: htmlToText never grows its input, and
// urlDecode undoes urlEncode in both blank modes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnook;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (urlDecode(text).size() > text.size()) std::abort();
  for (int flags = 0; flags < 4; ++flags)
    if (htmlToText(text, flags & 1, flags & 2).size() > text.size()) std::abort();
  for (bool blanksAsPlus : {false, true}) {
    const std::string encoded = urlEncode(text, blanksAsPlus);
    if (urlDecode(encoded) != text) std::abort();
  }
  // The longest prefix that can be an entity name.
  const int entity = htmlEntityChar(text.substr(0, 16));
  if (entity < 0 || entity > 255) std::abort();
  return 0;
}
