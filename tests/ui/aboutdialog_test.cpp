#include "ui/aboutdialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "../desktop/xdgsandbox.h"
#include "scriptedprompts.h"
#include "support/scriptedserver.h"
#include "ui/desktopactions.h"
#include "ui/qteventloop.h"
#include "ui/updateprompts.h"
#include "update/homesite.h"

namespace varnook::testing {
namespace {

constexpr const char* kVersion = "1.00.05.15";
const QString kNewer =
    "Varnook version 1.00.06.00 is now available for free download.Click on the link below "
    "to view the list of changes:";

// The About box of a run whose home site answers with `update` (nothing: a failure), as the
// window has it; the home site's answers and questions themselves: see its tests. The run's
// desktop has a recording browser.
class AboutDialogTest : public ::testing::Test {
 protected:
  void start(std::optional<std::string> update) {
    server = std::make_unique<ScriptedServer>(ScriptedServer::reply(
        update ? httpResponse(200, "OK", *update, {"Content-Type: text/plain"})
               : httpResponse(500, "Broken", "x")));
    box.addHandler("browser.desktop", {"x-scheme-handler/http"});
    options.homeSite = server->url("/varnook/update.txt");
    options.serviceHost = "archive.test:8119";
    desktop = std::make_unique<DesktopActions>(box.dirs(), prompts, nullptr);
    ui = std::make_unique<UpdatePrompts>(
        prompts, *desktop, nullptr, [](const QString&) {}, [this] { closed = true; });
    homeSite = std::make_unique<HomeSite>(loop, options, *ui);
    homeSite->setVersion(kVersion);
    dialog = std::make_unique<AboutDialog>(*homeSite, *desktop);
  }
  // Clicks "Check &Updates" and waits until the check has ended.
  void checkUpdates() {
    ASSERT_TRUE(dialog->btnCheckUpdates->isEnabled());
    QTest::mouseClick(dialog->btnCheckUpdates, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !homeSite->running(); }, 10000));
    QTest::qWait(20);
  }

  XdgSandbox box;
  ScriptedPrompts prompts;
  std::unique_ptr<ScriptedServer> server;
  QtEventLoop loop;
  VnkOptions options;
  std::unique_ptr<DesktopActions> desktop;
  std::unique_ptr<UpdatePrompts> ui;
  std::unique_ptr<HomeSite> homeSite;
  std::unique_ptr<AboutDialog> dialog;
  bool closed = false;
};

TEST_F(AboutDialogTest, AFailingHomeSiteLeavesTheLabelsAndTheButton) {
  start(std::nullopt);
  EXPECT_EQ(dialog->lblVersion->text(), QString("Version ") + kVersion);
  const QString before = dialog->lblStatus->text();
  // A failed check leaves the button for the next try (a home site that does not answer at
  // all fails the same way: see the home site's tests).
  checkUpdates();
  EXPECT_EQ(dialog->lblStatus->text(), before);
  EXPECT_TRUE(dialog->btnCheckUpdates->isEnabled());
  EXPECT_TRUE(prompts.messages.empty());
  // A click on the link opens the home page.
  emit dialog->lblLink->linkActivated("ignored: the dialog's own link is opened");
  EXPECT_EQ(box.waitForRecord("browser.desktop"), std::vector<std::string>{server->url("/")});
}

TEST_F(AboutDialogTest, UpToDateIsKnownToEveryLaterDialogOfTheRun) {
  start("NewestVersion=1.00.05.15\r\n");
  checkUpdates();
  EXPECT_FALSE(dialog->btnCheckUpdates->isEnabled());
  EXPECT_TRUE(prompts.messages.empty());
  AboutDialog second(*homeSite, *desktop);
  EXPECT_FALSE(second.btnCheckUpdates->isEnabled());
  EXPECT_EQ(second.lblStatus->text(), dialog->lblStatus->text());
  EXPECT_EQ(server->requests().size(), 1u);
}

TEST_F(AboutDialogTest, NewerVersionAsksAndLinksTheChanges) {
  start("NewestVersion=1.00.06.00\nRevisionsURL=http://home.test/changes.html\n");
  prompts.answers = {UserPrompts::Answer::No};
  checkUpdates();  // the question asked: see the home site's tests
  EXPECT_EQ(dialog->lblStatus->text(), kNewer);
  EXPECT_FALSE(closed);
  emit dialog->lblLink->linkActivated("ignored");
  EXPECT_EQ(box.waitForRecord("browser.desktop"),
            std::vector<std::string>{"http://home.test/changes.html"});
}

TEST_F(AboutDialogTest, OutdatedVersionShowsRedAndClosesOnYes) {
  start(
      "NewestVersion=1.00.07.00\nOldestValidVersion=1.00.06.00\n"
      "MessageUrl=http://home.test/message.html\nMessageSubject=Hello\n");
  prompts.answers = {UserPrompts::Answer::Yes};
  checkUpdates();
  EXPECT_TRUE(closed);
  EXPECT_EQ(box.waitForRecord("browser.desktop"),
            std::vector<std::string>{server->url("/varnook/revisions.html")});
  EXPECT_TRUE(dialog->lblStatus->text().endsWith("Please download Varnook version 1.00.07.00:"));
  EXPECT_EQ(dialog->lblStatus->palette().color(QPalette::WindowText), QColor(Qt::red));
}

}  // namespace
}  // namespace varnook::testing
