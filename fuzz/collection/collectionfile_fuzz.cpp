// The collection file reader on arbitrary bytes: no crash, no sanitizer report, what it
// read is written as a file that reads without error, and written and read back to a fixed
// point.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "collection/collectionfile.h"

namespace {

varnook::Collection::NameClock quietClock() {
  return {[] { return 40000.0; }, [](double) {}};
}

std::string roundTrip(const std::string& bytes) {
  varnook::Collection c(quietClock());
  varnook::readCollection(c, bytes, "fuzz.vnk");
  return varnook::writeCollection(c);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  varnook::Collection c(quietClock());
  const varnook::LoadResult result = varnook::readCollection(c, input, "fuzz.vnk");
  if (!result.ok() && result.message.empty()) std::abort();
  varnook::Collection reread(quietClock());
  if (!varnook::readCollection(reread, varnook::writeCollection(c), "fuzz.vnk").ok()) std::abort();
  const std::string second = roundTrip(varnook::writeCollection(c));
  const std::string third = roundTrip(second);
  if (second != third) std::abort();
  return 0;
}
