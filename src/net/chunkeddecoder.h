#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnook {

// Takes the chunked transfer coding off a document without owning a socket: chunk-size
// lines (extensions ignored), chunk data, the last chunk and its trailer lines. Some
// servers send this coding even to HTTP/1.0 clients; undecoded, the size lines would end up
// in the page. Feed it the document bytes as they arrive and take items until it needs
// more.
//
// Only the start of a size or trailer line still incomplete is copied, and kept within
// kMaxLineLength; the trailer may hold at most kMaxTrailerSize bytes. A line ends at LF,
// with or without CR before it.
class ChunkedDecoder {
 public:
  static constexpr std::size_t kMaxLineLength = 4096;
  static constexpr std::size_t kMaxTrailerSize = 64 * 1024;
  // A chunk announcing more is broken coding, whatever the caller's own limit.
  static constexpr std::uint64_t kMaxChunkSize = std::uint64_t{1} << 40;

  enum class Item { NeedMore, Data, End, Bad };

  // Forgets everything; the next bytes start a new document.
  void reset();

  // Hands over the next bytes; not copied, so they must stay valid until next() has
  // answered NeedMore.
  void feed(std::string_view bytes);

  // The next item:
  //   Data      `*out` is document data (a part of the bytes fed);
  //   End       the last chunk and its trailer have been read; answered once, and every
  //             byte after it is ignored;
  //   NeedMore  all bytes fed so far are used;
  //   Bad       the coding is broken: a size line that is no hexadecimal number or names
  //             more than kMaxChunkSize, chunk data not followed by a line end, a line or
  //             trailer beyond the limits. It stays so.
  Item next(std::string_view* out);

  bool ended() const { return stage_ == Stage::Done; }

 private:
  enum class Stage { SizeLine, Data, DataEnd, Trailer, Done, Bad };

  // Takes the next complete line; false when the bytes fed so far end inside one (kept).
  bool takeLine(std::string_view* line);
  Item fail();
  bool readSizeLine(std::string_view line);

  std::string_view input_;
  std::string carry_;  // the start of an incomplete line
  std::string line_;   // the line just completed from carry_
  Stage stage_ = Stage::SizeLine;
  std::uint64_t remaining_ = 0;  // data bytes left in the current chunk
  std::size_t trailerBytes_ = 0;
};

}  // namespace varnook
