#include "mail/messagefile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "../desktop/xdgsandbox.h"
#include "collection/article.h"
#include "mail/mailto.h"

namespace varnook {
namespace {

using testing::readTextFile;

std::unique_ptr<Article> sampleArticle() {
  auto owned = std::make_unique<Article>(1234, "Re: modems");
  Article& article = *owned;
  article.author = "John Smith <john@example.com>";
  article.forum = "comp.dcom.modems";
  article.messageId = "<abc@news.example>";
  article.references = "<parent@news.example>";
  article.date = *encodeDate(1993, 4, 5) + *encodeTime(23, 23, 53);
  article.text = "First line\r\n> quoted\nthird\rlast";
  return owned;
}

MessageContext fixedContext() {
  MessageContext context;
  context.sender = "Me Myself <me@example.org>";
  context.now = *encodeDate(2024, 2, 29) + *encodeTime(7, 5, 9);
  context.dateNames = DateNames::classic();
  return context;
}

struct ModeCase {
  MessageMode mode;
  const char* expected;
};

TEST(MessageFile, WritesEachModeLineForLine) {
  const ModeCase cases[] = {
      {MessageMode::replyAuthor,
       "From: Me Myself <me@example.org>\r\n"
       "Subject: Re: Re: modems\r\n"
       "To: John Smith <john@example.com>\r\n"
       "Date: Thu, 29 Feb 24 07:05:09\r\n"
       "X-Unsent: 1\r\n"
       "\r\n"
       ">First line\r\n>> quoted\r\n>third\r\n>last\r\n"},
      {MessageMode::forward,
       "From: Me Myself <me@example.org>\r\n"
       "Subject: Fw: Re: modems\r\n"
       "Date: Thu, 29 Feb 24 07:05:09\r\n"
       "X-Unsent: 1\r\n"
       "\r\n"
       ">First line\r\n>> quoted\r\n>third\r\n>last\r\n"},
      {MessageMode::replyGroup,
       "From: Me Myself <me@example.org>\r\n"
       "Subject: Re: Re: modems\r\n"
       "Newsgroups: comp.dcom.modems\r\n"
       "References: <abc@news.example>\r\n"
       "Date: Thu, 29 Feb 24 07:05:09\r\n"
       "X-Unsent: 1\r\n"
       "\r\n"
       ">First line\r\n>> quoted\r\n>third\r\n>last\r\n"},
      {MessageMode::saveArticle,
       "From: John Smith <john@example.com>\r\n"
       "Subject: Re: modems\r\n"
       "Newsgroups: comp.dcom.modems\r\n"
       "Date: Mon, 5 Apr 93 23:23:53\r\n"
       "Message-ID: <abc@news.example>\r\n"
       "References: <parent@news.example>\r\n"
       "\r\n"
       "First line\r\n> quoted\nthird\rlast"},
  };
  testing::XdgSandbox box;
  for (const auto& c : cases) {
    const std::string file = box.root + "/message.eml";
    ASSERT_EQ(writeMessageFile(*sampleArticle(), file, c.mode, fixedContext()), "");
    EXPECT_EQ(readTextFile(file), c.expected) << static_cast<int>(c.mode);
  }
}

TEST(MessageFile, LeavesOutWhatTheArticleLacks) {
  Article article(7, "Subject");
  article.forum = "alt.test";
  MessageContext context = fixedContext();
  context.sender.clear();
  EXPECT_EQ(messageText(article, MessageMode::replyGroup, context),
            "From: \r\nSubject: Re: Subject\r\nNewsgroups: alt.test\r\n"
            "Date: Thu, 29 Feb 24 07:05:09\r\nX-Unsent: 1\r\n\r\n");
  EXPECT_EQ(messageText(article, MessageMode::saveArticle, context),
            "From: \r\nSubject: Subject\r\nNewsgroups: alt.test\r\nDate: \r\n\r\n");
}

TEST(MessageFile, FieldsCannotAddHeaderLines) {
  Article article(7, "Hi\r\nBcc: victim@example.com");
  article.author = "a@b\nX-Evil: 1";
  const std::string text = messageText(article, MessageMode::replyAuthor, fixedContext());
  EXPECT_NE(text.find("Subject: Re: Hi  Bcc: victim@example.com\r\n"), std::string::npos);
  EXPECT_NE(text.find("To: a@b X-Evil: 1\r\n"), std::string::npos);
}

TEST(MessageFile, SplitsLinesAtEveryKindOfLineEnd) {
  using Lines = std::vector<std::string_view>;
  EXPECT_EQ(splitTextLines(""), Lines{});
  EXPECT_EQ(splitTextLines("a\r\nb\r\n"), (Lines{"a", "b"}));
  EXPECT_EQ(splitTextLines("a\n\rb"), (Lines{"a", "", "b"}));
  EXPECT_EQ(splitTextLines("a\r\n\r\n"), (Lines{"a", ""}));
  EXPECT_EQ(splitTextLines("\n"), (Lines{""}));
}

TEST(MessageFile, DatesFollowTheGivenNotation) {
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

TEST(MessageFile, FailsWithTheSystemReason) {
  const std::string error = writeMessageFile(*sampleArticle(), "/nonexistent-folder/x.nws",
                                             MessageMode::saveArticle, fixedContext());
  EXPECT_EQ(error, "Cannot create file \"/nonexistent-folder/x.nws\". No such file or directory");
}

TEST(MessageFile, SavedArticlesGetTheUsualAccessAndReplacePreviousFiles) {
  testing::XdgSandbox box;
  const std::string file = box.root + "/saved.nws";
  ::umask(022);
  ASSERT_EQ(writeMessageFile(*sampleArticle(), file, MessageMode::saveArticle, fixedContext()), "");
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  ASSERT_EQ(writeMessageFile(*sampleArticle(), file, MessageMode::forward, fixedContext(), true),
            "");
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(readTextFile(file).substr(0, 10), "From: Me M");
}

TEST(MailtoLink, QuotesTheBodyAndEncodesBlanksAsPercent20) {
  Article article(1, "Re: two words");
  article.author = "John <j@x.org>";
  article.text = "a b\r\nc";
  EXPECT_EQ(mailtoLink(article),
            "mailto:John%20%3Cj%40x.org%3E?subject=Re%3A%20two%20words"
            "&body=%3Ea%20b%0D%0A%3Ec%0D%0A");
  article.text.clear();
  article.subject.clear();
  EXPECT_EQ(mailtoLink(article), "mailto:John%20%3Cj%40x.org%3E?");
}

TEST(MailtoLink, LongLinksAreCutTo253Characters) {
  Article article(1, "long");
  article.author = "j@x.org";
  article.text = std::string(400, 'x');
  const std::string link = mailtoLink(article);
  EXPECT_EQ(link.size(), 253u);
  EXPECT_EQ(link.substr(250), "...");
  EXPECT_EQ(link.substr(0, 250), mailtoLink(article).substr(0, 250));

  // Exactly 254 characters stay whole; 255 are cut.
  const std::string prefix = "mailto:j%40x.org?subject=long&body=%3E";
  const std::string suffix = "%0D%0A";
  article.text = std::string(254 - prefix.size() - suffix.size(), 'y');
  EXPECT_EQ(mailtoLink(article).size(), 254u);
  article.text += 'y';
  // Cut at 250, which here falls inside the final "%0D" and so moves back before it.
  EXPECT_EQ(mailtoLink(article), mailtoLink(article).substr(0, 249) + "...");
  EXPECT_EQ(mailtoLink(article).size(), 252u);
}

TEST(MailtoLink, CutsNeverSplitAnEscapeOrACharacter) {
  // "mailto:j%40x.org?&body=%3E" has 26 characters; the body text follows.
  Article article(1, "");
  article.author = "j@x.org";
  struct Case {
    std::size_t xs;
    const char* tail;
    std::size_t kept;  // characters before "..."
  };
  const Case cases[] = {
      {221, "          ", 250},                // "%20" ends right at the cut
      {222, "          ", 248},                // the cut would leave "%2"
      {223, "          ", 249},                // the cut would leave "%"
      {222, "\xC3\xA4\xC3\xA4\xC3\xA4", 250},  // "ä" ends right at the cut
      {223, "\xC3\xA4\xC3\xA4\xC3\xA4", 249},  // the cut would split an "ä"
  };
  for (const auto& c : cases) {
    article.text = std::string(c.xs, 'x') + c.tail;
    const std::string link = mailtoLink(article);
    EXPECT_EQ(link.size(), c.kept + 3) << c.xs;
    EXPECT_EQ(link.substr(link.size() - 3), "...");
  }
}

}  // namespace
}  // namespace varnook
