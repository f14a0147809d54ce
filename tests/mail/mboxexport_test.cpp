#include "mail/mboxexport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "../desktop/xdgsandbox.h"
#include "collection/collection.h"

namespace varnook {
namespace {

using testing::readFile;
using Lines = std::vector<std::string>;

struct MboxMessage {
  std::string envelope;
  Lines headers;
  std::string body;
};

// An mboxrd reader written from the format's description, independent of the writer.
std::vector<MboxMessage> readMbox(const std::string& mbox) {
  std::vector<MboxMessage> messages;
  const auto endBody = [&] {
    if (!messages.empty() && !messages.back().body.empty()) messages.back().body.pop_back();
  };
  std::istringstream in(mbox);
  bool inHeaders = false;
  std::string previous;
  for (std::string line; std::getline(in, line); previous = line) {
    if (line.rfind("From ", 0) == 0 && previous.empty()) {
      endBody();
      messages.push_back({line.substr(5), {}, {}});
      inHeaders = true;
    } else if (messages.empty()) {
      continue;
    } else if (inHeaders) {
      inHeaders = !line.empty();
      if (inHeaders) messages.back().headers.push_back(line);
    } else {
      const std::size_t quotes = line.find_first_not_of('>');
      if (quotes != std::string::npos && quotes > 0 && line.compare(quotes, 5, "From ") == 0)
        line.erase(0, 1);
      messages.back().body += line + "\n";
    }
  }
  endBody();
  return messages;
}

// Local time is Berlin's here, summer time included.
class MboxExport : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) savedTz_ = tz;
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
  }
  void TearDown() override {
    savedTz_ ? ::setenv("TZ", savedTz_->c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
  }
  Article& add(std::uint32_t number, const std::string& subject, const std::string& text) {
    const std::string n = std::to_string(number);
    auto article = std::make_unique<Article>(number, subject);
    article->author = "Writer " + n + " <w" + n + "@example.com>";
    article->forum = "alt.test.export";
    article->messageId = "<export" + n + "@example.com>";
    article->date = *encodeDate(1999, 7, 14) + *encodeTime(12, 30, 15);
    article->text = text;
    return collection_.appendArticle(std::move(article));
  }

  Collection collection_;
  std::optional<std::string> savedTz_;
};

TEST_F(MboxExport, WritesLoadedArticlesThatReadBackExactlyOrReportsWhyNot) {
  add(1, "First zebraxylophone",
      "Hello\r\nFrom the start\r\n>From quoted\r\n>>From deeper\r\n"
      "\r\nFromage is no envelope\r\nlast line");
  add(2, "Not loaded", "");
  Article& third = add(3, "Third quagmirequill", "From line first\nthen LF only\n");
  third.references = "<export1@example.com>";
  third.author = "nobody";
  third.date = 0;
  third.messageId.clear();

  testing::XdgSandbox box;
  const std::string file = box.root + "/export.mbox";
  const ExportResult result = exportMbox(collection_, file);
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.articles, 2u);

  const auto messages = readMbox(readFile(file));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].envelope, "w1@example.com Wed Jul 14 10:30:15 1999");
  EXPECT_EQ(messages[0].headers,
            (Lines{"From: Writer 1 <w1@example.com>", "Subject: First zebraxylophone",
                   "Date: Wed, 14 Jul 1999 12:30:15 +0200", "Message-ID: <export1@example.com>",
                   "Newsgroups: alt.test.export"}));
  EXPECT_EQ(messages[0].body,
            "Hello\nFrom the start\n>From quoted\n>>From deeper\n\nFromage is no envelope\n"
            "last line\n");
  EXPECT_EQ(messages[1].envelope, "MAILER-DAEMON Thu Jan  1 00:00:00 1970");
  EXPECT_EQ(messages[1].headers,
            (Lines{"From: nobody", "Subject: Third quagmirequill",
                   "References: <export1@example.com>", "Newsgroups: alt.test.export"}));
  EXPECT_EQ(messages[1].body, "From line first\nthen LF only\n");

  const ExportResult missing = exportMbox(collection_, box.root + "/no/such/folder/x.mbox");
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.message.find("No such file or directory"), std::string::npos);
  EXPECT_EQ(missing.articles, 0u);
}

TEST_F(MboxExport, FormatsDatesAndSendersForMailPrograms) {
  const DayDate winter = *encodeDate(2003, 1, 6) + *encodeTime(8, 9, 10);
  EXPECT_EQ(rfc5322Date(winter), "Mon, 06 Jan 2003 08:09:10 +0100");
  EXPECT_EQ(envelopeDate(winter), "Mon Jan  6 07:09:10 2003");
  EXPECT_EQ(rfc5322Date(0), "");
  const std::pair<const char*, const char*> senders[] = {{"Ann <ann@x.org>", "ann@x.org"},
                                                         {"ann@x.org (Ann Other)", "ann@x.org"},
                                                         {"<broken", "MAILER-DAEMON"},
                                                         {"Ann <a n@x.org>", "an@x.org"},
                                                         {"", "MAILER-DAEMON"}};
  for (const auto& [from, sender] : senders) EXPECT_EQ(envelopeSender(from), sender) << from;
}

}  // namespace
}  // namespace varnook
