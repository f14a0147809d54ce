// The HTTP response reader, header-line interpretation and the chunked decoder on
// arbitrary server bytes. The first byte chooses how the rest is cut into pieces; whatever
// the cuts, the reader must produce the same lines and document as when fed everything at
// once, and the decoder the same document from it. A redirection target made from a
// Location line never holds a byte that would break the request line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/chunkeddecoder.h"
#include "net/httpresponsereader.h"
#include "net/urlparts.h"

namespace {

struct Outcome {
  std::vector<std::string> lines;
  bool ended = false;
  std::string document;
  bool bad = false;
  bool operator==(const Outcome& o) const {
    return lines == o.lines && ended == o.ended && document == o.document && bad == o.bad;
  }
};

void check(bool condition) {
  if (!condition) __builtin_trap();
}

Outcome read(std::string_view bytes, std::size_t step) {
  varnook::HttpResponseReader reader;
  Outcome outcome;
  while (!bytes.empty()) {
    const std::string_view piece = bytes.substr(0, step);
    bytes.remove_prefix(piece.size());
    reader.feed(piece);
    std::string_view item;
    for (bool more = true; more;) {
      switch (reader.next(&item)) {
        case varnook::HttpResponseReader::Item::NeedMore:
          more = false;
          break;
        case varnook::HttpResponseReader::Item::HeaderLine: {
          check(!item.empty() && item.size() <= varnook::HttpResponseReader::kMaxLineLength);
          check(item.find('\n') == std::string_view::npos);
          outcome.lines.emplace_back(item);
          int code = 0;
          std::string_view reason;
          if (varnook::parseStatusLine(item, &code, &reason) == varnook::StatusLineKind::Valid) {
            check(code >= 0 && code <= 999);
          }
          std::string name;
          std::string_view value;
          if (varnook::splitHeaderField(item, &name, &value)) {
            check(name.size() < item.size());
            check(varnook::parseContentLength(value) >= -1);
            if (name == "location") {
              const std::string target = varnook::encodeUnsafeUrlBytes(
                  varnook::resolveLocation("http://host/dir/page", value));
              check(!varnook::hasUnsafeUrlBytes(target));
            }
          }
          break;
        }
        case varnook::HttpResponseReader::Item::HeaderEnd:
          outcome.ended = true;
          break;
        case varnook::HttpResponseReader::Item::DocumentData:
          check(outcome.ended);
          outcome.document.append(item);
          break;
        case varnook::HttpResponseReader::Item::Bad:
          outcome.bad = true;
          return outcome;
      }
    }
  }
  return outcome;
}

// The document with the chunked coding taken off, cut into pieces of `step` bytes.
std::string decodeChunks(std::string_view document, std::size_t step, bool* bad) {
  varnook::ChunkedDecoder decoder;
  std::string decoded;
  *bad = false;
  while (!document.empty()) {
    const std::string_view piece = document.substr(0, step);
    document.remove_prefix(piece.size());
    decoder.feed(piece);
    std::string_view data;
    for (bool more = true; more;) {
      switch (decoder.next(&data)) {
        case varnook::ChunkedDecoder::Item::Data:
          check(!data.empty());
          decoded.append(data);
          break;
        case varnook::ChunkedDecoder::Item::End:
          check(decoder.ended());
          return decoded;
        case varnook::ChunkedDecoder::Item::Bad:
          *bad = true;
          return decoded;
        case varnook::ChunkedDecoder::Item::NeedMore:
          more = false;
          break;
      }
    }
  }
  return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t step = 1 + data[0] % 64;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Outcome whole = read(bytes, bytes.size() + 1);
  check(read(bytes, step) == whole);
  bool wholeBad = false, splitBad = false;
  const std::string decoded = decodeChunks(whole.document, whole.document.size() + 1, &wholeBad);
  check(decodeChunks(whole.document, step, &splitBad) == decoded && splitBad == wholeBad);
  check(decoded.size() <= whole.document.size());
  return 0;
}
