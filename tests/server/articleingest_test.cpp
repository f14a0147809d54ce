#include "server/articleingest.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/articletext.h"
#include "collection/article.h"
#include "collection/daydate.h"

namespace varnook::server {
namespace {

StoredArticle ingest(std::string_view text, std::optional<UnixTime> envelope = std::nullopt) {
  IngestResult result = ingestArticle(text, envelope);
  EXPECT_TRUE(result.article.has_value()) << result.warning;
  return result.article.value_or(StoredArticle{});
}

TEST(IngestArticle, PlainNewsArticle) {
  const StoredArticle article = ingest(
      "Path: a!b\nFrom: John Smith <js@example.com>\nNewsgroups: Comp.Graphics, sci.crypt\n"
      "Subject: Re: rendering\n  continued\nDate: Mon, 5 Apr 1993 23:23:53 GMT\n"
      "Message-ID: <1993Apr5.1@example.com>\nReferences: <a@b>\n <c@d>\n\nbody line\r\n"
      "second line\n");
  EXPECT_EQ(article.from, "John Smith <js@example.com>");
  EXPECT_EQ(article.subject, "Re: rendering continued");
  EXPECT_EQ(article.messageId, "<1993Apr5.1@example.com>");
  EXPECT_EQ(article.references, "<a@b> <c@d>");
  EXPECT_EQ(article.groups, (std::vector<std::string>{"comp.graphics", "sci.crypt"}));
  EXPECT_EQ(article.date, unixTimeFromCivil(1993, 4, 5, 23, 23, 53));
  EXPECT_EQ(article.body, "body line\nsecond line\n");
}

TEST(IngestArticle, DecodesMimeBodiesAndHeaders) {
  struct Case {
    const char* name;
    std::string article;
    std::string body;
  };
  const Case cases[] = {
      {"quoted-printable Latin-1 becomes UTF-8",
       "From: a@b\nSubject: x\nMIME-Version: 1.0\nContent-Type: text/plain; charset=ISO-8859-1\n"
       "Content-Transfer-Encoding: quoted-printable\n\nGr=FC=DFe, soft=\n break\n",
       "Gr\xC3\xBC\xC3\x9F"
       "e, soft break\n"},
      {"base64 UTF-8 text",
       "From: a@b\nSubject: x\nMIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n"
       "Content-Transfer-Encoding: base64\n\naGVsbG8gd8O2cmxkCg==\n",
       "hello w\xC3\xB6rld\n"},
      {"KOI8-R is converted",
       "From: a@b\nSubject: x\nMIME-Version: 1.0\nContent-Type: text/plain; charset=koi8-r\n"
       "Content-Transfer-Encoding: 8bit\n\n\xF0\xD2\xC9\xD7\xC5\xD4\n",
       "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n"},
      {"undeclared 8-bit bytes stay as they are", "From: a@b\nSubject: x\n\ncaf\xE9 cr\xE8me\n",
       "caf\xE9 cr\xE8me\n"},
      {"an unknown charset leaves the bytes",
       "From: a@b\nSubject: x\nContent-Type: text/plain; charset=x-no-such\n\nab\xFF\n",
       "ab\xFF\n"},
      {"first text/plain part of a multipart",
       "From: a@b\nSubject: x\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=XX\n\n"
       "preamble\n--XX\nContent-Type: application/octet-stream\n\nbinary\n--XX\n"
       "Content-Type: text/plain; charset=us-ascii\n\nthe text\n--XX\n"
       "Content-Type: text/plain\n\nsecond text\n--XX--\n",
       "the text"},  // the line break before a boundary belongs to the boundary
      {"HTML alone is turned into text",
       "From: a@b\nSubject: x\nMIME-Version: 1.0\nContent-Type: text/html\n\n"
       "<p>Hello &amp; <b>welcome</b></p>\n",
       "Hello & welcome\n"},
      {"NUL bytes are dropped", std::string("From: a@b\nSubject: x\n\na\0b\n", 26), "ab\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ingest(c.article).body, c.body) << c.name;
  }
}

TEST(IngestArticle, DecodesEncodedWordsButKeepsRawHeaderBytes) {
  StoredArticle article = ingest(
      "From: =?ISO-8859-1?Q?J=FCrgen_M=FCller?= <jm@example.de>\n"
      "Subject: =?UTF-8?B?5pel5pys6Kqe?= and more\n\nx\n");
  EXPECT_EQ(article.from, "J\xC3\xBCrgen M\xC3\xBCller <jm@example.de>");
  EXPECT_EQ(article.subject, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E and more");
  article = ingest("From: Ren\xE9 <r@example.fr>\nSubject: caf\xE9\n\nx\n");
  EXPECT_EQ(article.from, "Ren\xE9 <r@example.fr>");
  EXPECT_EQ(article.subject, "caf\xE9");
}

TEST(IngestArticle, DateFallsBackToOtherHeadersThenTheEnvelope) {
  const UnixTime posted = unixTimeFromCivil(1993, 4, 5, 10, 0, 0);
  EXPECT_EQ(ingest("From: a@b\nDate: garbage\nNNTP-Posting-Date: Mon, 5 Apr 1993 10:00:00 GMT\n"
                   "\nx\n")
                .date,
            posted);
  EXPECT_EQ(ingest("From: a@b\nDate: garbage\nReceived: by late; Tue, 6 Apr 1993 10:00:00 GMT\n"
                   "Received: by early; Mon, 5 Apr 1993 10:00:00 GMT\n\nx\n")
                .date,
            posted);
  EXPECT_EQ(ingest("From: a@b\nSubject: no date\n\nx\n", posted).date, posted);
  const IngestResult undated = ingestArticle("From: a@b\nSubject: no date\n\nx\n");
  ASSERT_TRUE(undated.article);
  EXPECT_EQ(undated.article->date, kUnknownDate);
  EXPECT_EQ(undated.warning, "no readable date");
}

TEST(IngestArticle, SkipsWhatIsNoArticle) {
  for (std::string_view text : {std::string_view(""), std::string_view("\n\n\n"),
                                std::string_view("just some words\nwithout headers\n")}) {
    const IngestResult result = ingestArticle(text);
    EXPECT_FALSE(result.article) << text;
    EXPECT_FALSE(result.warning.empty());
  }
}

TEST(IngestArticle, DedupeKeys) {
  EXPECT_EQ(ingestArticle("From: a@b\nMessage-ID:  <x@y> (comment)\n\nz\n").dedupeKey, "<x@y>");
  const std::string a = ingestArticle("From: a@b\n\none\n").dedupeKey;
  const std::string b = ingestArticle("From: a@b\n\ntwo\n").dedupeKey;
  EXPECT_EQ(a[0], '#');
  EXPECT_NE(a, b);
  EXPECT_EQ(quickMessageId("Path: x\nMessage-ID:\n <folded@id>\n\nbody\nMessage-ID: <no>\n"),
            "<folded@id>");
  EXPECT_EQ(quickMessageId("Path: x\n\nMessage-ID: <in@body>\n"), "");
}

TEST(IngestArticle, NewsgroupNames) {
  EXPECT_EQ(parseNewsgroups(" Comp.A ,comp.a,rec.b\tsci.c,,.bad,bad.,ok.group "),
            (std::vector<std::string>{"comp.a", "rec.b", "sci.c", "ok.group"}));
  EXPECT_EQ(parseNewsgroups("alt.<script>"), std::vector<std::string>{});
}

// The text the agent downloads: headers on single lines without CR, a four-digit year,
// the groups under both names, and a body that the agent's own reader takes back.
TEST(StoredArticle, PlainTextReadsBackWithTheAgentsParser) {
  StoredArticle article = ingest(
      "From: A <a@b>\nNewsgroups: x.y,z.w\nSubject: Re: one\r\nDate: 5 Apr 93 23:23:53 GMT\r\n"
      "Message-ID: <m@id>\nReferences: <r@id>\n\nline one\n\nline three\n");
  article.number = 77;
  const std::string text = article.plainText();
  const std::string head = text.substr(0, text.find("\n\n"));
  EXPECT_EQ(head.find('\r'), std::string::npos);
  EXPECT_NE(head.find("\nDate: Mon, 05 Apr 1993 23:23:53 GMT"), std::string::npos);
  EXPECT_NE(head.find("\nNewsgroups: x.y,z.w\nNewsgroup: x.y,z.w"), std::string::npos);

  Article parsed(77, "");
  ASSERT_EQ(parseArticleText(text, parsed), "");
  EXPECT_EQ(parsed.subject, "Re: one");
  EXPECT_EQ(parsed.author, "A <a@b>");
  EXPECT_EQ(parsed.forum, "x.y,z.w");
  EXPECT_EQ(parsed.messageId, "<m@id>");
  EXPECT_EQ(parsed.references, "<r@id>");
  EXPECT_EQ(parsed.text, "line one\r\n\r\nline three\r\n");
  EXPECT_EQ(parsed.date, *encodeDate(1993, 4, 5) + *encodeTime(23, 23, 53));
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
  auto back = StoredArticle::deserialize(data);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->number, article.number);
  EXPECT_EQ(back->date, article.date);
  EXPECT_EQ(back->subject, article.subject);
  EXPECT_EQ(back->groups, article.groups);
  EXPECT_EQ(back->body, "body");
  EXPECT_EQ(StoredArticle::deserialize(data, false)->body, "");
  for (std::size_t cut = 0; cut < data.size(); ++cut)
    EXPECT_FALSE(StoredArticle::deserialize(data.substr(0, cut))) << cut;
  EXPECT_FALSE(StoredArticle::deserialize(data + "x"));
}

}  // namespace
}  // namespace varnook::server
