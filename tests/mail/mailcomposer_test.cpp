#include "mail/mailcomposer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "../desktop/xdgsandbox.h"
#include "collection/article.h"
#include "mail/mailto.h"
#include "mail/messagefile.h"

namespace varnook {
namespace {

using Args = std::vector<std::string>;
using Status = MailComposer::Result::Status;
using testing::readFile;

std::unique_ptr<Article> replyable() {
  auto article = std::make_unique<Article>(42, "Modem trouble");
  article->author = "Ann <ann@example.com>";
  article->forum = "comp.dcom.modems";
  article->messageId = "<m1@example>";
  article->text = "line one\r\nline two";
  return article;
}

class MailComposerTest : public ::testing::Test {
 protected:
  testing::XdgSandbox box;
  const std::string eml = box.cacheHome + "/varnook/TempMsg.eml";
  const std::string nws = box.cacheHome + "/varnook/TempMsg.nws";
};

// The files' lines for every mode, and replacing an old file: see the message file's tests;
// the failures' texts: see the desktop actions' tests.
TEST_F(MailComposerTest, RepliesThroughTheMessageFileHandlers) {
  box.addHandler("mailer.desktop", {"message/rfc822"}, "%f");
  box.addHandler("news.desktop", {"message/news"}, "%f");
  testing::writeFile(box.configHome + "/emailidentities",
                     "[Identity #0]\nName=Me\nEmail Address=me@example.org\n");
  MailComposer composer(box.dirs());
  composer.clock = [] { return *encodeDate(2020, 1, 2) + *encodeTime(3, 4, 5); };
  composer.dateNames = DateNames::classic();
  ASSERT_TRUE(composer.hasEmlHandler() && composer.hasNwsHandler());

  const auto reply = composer.compose(*replyable(), MessageMode::ReplyAuthor);
  ASSERT_EQ(reply.status, Status::Opened) << reply.message;
  EXPECT_EQ(reply.target, eml);
  EXPECT_EQ(box.waitForRecord("mailer.desktop"), (Args{eml}));
  // From the identity the mail program has, dated by the composer's clock.
  EXPECT_EQ(readFile(eml), messageText(*replyable(), MessageMode::ReplyAuthor,
                                       {"Me <me@example.org>", composer.clock()}));
  EXPECT_EQ(testing::fileMode(eml), 0600u);
  EXPECT_EQ(testing::fileMode(box.cacheHome + "/varnook"), 0700u);

  ASSERT_EQ(composer.compose(*replyable(), MessageMode::ReplyGroup).status, Status::Opened);
  EXPECT_EQ(box.waitForRecord("news.desktop"), (Args{nws}));
}

TEST_F(MailComposerTest, FallsBackToAMailtoLinkAndRefusesGroupRepliesWithoutNewsHandler) {
  box.addHandler("mailto.desktop", {"x-scheme-handler/mailto"});
  MailComposer composer(box.dirs());
  EXPECT_FALSE(composer.hasEmlHandler() || composer.hasNwsHandler());

  const auto group = composer.compose(*replyable(), MessageMode::ReplyGroup);
  EXPECT_EQ(group.status, Status::NoNewsClient);
  EXPECT_FALSE(std::filesystem::exists(nws));

  const auto forward = composer.compose(*replyable(), MessageMode::Forward);
  ASSERT_EQ(forward.status, Status::Opened);
  EXPECT_EQ(forward.target, mailtoLink(*replyable()));
  EXPECT_EQ(box.waitForRecord("mailto.desktop"), (Args{forward.target}));
}

TEST_F(MailComposerTest, ReportsAMissingMailProgramAndAnUnwritableCache) {
  MailComposer nothing(box.dirs());
  const auto unopened = nothing.compose(*replyable(), MessageMode::ReplyAuthor);
  EXPECT_EQ(unopened.status, Status::LaunchFailed);

  box.addHandler("mailer.desktop", {"message/rfc822"}, "%f");
  MailComposer composer(box.dirs());
  testing::writeFile(box.cacheHome + "/varnook", "a file where the folder belongs");
  const auto failed = composer.compose(*replyable(), MessageMode::ReplyAuthor);
  EXPECT_EQ(failed.status, Status::WriteFailed);
  EXPECT_NE(failed.message.find(box.cacheHome + "/varnook"), std::string::npos) << failed.message;
  EXPECT_FALSE(box.recorderRan("mailer.desktop"));
}

TEST_F(MailComposerTest, OpenMailTargetSendsAddressesLinksAndFilesToTheirHandlers) {
  box.addHandler("mailto.desktop", {"x-scheme-handler/mailto"});
  box.addHandler("eml.desktop", {"message/rfc822"}, "%f");
  const XdgDirs dirs = box.dirs();
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"ann@example.com", "mailto.desktop", "mailto:ann@example.com"},
      {"MAILTO:ann@example.com", "mailto.desktop", "MAILTO:ann@example.com"},
      {"x@y; rm -rf ~ $(id)", "mailto.desktop", "mailto:x@y; rm -rf ~ $(id)"},
      {"/home/a@b/.cache/varnook/TempMsg.eml", "eml.desktop",
       "/home/a@b/.cache/varnook/TempMsg.eml"},
  };
  for (const auto& [target, recorder, received] : cases) {
    ASSERT_EQ(openMailTarget(dirs, target).status, OpenStatus::Opened) << target;
    EXPECT_EQ(box.waitForRecord(recorder), (Args{received}));
  }
  EXPECT_EQ(openMailTarget(dirs, "no address here").status, OpenStatus::NoHandler);
  EXPECT_EQ(openMailTarget(dirs, "/tmp/TempMsg.nws").status, OpenStatus::NoHandler);
}

}  // namespace
}  // namespace varnook
