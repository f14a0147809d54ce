// Reads arbitrary bytes as a stored options stream, then checks that what was read
// survives being written and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/optionsstream.h"

using varnook::readOptionsStream;
using varnook::VnkOptions;
using varnook::writeOptionsStream;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  VnkOptions read;
  readOptionsStream(bytes, read);

  const std::string written = writeOptionsStream(read);
  // Every written value reads back as itself...
  VnkOptions again = read;
  if (!readOptionsStream(written, again).clean() || !(again == read)) std::abort();
  // ...and over the defaults it gives the same stream (options left out of it, the
  // empty strings, fall back to their defaults on both sides).
  VnkOptions overDefaults;
  readOptionsStream(written, overDefaults);
  VnkOptions fromWritten;
  readOptionsStream(writeOptionsStream(overDefaults), fromWritten);
  if (!(fromWritten == overDefaults)) std::abort();
  return 0;
}
