#include "update/homesite.h"

#include <gtest/gtest.h>

#include "net/pollloop.h"
#include "support/scriptedserver.h"

namespace varnook {
namespace {

using testsupport::httpResponse;
using testsupport::ScriptedServer;

struct Ui : UpdateUi {
  std::vector<std::string> statuses, questions, opened;
  bool answer = false;
  void showUpdateStatus(const std::string& text) override { statuses.push_back(text); }
  bool askYesNo(const std::string& text) override {
    questions.push_back("yesno: " + text);
    return answer;
  }
  bool askOkCancel(const std::string& text) override {
    questions.push_back("okcancel: " + text);
    return answer;
  }
  void openUrl(const std::string& url) override { opened.push_back(url); }
  void openInHelpViewer(const std::string& url) override { opened.push_back("help:" + url); }
  void closeMainWindow() override { opened.push_back("closed"); }
};

TEST(Versions, FormatAndTextualComparison) {
  EXPECT_EQ(versionString(1, 0, 5, 15), "1.00.05.15");
  EXPECT_TRUE(versionGreater("1.00.06.00", "1.00.05.15"));
  EXPECT_FALSE(versionGreater("1.00.05.15", "1.00.05.15"));
  EXPECT_FALSE(versionGreater("", "1.00.00.00"));
  EXPECT_TRUE(versionGreater("1.00.00.00", ""));
  EXPECT_EQ(programVersionString().size(), 10u);
}

TEST(UpdateValues, NameValueLinesWithAnyLineEnds) {
  const UpdateValues v =
      parseUpdateValues("NewestVersion=1.00.06.00\r\nRevisionsURL=http://x/?a=b\nno pair\n");
  EXPECT_EQ(v.at("NewestVersion"), "1.00.06.00");
  EXPECT_EQ(v.at("RevisionsURL"), "http://x/?a=b");
  EXPECT_EQ(v.size(), 2u);
}

class HomeSiteTest : public ::testing::Test {
 protected:
  // Serves `body` with `status` as the update information.
  void serve(int status, const std::string& body) {
    server_ = std::make_unique<ScriptedServer>(ScriptedServer::reply(
        httpResponse(status, status == 200 ? "OK" : "Failed", body, {"Content-Type: text/plain"})));
    options_.homeSite = server_->url("/varnook/update.txt");
    options_.serviceHost = "archive.example";
    home_ = std::make_unique<HomeSite>(loop_, options_, ui_);
    home_->setVersion("1.00.05.15");
  }
  // Runs one check; returns what the caller heard (-1: nothing).
  int check() {
    int heard = -1;
    home_->check([&](bool completed) { heard = completed; });
    loop_.runUntil([&] { return heard != -1; }, 10000);
    return heard;
  }

  PollLoop loop_;
  VnkOptions options_;
  Ui ui_;
  std::unique_ptr<ScriptedServer> server_;
  std::unique_ptr<HomeSite> home_;
};

TEST_F(HomeSiteTest, NewerVersionIsOfferedOnceAndTheCheckNotRepeated) {
  serve(200, "NewestVersion=1.00.06.00\n");
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(home_->succeeded());
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0],
            "yesno: A newer version of Varnook is available for free download from Varnook Web "
            "site. Do you want to view the list of changes now?");
  EXPECT_EQ(ui_.statuses,
            (std::vector<std::string>{"Contacting home site for update information...",
                                      "Update information received", ""}));
  // A second check does nothing: it has succeeded in this run.
  EXPECT_EQ(check(), 1);
  EXPECT_EQ(server_->requests().size(), 1u);
}

TEST_F(HomeSiteTest, SameVersionAsksNothing) {
  serve(200, "NewestVersion=1.00.05.15\n");
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_FALSE(home_->outdated());
}

TEST_F(HomeSiteTest, OutdatedVersionYesOpensThePageAndEndsTheProgram) {
  serve(200,
        "NewestVersion=1.00.07.00\nOldestValidVersion=1.00.06.00\nRevisionsURL=http://h/rev\n");
  ui_.answer = true;
  EXPECT_EQ(check(), 0);  // the operation that asked is abandoned: the program ends
  EXPECT_TRUE(home_->outdated());
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0],
            "yesno: This version of Varnook may no longer work correctly due to the recent "
            "changes on http://archive.example/.  The update is available for free download "
            "from Varnook Web site. Press [YES] to download the new version now or [NO] to try "
            "working with the current version (not recommended).");
  EXPECT_EQ(ui_.opened, (std::vector<std::string>{"http://h/rev", "closed"}));
}

TEST_F(HomeSiteTest, MessageWithoutSubjectOpensAtOnceWithSubjectAsksFirst) {
  serve(200, "MessageUrl=http://h/msg\n");
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(ui_.opened, std::vector<std::string>{"help:http://h/msg"});

  serve(200, "MessageUrl=http://h/msg\nMessageSubject=Service moved\n");
  ui_.opened.clear();
  EXPECT_EQ(check(), 1);
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0],
            "okcancel: There is a message for you from the Varnook home site: \r\n\r\n"
            "Service moved\r\n\r\nClick Ok to view it now in your default browser");
  EXPECT_TRUE(ui_.opened.empty());  // Cancel
}

TEST_F(HomeSiteTest, FailedAnswerIsNotASuccessAndAsksNothing) {
  serve(500, "NewestVersion=9.99.99.99\n");
  EXPECT_EQ(check(), 1);
  EXPECT_FALSE(home_->succeeded());
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(ui_.statuses[1], "Update information received");
}

TEST_F(HomeSiteTest, UnreachableHomeSiteEndsTheCheck) {
  serve(200, "");
  options_.homeSite = "http://127.0.0.1:1/varnook/update.txt";
  EXPECT_EQ(check(), 1);
  EXPECT_FALSE(home_->succeeded());
}

// A check that cannot even start ends through the loop; the home site may be gone by then.
TEST(HomeSiteLifetime, CheckThatCannotStartOutlivesNothing) {
  PollLoop loop;
  VnkOptions options;
  options.homeSite = "http:///no-host";
  Ui ui;
  int heard = -1;
  auto home = std::make_unique<HomeSite>(loop, options, ui);
  home->check([&](bool completed) { heard = completed; });
  home.reset();
  loop.processEvents(0);
  EXPECT_EQ(heard, -1);

  // Stopped and started again before the first one's end came through: the new check
  // goes on.
  ScriptedServer server(ScriptedServer::reply(
      httpResponse(200, "OK", "NewestVersion=0.00.00.00\n", {"Content-Type: text/plain"})));
  home = std::make_unique<HomeSite>(loop, options, ui);
  home->check([&](bool completed) { heard = completed; });
  home->abort();
  EXPECT_EQ(heard, 0);
  options.homeSite = server.url("/varnook/update.txt");
  heard = -1;
  home->check([&](bool completed) { heard = completed; });
  loop.runUntil([&] { return heard != -1; }, 10000);
  EXPECT_EQ(heard, 1);
  EXPECT_TRUE(home->succeeded());
}

}  // namespace
}  // namespace varnook
