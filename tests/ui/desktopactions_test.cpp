#include "ui/desktopactions.h"

#include <gtest/gtest.h>

#include <QFile>
#include <filesystem>

#include "../desktop/xdgsandbox.h"
#include "collection/collection.h"
#include "desktop/desktopentry.h"
#include "desktop/websearch.h"
#include "recordingprompts.h"
#include "ui/updateprompts.h"

namespace varnook {
namespace {

using Args = std::vector<std::string>;
using Kind = UserPrompts::Kind;
using testing::RecordingPrompts;
using testing::XdgSandbox;

class DesktopActionsTest : public ::testing::Test {
 protected:
  void registerBrowser() {
    box.addRecorder("browser.desktop");
    box.setDefault("x-scheme-handler/http", "browser.desktop");
    box.setDefault("x-scheme-handler/https", "browser.desktop");
  }
  void registerMailer() {
    box.addRecorder("mailto.desktop");
    box.setDefault("x-scheme-handler/mailto", "mailto.desktop");
  }
  std::unique_ptr<DesktopActions> actions() {
    return std::make_unique<DesktopActions>(box.dirs(), prompts, nullptr);
  }
  void expectNoBoxes() {
    for (const auto& b : prompts.boxes) ADD_FAILURE() << "unexpected box: " << b.text.toStdString();
  }

  XdgSandbox box;
  RecordingPrompts prompts;
};

TEST_F(DesktopActionsTest, ReportsBrowserFailuresWithTheProgramsTexts) {
  EXPECT_FALSE(actions()->openUrl("http://example.com/"));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].kind, Kind::error);
  EXPECT_EQ(prompts.boxes[0].text, "Unable to detect your default browser!");

  box.addDesktopFile("gone.desktop",
                     "[Desktop Entry]\nType=Application\nName=G\nExec=" + box.root + "/gone %u\n");
  box.setDefault("x-scheme-handler/http", "gone.desktop");
  EXPECT_FALSE(actions()->openUrl("http://example.com/"));
  ASSERT_EQ(prompts.boxes.size(), 2u);
  EXPECT_EQ(prompts.boxes[1].text, "Can't launch the default browser!");
}

TEST_F(DesktopActionsTest, LinksGoToTheMailProgramOrTheBrowser) {
  registerBrowser();
  registerMailer();
  auto desktop = actions();
  desktop->hotSpotClick("someone@example.com");
  EXPECT_EQ(box.waitForRecord("mailto.desktop"), (Args{"mailto:someone@example.com"}));
  EXPECT_FALSE(box.recorderRan("browser.desktop"));
  desktop->hotSpotClick("http://example.com/a b;c");
  EXPECT_EQ(box.waitForRecord("browser.desktop"), (Args{"http://example.com/a b;c"}));
  expectNoBoxes();

  XdgSandbox bare;
  RecordingPrompts quiet;
  DesktopActions nothing(bare.dirs(), quiet, nullptr);
  nothing.hotSpotClick("someone@example.com");
  ASSERT_EQ(quiet.boxes.size(), 1u);
  EXPECT_EQ(quiet.boxes[0].text, "Can't launch the default mail client!");
}

TEST_F(DesktopActionsTest, WebSearchUsesTheKeptTemplate) {
  registerBrowser();
  auto desktop = actions();
  desktop->webSearch("modem \"usr sportster\"");
  EXPECT_EQ(box.waitForRecord("browser.desktop"),
            (Args{std::string(kBuiltInSearchPrefix) + "modem+%22usr+sportster%22"}));
  EXPECT_TRUE(std::filesystem::exists(box.configHome + "/varnook/search"));

  std::filesystem::remove(box.root + "/records/browser.desktop.args");
  testing::writeTextFile(box.configHome + "/varnook/search",
                         "https://find.example/?w=%s&pct=5%%\n");
  desktop->webSearch("");
  EXPECT_EQ(box.waitForRecord("browser.desktop"), (Args{"https://find.example/?w=&pct=5%"}));
  expectNoBoxes();
}

TEST_F(DesktopActionsTest, OpensTheManualAndPostingProfiles) {
  registerBrowser();
  auto desktop = actions();
  const std::string manual = desktop->manualFile();
  EXPECT_TRUE(std::filesystem::exists(manual)) << manual;
  desktop->openManual();
  EXPECT_EQ(box.waitForRecord("browser.desktop"), (Args{fileUrlFromPath(manual)}));

  std::filesystem::remove(box.root + "/records/browser.desktop.args");
  ServiceSettings service;
  service.serviceHost = "localhost:8119";
  desktop->openPostingProfile("Ann <ann@example.com>", service);
  const auto profile = box.waitForRecord("browser.desktop");
  ASSERT_TRUE(profile);
  EXPECT_EQ((*profile)[0],
            "http://localhost:8119/[ST_rn=ps]/profile.xp?ST=PS&author=Ann+%3Cann%40example.com%3E");
  expectNoBoxes();
}

TEST_F(DesktopActionsTest, ComposeReportsAMissingNewsProgram) {
  auto owned = std::make_unique<Article>(5, "Subject");
  owned->author = "a@example.com";
  owned->forum = "alt.test";
  actions()->composeMessage(*owned, MessageMode::replyGroup);
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].kind, Kind::warning);
  EXPECT_EQ(prompts.boxes[0].text, "Can't reply to the newsgroups without MS Outlook Express!");
}

TEST_F(DesktopActionsTest, SavesArticlesAndExportsCollections) {
  Collection collection;
  auto owned = std::make_unique<Article>(9, "Saved subject");
  owned->author = "a@example.com";
  owned->forum = "alt.test";
  owned->text = "Body\r\n";
  Article& article = collection.appendArticle(std::move(owned));
  auto desktop = actions();

  const QString saved = QString::fromStdString(box.root + "/saved.nws");
  EXPECT_TRUE(desktop->saveArticle(article, saved));  // the text: see the window's tests
  EXPECT_TRUE(QFile::exists(saved));
  EXPECT_FALSE(desktop->saveArticle(article, QStringLiteral("/no/such/folder/x.nws")));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_TRUE(prompts.boxes[0].text.startsWith("Cannot create file \"/no/such/folder/x.nws\"."));

  EXPECT_EQ(desktop->exportArticles(collection, QString::fromStdString(box.root + "/a.mbox")),
            std::optional<std::size_t>(1));
  EXPECT_EQ(desktop->exportArticles(collection, QStringLiteral("/no/such/folder/a.mbox")),
            std::nullopt);
  EXPECT_EQ(prompts.boxes.size(), 2u);

  collection.setFileName("/home/u/modems.vnk");
  const FileDialogSpec spec = DesktopActions::exportDialogSpec(collection);
  EXPECT_EQ(spec.proposedName, "modems.mbox");
  EXPECT_EQ(spec.defaultSuffix, "mbox");
}

// The update check's other questions, statuses and pages: see the About dialog's tests.
TEST_F(DesktopActionsTest, UpdatePromptsAskOkCancelWithPlainLineEnds) {
  auto desktop = actions();
  UpdatePrompts ui(
      prompts, *desktop, nullptr, [](const QString&) {}, [] {});
  prompts.answers = {UserPrompts::Answer::cancel};
  EXPECT_FALSE(ui.askOkCancel("Line one\r\n\r\nline two"));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].kind, Kind::okCancel);
  EXPECT_EQ(prompts.boxes[0].text, "Line one\n\nline two");
}

}  // namespace
}  // namespace varnook
