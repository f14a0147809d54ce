// Date header values, Received headers and mbox envelope lines.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "server/headerdate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnook::server;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto date :
       {parseHeaderDate(text), parseReceivedDate(text), parseEnvelopeDate(text)}) {
    if (!date) continue;
    // A date that was read formats with a four-digit year and reads back the same.
    const std::string formatted = formatHeaderDate(*date);
    if (*date != kUnknownDate && formatted.size() != 29) std::abort();
    if (*date != kUnknownDate && parseHeaderDate(formatted) != date) std::abort();
  }
  return 0;
}
