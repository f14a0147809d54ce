#include "mail/mailcomposer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "../desktop/xdgsandbox.h"
#include "collection/article.h"

namespace varnook {
namespace {

using Args = std::vector<std::string>;
using Status = MailComposer::Result::Status;
using testing::readTextFile;
using testing::XdgSandbox;

std::unique_ptr<Article> replyable() {
  auto owned = std::make_unique<Article>(42, "Modem trouble");
  Article& article = *owned;
  article.author = "Ann <ann@example.com>";
  article.forum = "comp.dcom.modems";
  article.messageId = "<m1@example>";
  article.text = "line one\r\nline two";
  return owned;
}

void fixClock(MailComposer& composer) {
  composer.clock = [] { return *encodeDate(2020, 1, 2) + *encodeTime(3, 4, 5); };
  composer.dateNames = DateNames::classic();
}

mode_t modeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

TEST(MailComposer, RepliesThroughTheMessageFileHandlers) {
  XdgSandbox box;
  box.addRecorder("mailer.desktop", "%f");
  box.addRecorder("news.desktop", "%f");
  box.setDefault("message/rfc822", "mailer.desktop");
  box.setDefault("message/news", "news.desktop");
  testing::writeTextFile(box.configHome + "/emailidentities",
                         "[Identity #0]\nName=Me\nEmail Address=me@example.org\n");
  MailComposer composer(box.dirs());
  fixClock(composer);
  ASSERT_TRUE(composer.hasEmlHandler());
  ASSERT_TRUE(composer.hasNwsHandler());

  const auto reply = composer.compose(*replyable(), MessageMode::replyAuthor);
  ASSERT_EQ(reply.status, Status::opened) << reply.message;
  const std::string eml = box.cacheHome + "/varnook/TempMsg.eml";
  EXPECT_EQ(reply.target, eml);
  EXPECT_EQ(box.waitForRecord("mailer.desktop"), (Args{eml}));
  EXPECT_EQ(readTextFile(eml),
            "From: Me <me@example.org>\r\nSubject: Re: Modem trouble\r\n"
            "To: Ann <ann@example.com>\r\nDate: Thu, 2 Jan 20 03:04:05\r\nX-Unsent: 1\r\n\r\n"
            ">line one\r\n>line two\r\n");
  EXPECT_EQ(modeOf(eml), 0600u);
  EXPECT_EQ(modeOf(box.cacheHome + "/varnook"), 0700u);

  // A second message overwrites the same file.
  const auto forward = composer.compose(*replyable(), MessageMode::forward);
  ASSERT_EQ(forward.status, Status::opened);
  EXPECT_EQ(forward.target, eml);
  EXPECT_EQ(readTextFile(eml).substr(0, 51),
            "From: Me <me@example.org>\r\nSubject: Fw: Modem troub");

  const auto group = composer.compose(*replyable(), MessageMode::replyGroup);
  ASSERT_EQ(group.status, Status::opened);
  EXPECT_EQ(box.waitForRecord("news.desktop"), (Args{box.cacheHome + "/varnook/TempMsg.nws"}));
}

TEST(MailComposer, FallsBackToAMailtoLinkAndRefusesGroupRepliesWithoutNewsHandler) {
  XdgSandbox box;
  box.addRecorder("mailto.desktop");
  box.setDefault("x-scheme-handler/mailto", "mailto.desktop");
  MailComposer composer(box.dirs());
  EXPECT_FALSE(composer.hasEmlHandler());
  EXPECT_FALSE(composer.hasNwsHandler());

  const auto group = composer.compose(*replyable(), MessageMode::replyGroup);
  EXPECT_EQ(group.status, Status::noNewsClient);
  EXPECT_EQ(group.message, "Can't reply to the newsgroups without MS Outlook Express!");
  EXPECT_FALSE(std::filesystem::exists(box.cacheHome + "/varnook/TempMsg.nws"));

  const auto forward = composer.compose(*replyable(), MessageMode::forward);
  ASSERT_EQ(forward.status, Status::opened);
  const std::string link =
      "mailto:Ann%20%3Cann%40example.com%3E?subject=Modem%20trouble"
      "&body=%3Eline%20one%0D%0A%3Eline%20two%0D%0A";
  EXPECT_EQ(forward.target, link);
  EXPECT_EQ(box.waitForRecord("mailto.desktop"), (Args{link}));
}

TEST(MailComposer, ReportsAMissingMailProgramAndAnUnwritableCache) {
  XdgSandbox box;
  box.addRecorder("mailer.desktop", "%f");
  box.setDefault("message/rfc822", "mailer.desktop");
  MailComposer composer(box.dirs());
  testing::writeTextFile(box.cacheHome + "/varnook", "a file where the folder belongs");
  const auto failed = composer.compose(*replyable(), MessageMode::replyAuthor);
  EXPECT_EQ(failed.status, Status::writeFailed);
  EXPECT_NE(failed.message.find(box.cacheHome + "/varnook"), std::string::npos) << failed.message;
  EXPECT_FALSE(box.recorderRan("mailer.desktop"));

  XdgSandbox empty;
  MailComposer nothing(empty.dirs());
  const auto unopened = nothing.compose(*replyable(), MessageMode::replyAuthor);
  EXPECT_EQ(unopened.status, Status::launchFailed);
  EXPECT_EQ(unopened.message, "Can't launch the default mail client!");
}

TEST(OpenMailTarget, SendsAddressesLinksAndFilesToTheirHandlers) {
  XdgSandbox box;
  box.addRecorder("mailto.desktop");
  box.addRecorder("eml.desktop", "%f");
  box.setDefault("x-scheme-handler/mailto", "mailto.desktop");
  box.setDefault("message/rfc822", "eml.desktop");
  const XdgDirs dirs = box.dirs();
  struct Case {
    std::string target;
    std::string recorder;
    std::string received;
  };
  const Case cases[] = {
      {"ann@example.com", "mailto.desktop", "mailto:ann@example.com"},
      {"MAILTO:ann@example.com", "mailto.desktop", "MAILTO:ann@example.com"},
      {"x@y; rm -rf ~ $(id)", "mailto.desktop", "mailto:x@y; rm -rf ~ $(id)"},
      {"/home/a@b/.cache/varnook/TempMsg.eml", "eml.desktop",
       "/home/a@b/.cache/varnook/TempMsg.eml"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(box.root + "/records/" + c.recorder + ".args");
    ASSERT_EQ(openMailTarget(dirs, c.target).status, OpenStatus::opened) << c.target;
    EXPECT_EQ(box.waitForRecord(c.recorder), (Args{c.received}));
  }
  EXPECT_EQ(openMailTarget(dirs, "no address here").status, OpenStatus::noHandler);
  EXPECT_EQ(openMailTarget(dirs, "/tmp/TempMsg.nws").status, OpenStatus::noHandler);
}

}  // namespace
}  // namespace varnook
