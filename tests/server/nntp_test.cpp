// The pieces of the pull that need no server: the reader of server answers, URLs and
// the positions recorded in the index.

#include <gtest/gtest.h>

#include "server/nntpresponse.h"
#include "server/pullsource.h"
#include "support/fixtures.h"

namespace varnook::server {
namespace {

using Strings = std::vector<std::string>;
using Result = NntpResponseReader::Result;

// Fed whole and split at every byte: the same status lines and blocks come out.
TEST(NntpResponse, ReadsStatusLinesAndBlocksWhereverTheBytesAreSplit) {
  const std::string wire =
      "220 3 <a@b> article\r\nPath: x\r\n\r\n..dot\r\nbare\n.\r\n"
      "224 overview\r\n7\tsubject\tfrom\tdate\t <x@y> \tref\r\n.\r\n";
  for (std::size_t split = 0; split <= wire.size(); ++split) {
    NntpResponseReader reader;
    reader.feed(wire.substr(0, split));
    std::vector<std::string> read;
    NntpStatus status;
    std::string block;
    bool oversized = false;
    auto next = [&](bool isBlock) {
      for (int round = 0; round < 2; ++round) {
        const Result result =
            isBlock ? reader.readBlock(block, oversized, 12) : reader.readStatus(status);
        if (result == Result::Done) return read.push_back(isBlock ? block : status.text), true;
        if (result == Result::Bad || round == 1) return false;
        reader.feed(wire.substr(split));
      }
      return false;
    };
    ASSERT_TRUE(next(false) && next(true) && next(false) && next(true)) << split;
    EXPECT_EQ(read, (Strings{"3 <a@b> article", "Path: x\n\n.do", "overview", "7\tsubject\tfr"}))
        << split;
    EXPECT_TRUE(oversized);
    EXPECT_EQ(reader.pending(), 0u);
  }
  // A line longer than the reader keeps waiting for its end is taken in pieces.
  NntpResponseReader reader;
  const std::string line = ".." + std::string(100000, 'x');
  reader.feed(line);
  std::string out;
  bool oversized = false;
  EXPECT_EQ(reader.readBlock(out, oversized, 1 << 20), Result::NeedMore);
  EXPECT_LT(reader.pending(), 10u);
  reader.feed("\r\n.\r\n");
  EXPECT_EQ(reader.readBlock(out, oversized, 1 << 20), Result::Done);
  EXPECT_EQ(out, line.substr(1) + "\n");

  NntpResponseReader bad;
  for (const char* line : {"2x0 nonsense\r\n", "hello\r\n", "2000 long\r\n"}) {
    bad.clear();
    bad.feed(line);
    NntpStatus status;
    EXPECT_EQ(bad.readStatus(status), Result::Bad) << line;
  }
}

TEST(NntpResponse, ReadsGroupActiveOverviewAndStatAnswers) {
  EXPECT_EQ(parseGroupStatus("120 3000 3119 misc.test")->low, 3000u);
  EXPECT_FALSE(parseGroupStatus("x 1 2 g"));
  EXPECT_EQ(parseActiveLine("comp.lang.c++ 0000004711 0000000010 y")->high, 4711u);
  EXPECT_FALSE(parseActiveLine("group high low y"));
  EXPECT_EQ(parseOverviewLine("12\ts\tf\td\t<id@x>\t\t10\t2")->messageId, "<id@x>");
  EXPECT_EQ(parseOverviewLine("12\ts\tf\td\tnot an id")->messageId, "");
  EXPECT_FALSE(parseOverviewLine("twelve\ts"));
  EXPECT_EQ(parseStatStatus("5 <a@b>")->number, 5u);
  EXPECT_FALSE(parseStatStatus("5 a@b"));
}

TEST(PullUrl, ReadsNewsAndNntpsUrlsAndRefusesTheRest) {
  for (const auto& row : testing::readTable("server/data/pull-urls.txt", 4)) {
    std::string error;
    const auto source = parsePullUrl(row[0], error);
    const std::vector<std::string> read = {source ? source->host : "none",
                                           std::to_string(source ? source->port : 0),
                                           source ? source->pattern : ""};
    EXPECT_EQ(read, (std::vector<std::string>{row[1], row[2], row[3]})) << row[0];
    EXPECT_EQ(error.empty(), source.has_value()) << row[0];
  }
  std::string error;
  EXPECT_EQ(parsePullUrl("news://[::1]:119/g", error)->url(), "news://[::1]");
}

TEST(PullUrl, PositionsRecordedInTheIndex) {
  const std::vector<std::pair<std::string, GroupPosition>> positions = {
      {"comp.lang.c++", {4711, 4710, "<a@b>"}}, {"misc.test", {3, 0, ""}}};
  const std::string text = encodePositions(positions);
  const auto back = decodePositions(text + "broken line\nx 1 2\n");
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].second.checkId, "<a@b>");
  EXPECT_EQ(encodePositions(back), text);
}

}  // namespace
}  // namespace varnook::server
