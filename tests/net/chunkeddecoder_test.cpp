#include "net/chunkeddecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnook {
namespace {

// The document decoded from the pieces, and how it ended: "end", "bad" or "more".
std::pair<std::string, std::string> decode(const std::vector<std::string_view>& pieces) {
  ChunkedDecoder decoder;
  std::string document;
  for (const std::string_view piece : pieces) {
    decoder.feed(piece);
    std::string_view data;
    ChunkedDecoder::Item item;
    while ((item = decoder.next(&data)) == ChunkedDecoder::Item::Data) document.append(data);
    if (item != ChunkedDecoder::Item::NeedMore)
      return {document, item == ChunkedDecoder::Item::End ? "end" : "bad"};
  }
  return {document, "more"};
}

TEST(ChunkedDecoder, EveryDocumentDecodesTheSameSplitAtEveryBytePosition) {
  std::string longTrailer;  // lines within the line limit, together beyond the trailer's
  while (longTrailer.size() <= ChunkedDecoder::kMaxTrailerSize)
    longTrailer += "X: " + std::string(4000, 't') + "\r\n";
  const struct {
    std::string coded, document, outcome;
  } cases[] = {
      {"5;ext=1\r\nhello\r\n6\r\n world\r\n0\r\nX-Trailer: x\r\n\r\nafter the end", "hello world",
       "end"},
      {"A\nabcdefghij\n3 ;x\nk\r\n\n0\n\n", "abcdefghijk\r\n", "end"},  // bare LF, upper case
      {"5\r\nhel", "hel", "more"},
      {"", "", "more"},
      {"zz\r\n", "", "bad"},
      {"3\r\nabcX\r\n", "abc", "bad"},                      // no line end after the data
      {"3x\r\nabc\r\n0\r\n\r\n", "", "bad"},                // more than a size and extensions
      {"FFFFFFFFFFFFFFFFFFFF\r\n", "", "bad"},              // beyond any document
      {"1;" + std::string(5000, 'e') + "\r\n", "", "bad"},  // endless size line
      {"0\r\n" + longTrailer + "\r\n", "", "bad"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.coded.substr(0, 40));
    const std::string_view coded = c.coded;
    const auto whole = decode({coded});
    EXPECT_EQ(whole, std::pair(c.document, c.outcome));
    std::vector<std::string_view> bytes;
    for (std::size_t i = 0; i < coded.size(); ++i) bytes.push_back(coded.substr(i, 1));
    EXPECT_EQ(decode(bytes), whole);
    // Every position of the short ones; the long ones in strides.
    for (std::size_t split = 1; split<coded.size(); split += coded.size()> 300 ? 97 : 1)
      ASSERT_EQ(decode({coded.substr(0, split), coded.substr(split)}), whole) << split;
  }
}

}  // namespace
}  // namespace varnook
