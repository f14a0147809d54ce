// Reading articles: sources (spool folders, Maildirs, mbox files, compressed or not),
// each article's headers, dates and MIME body, and the text the agent downloads.

#include "server/articleingest.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "base/daydate.h"
#include "server/articlesource.h"
#include "server/headerdate.h"
#include "serversupport.h"
#include "support/fixtures.h"

namespace varnook::server {
namespace {

using testing::TempFolder;
using testing::writeFile;
using Strings = std::vector<std::string>;

UnixTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return unixTimeFromCivil(y, mo, d, h, mi, s);
}

// The forms found in real articles, and texts that are no date (data/header-dates.txt).
TEST(HeaderDate, ReadsDatesAndFormatsThemForTheAgent) {
  const std::map<std::string, std::function<std::optional<UnixTime>(std::string_view)>> readers = {
      {"date", parseHeaderDate}, {"received", parseReceivedDate}, {"envelope", parseEnvelopeDate}};
  for (const auto& row : testing::readTable("server/data/header-dates.txt", 3)) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    std::sscanf(row[2].c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec);
    EXPECT_EQ(readers.at(row[0])(row[1]),
              row[2] == "none" ? std::nullopt : std::optional(utc(y, mo, d, h, mi, sec)))
        << row[1];
  }
  EXPECT_EQ(formatHeaderDate(utc(2000, 2, 29, 0, 0, 0)), "Tue, 29 Feb 2000 00:00:00 GMT");
  EXPECT_EQ(formatHeaderDate(kUnknownDate), "");
}

StoredArticle ingest(std::string_view text, std::optional<UnixTime> envelope = std::nullopt) {
  IngestResult result = ingestArticle(text, envelope);
  EXPECT_TRUE(result.article.has_value()) << result.warning;
  return result.article.value_or(StoredArticle{});
}

// The text the agent downloads: headers unfolded on single lines without CR, a four-digit
// year, the groups under both names.
TEST(IngestArticle, NewsArticleAndThePlainTextTheAgentReads) {
  StoredArticle article = ingest(
      "Path: a!b\nFrom: John Smith <js@example.com>\nNewsgroups: Comp.Graphics, sci.crypt\n"
      "Subject: Re: rendering\n  continued\r\nDate: 5 Apr 93 23:23:53 GMT\r\n"
      "Message-ID: <1993Apr5.1@example.com>\nReferences: <a@b>\n <c@d>\n\nbody line\r\n"
      "\nline three\n");
  EXPECT_EQ(
      std::tie(article.from, article.subject, article.messageId, article.references, article.body),
      std::tie("John Smith <js@example.com>", "Re: rendering continued", "<1993Apr5.1@example.com>",
               "<a@b> <c@d>", "body line\n\nline three\n"));
  EXPECT_EQ(article.groups, (Strings{"comp.graphics", "sci.crypt"}));
  EXPECT_EQ(article.date, unixTimeFromCivil(1993, 4, 5, 23, 23, 53));
  article.number = 77;
  const std::string text = article.plainText();
  const std::string head = text.substr(0, text.find("\n\n"));
  EXPECT_EQ(head.find('\r'), std::string::npos);
  EXPECT_NE(head.find("\nDate: Mon, 05 Apr 1993 23:23:53 GMT"), std::string::npos);
  EXPECT_NE(head.find("\nNewsgroups: comp.graphics,sci.crypt\nNewsgroup: comp.graphics,sci.crypt"),
            std::string::npos);
}

TEST(IngestArticle, DecodesMimeBodiesAndHeaders) {
  for (const auto& row : testing::readTable("server/data/mime-bodies.txt", 3))
    EXPECT_EQ(ingest(row[1]).body, row[2]) << row[0];

  // Encoded words are decoded; raw 8-bit header bytes are kept as they are.
  StoredArticle article = ingest(
      "From: =?ISO-8859-1?Q?J=FCrgen_M=FCller?= <jm@example.de>\n"
      "Subject: =?UTF-8?B?5pel5pys6Kqe?= and more\n\nx\n");
  EXPECT_EQ(article.from, "J\xC3\xBCrgen M\xC3\xBCller <jm@example.de>");
  EXPECT_EQ(article.subject, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E and more");
  article = ingest("From: Ren\xE9 <r@example.fr>\nSubject: caf\xE9\n\nx\n");
  EXPECT_EQ(article.from + "|" + article.subject, "Ren\xE9 <r@example.fr>|caf\xE9");
}

TEST(IngestArticle, DateFallsBackToOtherHeadersThenTheEnvelope) {
  const UnixTime posted = unixTimeFromCivil(1993, 4, 5, 10, 0, 0);
  for (const char* headers : {"Date: garbage\nNNTP-Posting-Date: Mon, 5 Apr 1993 10:00:00 GMT\n",
                              "Date: garbage\nReceived: by late; Tue, 6 Apr 1993 10:00:00 GMT\n"
                              "Received: by early; Mon, 5 Apr 1993 10:00:00 GMT\n"})
    EXPECT_EQ(ingest("From: a@b\n" + std::string(headers) + "\nx\n").date, posted) << headers;
  EXPECT_EQ(ingest("From: a@b\nSubject: no date\n\nx\n", posted).date, posted);
  const IngestResult undated = ingestArticle("From: a@b\nSubject: no date\n\nx\n");
  ASSERT_TRUE(undated.article);
  EXPECT_EQ(undated.article->date, kUnknownDate);
  EXPECT_EQ(undated.warning, "no readable date");
}

TEST(IngestArticle, SkipsWhatIsNoArticleAndKnowsDuplicatesAndNewsgroups) {
  for (std::string_view text : {"", "\n\n\n", "just some words\nwithout headers\n"}) {
    const IngestResult result = ingestArticle(text);
    EXPECT_FALSE(result.article) << text;
    EXPECT_FALSE(result.warning.empty());
  }
  EXPECT_EQ(ingestArticle("From: a@b\nMessage-ID:  <x@y> (comment)\n\nz\n").dedupeKey, "<x@y>");
  const std::string a = ingestArticle("From: a@b\n\none\n").dedupeKey;
  EXPECT_EQ(a[0], '#');
  EXPECT_NE(a, ingestArticle("From: a@b\n\ntwo\n").dedupeKey);
  EXPECT_EQ(quickMessageId("Path: x\nMessage-ID:\n <folded@id>\n\nbody\nMessage-ID: <no>\n"),
            "<folded@id>");
  EXPECT_EQ(quickMessageId("Path: x\n\nMessage-ID: <in@body>\n"), "");
  EXPECT_EQ(parseNewsgroups(" Comp.A ,comp.a,rec.b\tsci.c,,.bad,bad.,ok.group "),
            (Strings{"comp.a", "rec.b", "sci.c", "ok.group"}));
  EXPECT_EQ(parseNewsgroups("alt.<script>"), Strings{});
}

TEST(StoredArticle, SerializationRoundTrip) {
  StoredArticle article;
  article.number = 4294967295u;
  article.date = -86400;
  article.messageId = "<x>";
  article.from = "f";
  article.subject = std::string("s\0t", 3);
  article.references = "r";
  article.groups = {"a.b", "c"};
  article.body = "body";
  const std::string data = article.serialize();
  const auto back = StoredArticle::deserialize(data);
  ASSERT_TRUE(back);
  EXPECT_EQ(std::tie(back->number, back->date, back->subject, back->groups, back->body),
            std::tie(article.number, article.date, article.subject, article.groups, article.body));
  EXPECT_EQ(StoredArticle::deserialize(data, false)->body, "");
  for (std::size_t cut = 0; cut < data.size(); ++cut)
    EXPECT_FALSE(StoredArticle::deserialize(data.substr(0, cut))) << cut;
  EXPECT_FALSE(StoredArticle::deserialize(data + "x"));
}

TEST(SplitMbox, MboxrdQuotingSeparatorsAndMalformedData) {
  auto articles = splitMbox(
      "From a@b Mon Apr  5 23:23:53 1993\nSubject: one\n\n>From the start\n>>From deeper\n"
      "From inside without blank line\n\n"
      "From c@d Tue Apr  6 10:00:00 1993\nSubject: two\n\nlast line\n",
      "m");
  ASSERT_EQ(articles.size(), 2u);
  EXPECT_EQ(articles[0].bytes,
            "Subject: one\n\nFrom the start\n>From deeper\nFrom inside without blank line\n");
  EXPECT_EQ(articles[0].envelopeDate, unixTimeFromCivil(1993, 4, 5, 23, 23, 53));
  EXPECT_EQ(articles[1].bytes, "Subject: two\n\nlast line\n");
  EXPECT_EQ(articles[1].origin, "m (message 2)");

  EXPECT_TRUE(splitMbox("", "m").empty());
  EXPECT_TRUE(splitMbox("no envelope at all\nSubject: x\n\nbody\n", "m").empty());
  // Leading junk is dropped; an envelope at the very end gives an empty message.
  articles = splitMbox("junk\n\nFrom x\nSubject: a\n\nb\nFrom y", "m");
  ASSERT_EQ(articles.size(), 1u);
  EXPECT_EQ(articles[0].bytes, "Subject: a\n\nb\nFrom y");
  EXPECT_FALSE(articles[0].envelopeDate);
  articles = splitMbox("From x\n\nFrom y\n", "m");
  ASSERT_EQ(articles.size(), 2u);
  EXPECT_EQ(articles[0].bytes, "");
}

TEST(WalkArticleSources, SpoolMaildirAndCompressedMbox) {
  TempFolder folder;
  writeFile(folder / "spool/comp.a/10", "Subject: ten\n\nx\n");
  writeFile(folder / "spool/comp.a/9", "Subject: nine\n\nx\n");
  writeFile(folder / "spool/comp.a/.overview", "not an article");
  writeFile(folder / "mail/cur/1:2,S", "Subject: cur\n\nx\n");
  writeFile(folder / "mail/new/2", "Subject: new\n\nx\n");
  writeFile(folder / "mail/tmp/3", "Subject: being delivered\n\nx\n");
  testing::writeGzip(folder / "box.mbox.gz",
                     "From a Mon Apr  5 23:23:53 1993\nSubject: gz1\n\nx\n\n"
                     "From b Mon Apr  5 23:23:53 1993\nSubject: gz2\n\ny\n");
  const auto walked = testing::walkSources(
      {folder / "spool", folder / "mail", folder / "box.mbox.gz", folder / "missing"});
  // Spool numbers in numeric order; hidden files and a Maildir's tmp/ left out.
  Strings firstLines;
  for (const RawArticle& a : walked.articles)
    firstLines.push_back(a.bytes.substr(0, a.bytes.find('\n')));
  EXPECT_EQ(firstLines, (Strings{"Subject: nine", "Subject: ten", "Subject: cur", "Subject: new",
                                 "Subject: gz1", "Subject: gz2"}));
  EXPECT_EQ(std::count(walked.warnings.begin(), walked.warnings.end(), '\n'), 1);
  EXPECT_NE(walked.warnings.find("missing"), std::string::npos);
}

}  // namespace
}  // namespace varnook::server
