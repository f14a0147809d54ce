#include "ui/desktopactions.h"

#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>

#include "../desktop/xdgsandbox.h"
#include "archive/queryurl.h"
#include "collection/collection.h"
#include "desktop/desktopentry.h"
#include "scriptedprompts.h"
#include "ui/updateprompts.h"

namespace varnook::testing {
namespace {

using Args = std::vector<std::string>;
using Kind = UserPrompts::Kind;

// The desktop's programs as the window reaches them, with the message boxes of failures.
class DesktopActionsTest : public ::testing::Test {
 protected:
  void registerBrowser() {
    box.addHandler("browser.desktop", {"x-scheme-handler/http", "x-scheme-handler/https"});
  }
  DesktopActions& actions() {
    if (!actions_) actions_ = std::make_unique<DesktopActions>(box.dirs(), prompts, nullptr);
    return *actions_;
  }

  XdgSandbox box;
  ScriptedPrompts prompts;
  std::unique_ptr<DesktopActions> actions_;
};

// A handler that cannot be executed, or one that fails at once, is named with its words.
TEST_F(DesktopActionsTest, FailuresShowTheProgramsTexts) {
  EXPECT_FALSE(actions().openUrl("http://example.com/"));
  actions().hotSpotClick("someone@example.com");
  Article article(5, "Subject");
  article.author = "a@example.com";
  article.forum = "alt.test";
  actions().composeMessage(article, MessageMode::ReplyGroup);
  box.addDesktopFile("gone.desktop",
                     "[Desktop Entry]\nType=Application\nName=G\nExec=" + box.root + "/gone %u\n");
  box.setDefault("x-scheme-handler/http", "gone.desktop");
  EXPECT_FALSE(DesktopActions(box.dirs(), prompts, nullptr).openUrl("http://example.com/"));
  const std::string failing = box.root + "/bin/emacs-browser";
  writeProgram(failing, "#!/bin/sh\necho noise\necho 'exec: emacs: not found' >&2\nexit 127\n");
  box.addDesktopFile("gone.desktop", "[Desktop Entry]\nType=Application\nName=G\nExec=" + failing);
  EXPECT_TRUE(actions().openUrl("http://example.com/"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return prompts.messages.size() == 5; }, 10000));
  EXPECT_EQ(prompts.texts(),
            (QStringList{
                "Unable to detect your default browser!", "Can't launch the default mail client!",
                "Can't reply to the newsgroups: the mail program does not post to newsgroups",
                "Can't launch the default browser!",
                "Can't launch the default browser!\n\nemacs-browser ended with an error:\nexec: "
                "emacs: not found"}));
  EXPECT_EQ(prompts.messages[4].kind, Kind::Error);
  EXPECT_EQ(prompts.messages[2].kind, Kind::Warning);
}

TEST_F(DesktopActionsTest, LinksGoToTheMailProgramOrTheBrowser) {
  registerBrowser();
  box.addHandler("mailto.desktop", {"x-scheme-handler/mailto"});
  actions().hotSpotClick("someone@example.com");
  EXPECT_EQ(box.waitForRecord("mailto.desktop"), (Args{"mailto:someone@example.com"}));
  EXPECT_FALSE(box.recorderRan("browser.desktop"));
  actions().hotSpotClick("http://example.com/a b;c");
  EXPECT_EQ(box.waitForRecord("browser.desktop"), (Args{"http://example.com/a b;c"}));
  EXPECT_TRUE(prompts.messages.empty());
}

// The web search's URL: see WebSearch's tests; it takes the same way to the browser.
TEST_F(DesktopActionsTest, ManualAndPostingProfilesOpenInTheBrowser) {
  registerBrowser();
  const std::string manual = actions().manualFile();
  EXPECT_TRUE(std::filesystem::exists(manual)) << manual;
  actions().openManual();
  EXPECT_EQ(box.waitForRecord("browser.desktop"), (Args{fileUrlFromPath(manual)}));

  // The profile's URL: see its own tests.
  const ServiceSettings service;
  actions().openPostingProfile("Ann <ann@example.com>", service);
  EXPECT_EQ(box.waitForRecord("browser.desktop"),
            (Args{buildProfileUrl("Ann <ann@example.com>", service)}));
  EXPECT_TRUE(prompts.messages.empty());
}

// The files' texts: see the message file's and the mbox export's tests; saving and exporting
// that work: see the window's list and desktop tests.
TEST_F(DesktopActionsTest, SaveAndExportSayWhyNot) {
  Collection collection;
  auto owned = std::make_unique<Article>(9, "Saved subject");
  owned->text = "Body\r\n";
  Article& article = collection.appendArticle(std::move(owned));
  EXPECT_FALSE(actions().saveArticle(article, QStringLiteral("/no/such/folder/x.nws")));
  EXPECT_EQ(actions().exportArticles(collection, QStringLiteral("/no/such/folder/a.mbox")),
            std::nullopt);
  ASSERT_EQ(prompts.messages.size(), 2u);
  EXPECT_TRUE(prompts.messages[0].text.startsWith("Cannot create file \"/no/such/folder/x.nws\"."));

  collection.setFileName("/home/u/modems.vnk");
  const FileDialogSpec spec = DesktopActions::exportDialogSpec(collection);
  EXPECT_EQ(spec.proposedName, "modems.mbox");
  EXPECT_EQ(spec.defaultSuffix, "mbox");
}

// The update check's other questions, statuses and pages: see the About dialog's tests.
TEST_F(DesktopActionsTest, UpdatePromptsAskOkCancelWithPlainLineEnds) {
  UpdatePrompts ui(
      prompts, actions(), nullptr, [](const QString&) {}, [] {});
  prompts.answers = {UserPrompts::Answer::Cancel};
  EXPECT_FALSE(ui.askOkCancel("Line one\r\n\r\nline two"));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].kind, Kind::OkCancel);
  EXPECT_EQ(prompts.messages[0].text, "Line one\n\nline two");
}

}  // namespace
}  // namespace varnook::testing
