#include "update/homesite.h"

#include <gtest/gtest.h>

#include "net/pollloop.h"
#include "support/fixtures.h"
#include "support/scriptedserver.h"

namespace varnook {
namespace {

using testing::httpResponse;
using testing::ScriptedServer;
using Texts = std::vector<std::string>;

struct Ui : UpdateUi {
  Texts statuses, questions, opened;
  bool answer = false;
  void showUpdateStatus(const std::string& text) override { statuses.push_back(text); }
  bool askYesNo(const std::string& text) override { return ask("yesno: " + text); }
  bool askOkCancel(const std::string& text) override { return ask("okcancel: " + text); }
  void openUrl(const std::string& url) override { opened.push_back(url); }
  void openInHelpViewer(const std::string& url) override { opened.push_back("help:" + url); }
  void closeMainWindow() override { opened.push_back("closed"); }
  bool ask(const std::string& question) {
    questions.push_back(question);
    return answer;
  }
};

TEST(Versions, FormatTextualComparisonAndUpdateValues) {
  EXPECT_EQ(versionString(1, 0, 5, 15), "1.00.05.15");
  EXPECT_TRUE(versionGreater("1.00.06.00", "1.00.05.15"));
  EXPECT_FALSE(versionGreater("1.00.05.15", "1.00.05.15"));
  EXPECT_FALSE(versionGreater("", "1.00.00.00"));
  EXPECT_TRUE(versionGreater("1.00.00.00", ""));
  EXPECT_EQ(programVersionString().size(), 10u);
  // Name=value lines with any line ends; other lines are left out.
  EXPECT_EQ(parseUpdateValues("NewestVersion=1.00.06.00\r\nRevisionsURL=http://x/?a=b\nno pair\n"),
            (UpdateValues{{"NewestVersion", "1.00.06.00"}, {"RevisionsURL", "http://x/?a=b"}}));
}

// A home site check of version 1.00.05.15 against a server that answers `body` with
// `status`; status 0: no server answers at all.
struct Check {
  Check(int status, const std::string& body, bool yes = false)
      : server(ScriptedServer::reply(httpResponse(status, status == 200 ? "OK" : "Failed", body,
                                                  {"Content-Type: text/plain"}))) {
    options.homeSite =
        status ? server.url("/varnook/update.txt") : "http://127.0.0.1:1/varnook/update.txt";
    options.serviceHost = "archive.example";
    ui.answer = yes;
    home.setVersion("1.00.05.15");
  }
  // Runs one check; returns what the caller heard (-1: nothing).
  int run() {
    int heard = -1;
    home.check([&](bool completed) { heard = completed; });
    loop.runUntil([&] { return heard != -1; }, 10000);
    return heard;
  }
  PollLoop loop;
  VnkOptions options;
  Ui ui;
  ScriptedServer server;
  HomeSite home{loop, options, ui};
};

TEST(HomeSite, AnswersAndWhatTheUserIsAsked) {
  const auto joined = [](const Texts& texts) {
    std::string out;
    for (const std::string& text : texts) out += (out.empty() ? "" : " ") + text;
    return out;
  };
  for (const auto& row : testing::readTable("update/data/home-answers.txt", 7)) {
    SCOPED_TRACE(row[0]);
    const int status = std::stoi(row[1]);
    Check check(status, row[2], row[3] == "yes");
    const int heard = check.run();
    EXPECT_EQ(std::to_string(heard) + (check.home.succeeded() ? " succeeded" : "") +
                  (check.home.outdated() ? " outdated" : ""),
              row[4]);
    EXPECT_EQ(joined(check.ui.questions), row[5]);
    EXPECT_EQ(joined(check.ui.opened), row[6]);
    if (status != 0) {
      EXPECT_EQ(check.ui.statuses, (Texts{"Contacting home site for update information...",
                                          "Update information received", ""}));
    }
    if (check.home.succeeded() && heard == 1) {
      // A second check does nothing: it has succeeded in this run.
      EXPECT_EQ(check.run(), 1);
      EXPECT_EQ(check.server.requests().size(), 1u);
    }
  }
}

// A check that cannot even start ends through the loop; the home site may be gone by then.
TEST(HomeSiteLifetime, CheckThatCannotStartOutlivesNothing) {
  Check check(200, "NewestVersion=0.00.00.00\n");
  check.options.homeSite = "http:///no-host";
  int heard = -1;
  auto gone = std::make_unique<HomeSite>(check.loop, check.options, check.ui);
  gone->check([&](bool completed) { heard = completed; });
  gone.reset();
  check.loop.processEvents(0);
  EXPECT_EQ(heard, -1);
  // Stopped and started again before the first one's end came through: the new check
  // goes on.
  check.home.check([&](bool completed) { heard = completed; });
  check.home.abort();
  EXPECT_EQ(heard, 0);
  check.options.homeSite = check.server.url("/varnook/update.txt");
  EXPECT_EQ(check.run(), 1);
  EXPECT_TRUE(check.home.succeeded());
}

}  // namespace
}  // namespace varnook
