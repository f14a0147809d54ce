#include "mail/messagefile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "../desktop/xdgsandbox.h"
#include "collection/article.h"
#include "mail/mailto.h"
#include "mail/mboxexport.h"

namespace varnook {
namespace {

using testing::readFile;

std::unique_ptr<Article> sampleArticle() {
  auto article = std::make_unique<Article>(1234, "Re: modems");
  article->author = "John Smith <john@example.com>";
  article->forum = "comp.dcom.modems";
  article->messageId = "<abc@news.example>";
  article->references = "<parent@news.example>";
  article->date = *encodeDate(1993, 4, 5) + *encodeTime(23, 23, 53);
  article->text = "First line\r\n> quoted\nthird\rlast";
  return article;
}

MessageContext fixedContext() {
  MessageContext context;
  context.sender = "Me Myself <me@example.org>";
  context.now = *encodeDate(2024, 2, 29) + *encodeTime(7, 5, 9);
  context.dateNames = DateNames::classic();
  return context;
}

TEST(MessageFile, WritesEachModeLineForLine) {
  const std::string me = "From: Me Myself <me@example.org>\r\n";
  const std::string unsent =
      "Date: " + rfc5322Date(fixedContext().now) +
      "\r\nMIME-Version: 1.0\r\n"
      "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n"
      "X-Unsent: 1\r\n\r\n";
  const std::string quoted = ">First line\r\n>> quoted\r\n>third\r\n>last\r\n";
  const std::pair<MessageMode, std::string> cases[] = {
      {MessageMode::ReplyAuthor, me +
                                     "Subject: Re: Re: modems\r\n"
                                     "To: John Smith <john@example.com>\r\n" +
                                     unsent + quoted},
      {MessageMode::Forward, me + "Subject: Fw: Re: modems\r\n" + unsent + quoted},
      {MessageMode::ReplyGroup, me +
                                    "Subject: Re: Re: modems\r\nNewsgroups: comp.dcom.modems\r\n"
                                    "References: <abc@news.example>\r\n" +
                                    unsent + quoted},
      {MessageMode::SaveArticle,
       "From: John Smith <john@example.com>\r\nSubject: Re: modems\r\n"
       "Newsgroups: comp.dcom.modems\r\nDate: Mon, 5 Apr 93 23:23:53\r\n"
       "Message-ID: <abc@news.example>\r\nReferences: <parent@news.example>\r\n\r\n"
       "First line\r\n> quoted\nthird\rlast"},
  };
  for (const auto& [mode, expected] : cases)
    EXPECT_EQ(messageText(*sampleArticle(), mode, fixedContext()), expected) << int(mode);
}

TEST(MessageFile, LeavesOutWhatTheArticleLacksAndFieldsCannotAddHeaderLines) {
  Article article(7, "Subject");
  article.forum = "alt.test";
  MessageContext context = fixedContext();
  context.sender.clear();
  EXPECT_TRUE(messageText(article, MessageMode::ReplyGroup, context)
                  .starts_with("From: \r\nSubject: Re: Subject\r\nNewsgroups: alt.test\r\n"
                               "Date: " +
                               rfc5322Date(context.now) + "\r\nMIME-Version"));
  EXPECT_EQ(messageText(article, MessageMode::SaveArticle, context),
            "From: \r\nSubject: Subject\r\nNewsgroups: alt.test\r\nDate: \r\n\r\n");
  // A text that is no UTF-8 goes out as the UTF-8 of what the window showed.
  article.text = "Gr\xFC\xDF \x80";
  EXPECT_TRUE(messageText(article, MessageMode::Forward, context)
                  .ends_with("\r\n\r\n>Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC\r\n"));

  article.subject = "Hi\r\nBcc: victim@example.com";
  article.author = "a@b\nX-Evil: 1";
  const std::string text = messageText(article, MessageMode::ReplyAuthor, fixedContext());
  EXPECT_NE(text.find("Subject: Re: Hi  Bcc: victim@example.com\r\n"), std::string::npos);
  EXPECT_NE(text.find("To: a@b X-Evil: 1\r\n"), std::string::npos);
}

TEST(MessageFile, LinesSplitAtEveryKindOfLineEndAndDatesFollowTheGivenNotation) {
  using Lines = std::vector<std::string_view>;
  const std::pair<const char*, Lines> cases[] = {{"", {}},
                                                 {"a\r\nb\r\n", {"a", "b"}},
                                                 {"a\n\rb", {"a", "", "b"}},
                                                 {"a\r\n\r\n", {"a", ""}},
                                                 {"\n", {""}}};
  for (const auto& [text, lines] : cases) EXPECT_EQ(splitTextLines(text), lines) << text;

  DateNames german = DateNames::classic();
  german.shortDays = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
  german.shortMonths[2] = "Mär";
  german.timeFormat = "%T";
  const DayDate date = *encodeDate(2001, 3, 4) + *encodeTime(13, 2, 3);
  EXPECT_EQ(formatMessageDate(date, german), "So, 4 Mär 01 13:02:03");
  DateNames us = DateNames::classic();
  us.timeFormat = "%r";
  EXPECT_EQ(formatMessageDate(date, us), "Sun, 4 Mar 01 01:02:03 PM");
  us.timeFormat = "%l:%M %P %Z%%";
  EXPECT_EQ(formatMessageDate(*encodeDate(2001, 3, 4), us), "Sun, 4 Mar 01 12:00 am %");
  EXPECT_EQ(formatMessageDate(0, us), "");
  EXPECT_EQ(formatMessageDate(*encodeDate(1899, 12, 31), DateNames::classic()),
            "Sun, 31 Dec 99 00:00:00");
}

TEST(MessageFile, FilesGetTheUsualOrOwnerOnlyAccessReplaceOldFilesAndFailWithTheReason) {
  testing::XdgSandbox box;
  const std::string file = box.root + "/saved.nws";
  ::umask(022);
  for (const bool ownerOnly : {false, true}) {
    const MessageMode mode = ownerOnly ? MessageMode::Forward : MessageMode::SaveArticle;
    ASSERT_EQ(writeMessageFile(*sampleArticle(), file, mode, fixedContext(), ownerOnly), "");
    EXPECT_EQ(testing::fileMode(file), ownerOnly ? 0600u : 0644u);
    EXPECT_EQ(readFile(file), messageText(*sampleArticle(), mode, fixedContext()));
  }
  EXPECT_EQ(writeMessageFile(*sampleArticle(), "/nonexistent-folder/x.nws",
                             MessageMode::SaveArticle, fixedContext()),
            "Cannot create file \"/nonexistent-folder/x.nws\". No such file or directory");
}

TEST(MailtoLink, QuotesTheBodyAndEncodesBlanksAsPercent20) {
  Article article(1, "Re: two words");
  article.author = "John <j@x.org>";
  article.text = "a b\r\nc";
  EXPECT_EQ(mailtoLink(article),
            "mailto:John%20%3Cj%40x.org%3E?subject=Re%3A%20two%20words"
            "&body=%3Ea%20b%0D%0A%3Ec%0D%0A");
  article.text.clear();
  article.subject = "caf\xC3\xA9 \x80";  // not UTF-8: read as Windows-1252
  EXPECT_EQ(mailtoLink(article),
            "mailto:John%20%3Cj%40x.org%3E?subject=caf%C3%83%C2%A9%20%E2%82%AC");
  article.subject = "caf\xC3\xA9\t";
  EXPECT_EQ(mailtoLink(article), "mailto:John%20%3Cj%40x.org%3E?subject=caf%C3%A9%09");
  article.subject.clear();
  EXPECT_EQ(mailtoLink(article), "mailto:John%20%3Cj%40x.org%3E?");
}

TEST(MailtoLink, LinksOf255CharactersAreCutNeverSplittingAnEscapeOrACharacter) {
  Article article(1, "");
  article.author = "j@x.org";
  const std::string prefix = "mailto:j%40x.org?&body=%3E";  // 26 characters
  const std::string ae = "\xC3\xA4";
  const struct {
    std::size_t xs;
    std::string tail, encodedTail;
    std::size_t kept;  // characters before "...", 0: the link stays whole
  } cases[] = {
      {400, "", "", 250},
      {222, "", "", 0},                         // 254 characters stay whole
      {223, "", "", 249},                       // the cut would leave "%" of "%0D"
      {221, std::string(10, ' '), "%20", 250},  // "%20" ends right at the cut
      {222, std::string(10, ' '), "%20", 248},  // the cut would leave "%2"
      {223, std::string(10, ' '), "%20", 249},  // the cut would leave "%"
      {218, ae + ae + ae, "%C3%A4", 250},       // "ä" ends right at the cut
      {217, ae + ae + ae, "%C3%A4", 249},       // the cut would leave "%" of "%A4"
      {220, ae + ae + ae, "%C3%A4", 246},       // the cut would split an "ä"
  };
  for (const auto& c : cases) {
    article.text = std::string(c.xs, 'x') + c.tail;
    std::string whole = prefix + std::string(c.xs, 'x');
    for (std::size_t i = 0; i < c.tail.size(); i += c.tail[0] == ' ' ? 1 : 2)
      whole += c.encodedTail;
    whole += "%0D%0A";
    EXPECT_EQ(mailtoLink(article), c.kept == 0 ? whole : whole.substr(0, c.kept) + "...")
        << c.xs << " + " << c.encodedTail;
  }
}

}  // namespace
}  // namespace varnook
