#include "net/httpresponsereader.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace varnook {
namespace {

struct Outcome {
  std::vector<std::string> lines;
  bool headerEnded = false;
  std::string document;
  bool bad = false;
  HttpResponseReader::Failure failure = HttpResponseReader::Failure::None;

  bool operator==(const Outcome&) const = default;
};

// Feeds the pieces one after another, taking every item, as the client does.
Outcome readPieces(const std::vector<std::string>& pieces) {
  HttpResponseReader reader;
  Outcome outcome;
  for (const std::string& piece : pieces) {
    reader.feed(piece);
    std::string_view item;
    for (bool more = true; more;) {
      switch (reader.next(&item)) {
        case HttpResponseReader::Item::NeedMore:
          more = false;
          break;
        case HttpResponseReader::Item::HeaderLine:
          EXPECT_FALSE(outcome.headerEnded);
          outcome.lines.emplace_back(item);
          break;
        case HttpResponseReader::Item::HeaderEnd:
          outcome.headerEnded = true;
          break;
        case HttpResponseReader::Item::DocumentData:
          EXPECT_TRUE(outcome.headerEnded);
          outcome.document.append(item);
          break;
        case HttpResponseReader::Item::Bad:
          outcome.bad = true;
          outcome.failure = reader.failure();
          return outcome;
      }
    }
  }
  return outcome;
}

TEST(HttpResponseReader, EveryResponseReadsTheSameSplitAtEveryBytePosition) {
  struct Case {
    const char* name;
    std::string response;
    std::vector<std::string> lines;
    std::string document;
  };
  const std::string binary("\0\r\n\r\n\xff\n", 7);
  const std::vector<Case> cases = {
      {"crlf",
       "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\n\r\nhello",
       {"HTTP/1.0 200 OK", "Content-Type: text/html", "Content-Length: 5"},
       "hello"},
      {"bare lf",
       "HTTP/1.1 200 OK\nServer: x\n\nbody\nmore",
       {"HTTP/1.1 200 OK", "Server: x"},
       "body\nmore"},
      {"mixed, cr kept inside a line",
       "HTTP/1.0 404 Not Found\r\nX: a\rb\n\r\n",
       {"HTTP/1.0 404 Not Found", "X: a\rb"},
       ""},
      {"binary document with line ends",
       "HTTP/1.0 200 OK\r\n\r\n" + binary,
       {"HTTP/1.0 200 OK"},
       binary},
      {"header only, not ended", "HTTP/1.0 200 OK\r\nX: 1\r\n", {"HTTP/1.0 200 OK", "X: 1"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome whole = readPieces({c.response});
    EXPECT_EQ(whole.lines, c.lines);
    EXPECT_EQ(whole.document, c.document);
    EXPECT_FALSE(whole.bad);
    for (std::size_t split = 0; split <= c.response.size(); ++split) {
      SCOPED_TRACE(split);
      ASSERT_EQ(readPieces({c.response.substr(0, split), c.response.substr(split)}), whole);
    }
    std::vector<std::string> bytes;
    for (char ch : c.response) bytes.emplace_back(1, ch);
    EXPECT_EQ(readPieces(bytes), whole);
  }
}

TEST(HttpResponseReader, LongLinesAndHugeHeadersAreRefused) {
  const std::size_t limit = HttpResponseReader::kMaxLineLength;
  const std::string atLimit = "X: " + std::string(limit - 3, 'a');
  Outcome ok = readPieces({"HTTP/1.0 200 OK\r\n" + atLimit + "\r\n\r\n"});
  EXPECT_FALSE(ok.bad);
  EXPECT_EQ(ok.lines.back(), atLimit);

  // One byte over.
  EXPECT_EQ(readPieces({"HTTP/1.0 200 OK\r\n" + atLimit + "a\r\n\r\n"}).failure,
            HttpResponseReader::Failure::LineTooLong);

  // A line is refused as soon as it passes the limit (one byte more for a CR), before its
  // end arrives, and the reader stays refusing.
  using Item = HttpResponseReader::Item;
  HttpResponseReader reader;
  const std::string head = "HTTP/1.0 200 OK\r\n" + std::string(limit + 1, 'z');
  reader.feed(head);  // the reader keeps a view of what it is fed
  std::string_view item;
  EXPECT_EQ(reader.next(&item), Item::HeaderLine);
  EXPECT_EQ(reader.next(&item), Item::NeedMore);
  reader.feed("z");
  EXPECT_EQ(reader.next(&item), Item::Bad);
  EXPECT_EQ(reader.next(&item), Item::Bad);

  // Many short lines: the whole header is limited too.
  std::string many = "HTTP/1.0 200 OK\r\n";
  while (many.size() <= HttpResponseReader::kMaxHeaderSize) many += "X-Filler: 0123456789\r\n";
  EXPECT_EQ(readPieces({many}).failure, HttpResponseReader::Failure::HeaderTooLarge);
}

TEST(HttpHeaderLine, StatusLines) {
  int code = -1;
  std::string_view reason;
  EXPECT_EQ(parseStatusLine("HTTP/1.0 404 Not Found", &code, &reason), StatusLineKind::Valid);
  EXPECT_EQ(std::tuple(code, reason), std::tuple(404, "Not Found"));
  EXPECT_EQ(parseStatusLine("HTTP/1.1 200", &code, &reason), StatusLineKind::Valid);
  EXPECT_EQ(std::tuple(code, reason), std::tuple(200, ""));
  EXPECT_EQ(parseStatusLine("HTTP/1.1 abc Bad", &code, &reason), StatusLineKind::Malformed);
  EXPECT_EQ(parseStatusLine("HTTP/1.1 20", &code, &reason), StatusLineKind::Malformed);
  EXPECT_EQ(parseStatusLine("http/1.1 200 OK", &code, &reason), StatusLineKind::NotStatusLine);
  EXPECT_EQ(parseStatusLine("HTTP/2 200", &code, &reason), StatusLineKind::NotStatusLine);
  EXPECT_EQ(parseStatusLine("Server: x", &code, &reason), StatusLineKind::NotStatusLine);
}

TEST(HttpHeaderLine, FieldsSkipOneCharacterAfterTheColon) {
  std::string name;
  std::string_view value;
  ASSERT_TRUE(splitHeaderField("Content-Type:text/html", &name, &value));
  EXPECT_EQ(name, "content-type");
  EXPECT_EQ(value, "ext/html");
  ASSERT_TRUE(splitHeaderField("LOCATION: http://x/y", &name, &value));
  EXPECT_EQ(name, "location");
  EXPECT_EQ(value, "http://x/y");
  ASSERT_TRUE(splitHeaderField("X-Empty:", &name, &value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(splitHeaderField("no colon here", &name, &value));

  EXPECT_EQ(parseContentLength("1234"), 1234);
  EXPECT_EQ(parseContentLength(" 5000000000"), 5000000000LL);
  EXPECT_EQ(parseContentLength("12abc"), 12);
  EXPECT_EQ(parseContentLength("abc"), -1);
  EXPECT_EQ(parseContentLength(""), -1);
  EXPECT_EQ(parseContentLength("99999999999999999999999"), -1);
}

}  // namespace
}  // namespace varnook
