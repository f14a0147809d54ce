#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varnook {

// Frames one HTTP/1.0 response without owning a socket: header lines up to the empty
// line, then document data until the connection ends. Feed it the bytes as they arrive
// and take items until it needs more.
//
// A line ends at LF; a CR right before the LF is dropped, so bare-LF responses read like
// CR LF ones. To keep a hostile server from growing memory without bound, one header line
// may hold at most kMaxLineLength bytes and one response header kMaxHeaderSize bytes;
// beyond that the reader answers Bad and stays so.
class HttpResponseReader {
 public:
  static constexpr std::size_t kMaxLineLength = 64 * 1024;
  static constexpr std::size_t kMaxHeaderSize = 1024 * 1024;

  enum class Item { NeedMore, HeaderLine, HeaderEnd, DocumentData, Bad };
  enum class Failure { None, LineTooLong, HeaderTooLarge };

  // Forgets everything; the next bytes start a new response.
  void reset();

  // Hands over the next received bytes. They are not copied (only the start of a header
  // line still incomplete is kept), so they must stay valid until next() has answered
  // NeedMore.
  void feed(std::string_view bytes);

  // The next item:
  //   HeaderLine    `*out` is a non-empty header line without its line end (valid until
  //                 the next call);
  //   HeaderEnd     the empty line that ends the header;
  //   DocumentData  `*out` is document data: everything fed after the header;
  //   NeedMore      all bytes fed so far are used;
  //   Bad           a limit was broken; see failure().
  Item next(std::string_view* out);

  bool inDocument() const { return inDocument_; }
  Failure failure() const { return failure_; }

 private:
  Item fail(Failure failure);

  std::string_view input_;
  std::string carry_;  // the start of an incomplete header line
  bool carryUsed_ = false;
  bool inDocument_ = false;
  std::size_t headerBytes_ = 0;
  Failure failure_ = Failure::None;
};

enum class StatusLineKind { NotStatusLine, Valid, Malformed };

// Reads a status line: one whose first 8 characters are "HTTP/1.0" or "HTTP/1.1". The code
// stands in characters 10-12 and must be three digits (else Malformed); the reason phrase
// is the text from character 14 on.
StatusLineKind parseStatusLine(std::string_view line, int* code, std::string_view* reason);

// Splits a header field "Name: value": the name before the first ":" in lower case, and
// the value from the second character after the ":" (one blank is assumed and skipped,
// whatever it is). Returns false for a line without ":".
bool splitHeaderField(std::string_view line, std::string* lowerName, std::string_view* value);

// A Content-Length value: its leading decimal digits (after blanks), or -1 when there
// are none or the number is absurdly large.
long long parseContentLength(std::string_view value);

}  // namespace varnook
