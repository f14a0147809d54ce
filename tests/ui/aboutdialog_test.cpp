#include "ui/aboutdialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "../desktop/xdgsandbox.h"
#include "recordingprompts.h"
#include "support/realservers.h"
#include "support/scriptedserver.h"
#include "ui/desktopactions.h"
#include "ui/qteventloop.h"
#include "ui/updateprompts.h"
#include "update/homesite.h"

namespace varnook {
namespace {

using testing::RecordingPrompts;
using testing::ScriptedServer;

constexpr const char* kVersion = "1.00.05.15";

// A home site check against `homeSite` with the dialog's own desktop, as the window has it.
class AboutDialogTest : public ::testing::Test {
 protected:
  void start(const std::string& homeSiteUrl) {
    options.homeSite = homeSiteUrl;
    options.serviceHost = "archive.test:8119";
    desktop = std::make_unique<DesktopActions>(box.dirs(), prompts, nullptr);
    ui = std::make_unique<UpdatePrompts>(
        prompts, *desktop, nullptr, [this](const QString& s) { statuses << s; },
        [this] { closed = true; });
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

  static std::string answer(const std::string& body) {
    return testing::httpResponse(200, "OK", body, {"Content-Type: text/plain"});
  }

  testing::XdgSandbox box;
  RecordingPrompts prompts;
  QtEventLoop loop;
  VnkOptions options;
  std::unique_ptr<DesktopActions> desktop;
  std::unique_ptr<UpdatePrompts> ui;
  std::unique_ptr<HomeSite> homeSite;
  std::unique_ptr<AboutDialog> dialog;
  QStringList statuses;
  bool closed = false;
};

TEST_F(AboutDialogTest, AFailingHomeSiteLeavesTheLabelsAndTheButton) {
  ScriptedServer server(ScriptedServer::reply(testing::httpResponse(500, "Broken", "x")));
  ASSERT_TRUE(server.listening());
  start(server.url("/varnook/update.txt"));
  EXPECT_EQ(dialog->lblVersion->text(), QString("Version ") + kVersion);
  EXPECT_TRUE(dialog->lblLink->text().contains(QString::fromStdString(server.url("/"))));
  const QString before = dialog->lblStatus->text();
  EXPECT_EQ(before,
            "The most recent version of Varnook and related information is always available at:");
  checkUpdates();
  EXPECT_EQ(dialog->lblStatus->text(), before);
  EXPECT_TRUE(dialog->btnCheckUpdates->isEnabled());
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_TRUE(statuses.contains("Update information received"));

  // Nothing listening at all: the same, and the next click tries again.
  const int port = testing::freeLoopbackPort();
  options.homeSite = "http://127.0.0.1:" + std::to_string(port) + "/varnook/update.txt";
  checkUpdates();
  EXPECT_EQ(dialog->lblStatus->text(), before);
  EXPECT_TRUE(dialog->btnCheckUpdates->isEnabled());
}

TEST_F(AboutDialogTest, UpToDate) {
  ScriptedServer server(ScriptedServer::reply(answer("NewestVersion=1.00.05.15\r\n")));
  start(server.url("/varnook/update.txt"));
  checkUpdates();
  EXPECT_EQ(dialog->lblStatus->text(),
            "You are running the most recent version of Varnook. If you need any additional "
            "information about the program, click on the link below:");
  EXPECT_FALSE(dialog->btnCheckUpdates->isEnabled());
  EXPECT_TRUE(prompts.boxes.empty());
  // A second dialog in the same run knows the answer without asking again.
  AboutDialog second(*homeSite, *desktop);
  EXPECT_FALSE(second.btnCheckUpdates->isEnabled());
  EXPECT_EQ(second.lblStatus->text(), dialog->lblStatus->text());
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(AboutDialogTest, NewerVersionAsksAndLinksTheChanges) {
  ScriptedServer server(ScriptedServer::reply(
      answer("NewestVersion=1.00.06.00\nRevisionsURL=http://home.test/changes.html\n")));
  start(server.url("/varnook/update.txt"));
  checkUpdates();
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].kind, UserPrompts::Kind::yesNo);  // its text: the home site's tests
  EXPECT_EQ(dialog->lblStatus->text(),
            "Varnook version 1.00.06.00 is now available for free download.Click on the link "
            "below to view the list of changes:");
  EXPECT_TRUE(dialog->lblLink->text().contains("http://home.test/changes.html"));
  EXPECT_NE(dialog->lblStatus->palette().color(QPalette::WindowText), QColor(Qt::red));
  EXPECT_FALSE(closed);
}

TEST_F(AboutDialogTest, OutdatedVersionShowsRedAndClosesOnYes) {
  ScriptedServer server(ScriptedServer::reply(
      answer("NewestVersion=1.00.07.00\nOldestValidVersion=1.00.06.00\n"
             "MessageUrl=http://home.test/message.html\nMessageSubject=Hello\n")));
  start(server.url("/varnook/update.txt"));
  box.addRecorder("browser.desktop");
  box.setDefault("x-scheme-handler/http", "browser.desktop");
  prompts.answers = {UserPrompts::Answer::yes};
  checkUpdates();
  ASSERT_GE(prompts.boxes.size(), 1u);
  EXPECT_TRUE(closed);
  EXPECT_EQ(box.waitForRecord("browser.desktop"),
            std::vector<std::string>{"http://" + std::string("127.0.0.1:") +
                                     std::to_string(server.port()) + "/varnook/revisions.html"});
  EXPECT_TRUE(dialog->lblStatus->text().startsWith(
      "This program may no longer work correctly due to the recent changes on "));
  EXPECT_TRUE(dialog->lblStatus->text().endsWith(". Please download Varnook version 1.00.07.00:"));
  EXPECT_EQ(dialog->lblStatus->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST_F(AboutDialogTest, ClickingTheLinkOpensIt) {
  box.addRecorder("browser.desktop");
  box.setDefault("x-scheme-handler/http", "browser.desktop");
  start("http://home.test/varnook/update.txt");
  emit dialog->lblLink->linkActivated("ignored: the label's text is opened");
  EXPECT_EQ(box.waitForRecord("browser.desktop"), std::vector<std::string>{"http://home.test/"});
}

// The archive server's own update endpoint, when this build has the server.
TEST_F(AboutDialogTest, AgainstTheArchiveServersUpdateEndpoint) {
  const char* override = std::getenv("VARNOOK_ARCHIVE_PROGRAM");
  const std::string program =
      override ? override : std::string(VARNOOK_BINARY_DIR) + "/src/server/varnook-archive";
  if (!std::filesystem::exists(program)) GTEST_SKIP() << "varnook-archive is not built";
  testing::TempFolder folder;
  folder.write("update.txt",
               "NewestVersion=1.00.09.00\nRevisionsURL=http://home.test/revisions.html\n");
  folder.write("one.mbox",
               "From a@b.test Mon Apr  5 23:23:53 1993\nFrom: a@b.test\nSubject: s\n"
               "Message-ID: <one@b.test>\nNewsgroups: alt.test\n\nbody\n\n");
  const std::string index = "'" + program + "' index --db '" + folder.path() + "/db' '" +
                            folder.path() + "/one.mbox' >/dev/null 2>&1";
  ASSERT_EQ(std::system(index.c_str()), 0);
  const int port = testing::freeLoopbackPort();
  auto server = testing::ChildProcess::start(
      {program, "serve", "--db", folder.path() + "/db", "--listen",
       "127.0.0.1:" + std::to_string(port), "--update-info", folder.path() + "/update.txt"},
      folder.path() + "/serve.log");
  ASSERT_TRUE(server);
  if (!testing::waitUntilListening(port, 5000, server.get())) {
    GTEST_SKIP() << "varnook-archive does not serve here";
  }
  start("http://127.0.0.1:" + std::to_string(port) + "/varnook/update.txt");
  checkUpdates();
  EXPECT_EQ(dialog->lblStatus->text(),
            "Varnook version 1.00.09.00 is now available for free download.Click on the link "
            "below to view the list of changes:");
  EXPECT_TRUE(dialog->lblLink->text().contains("http://home.test/revisions.html"));
}

}  // namespace
}  // namespace varnook
