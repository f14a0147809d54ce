#include "net/httpresponsereader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fixtures.h"

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

// Status lines, header fields and Content-Length values (data/header-lines.txt).
TEST(HttpHeaderLine, Table) {
  for (const auto& row : testing::readTable("net/data/header-lines.txt", 3)) {
    int code = 0;
    std::string_view reason, value;
    std::string name, got;
    if (row[0] == "status") {
      const StatusLineKind kind = parseStatusLine(row[1], &code, &reason);
      got = kind == StatusLineKind::Valid       ? std::to_string(code) + ":" + std::string(reason)
            : kind == StatusLineKind::Malformed ? "malformed"
                                                : "no status line";
    } else if (row[0] == "field") {
      got = splitHeaderField(row[1], &name, &value) ? name + "=" + std::string(value) : "none";
    } else {
      got = std::to_string(parseContentLength(row[1]));
    }
    EXPECT_EQ(got, row[2]) << row[0] << " " << row[1];
  }
}

}  // namespace
}  // namespace varnook
