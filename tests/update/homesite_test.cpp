#include "update/homesite.h"

#include <gtest/gtest.h>

#include "net/pollloop.h"
#include "support/scriptedserver.h"

// The shared support code (TempFolder, ScriptedServer, httpResponse, ...) by its new name.
namespace varnook::testing {
using namespace testsupport;
}  // namespace varnook::testing

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
  const struct {
    const char* name;
    int status;
    const char* body;
    bool yes;             // the user's answer
    const char* outcome;  // what the caller heard (0: the program ends), success, outdated
    const char* question;
    const char* opened;
  } cases[] = {
      {"newer version", 200, "NewestVersion=1.00.06.00\n", false, "1 succeeded",
       "yesno: A newer version of Varnook is available for free download from Varnook Web "
       "site. Do you want to view the list of changes now?",
       ""},
      {"same version", 200, "NewestVersion=1.00.05.15\n", false, "1 succeeded", "", ""},
      {"outdated version, Yes opens the page and ends the program", 200,
       "NewestVersion=1.00.07.00\nOldestValidVersion=1.00.06.00\nRevisionsURL=http://h/rev\n", true,
       "0 succeeded outdated",
       "yesno: This version of Varnook may no longer work correctly due to the recent "
       "changes on http://archive.example/.  The update is available for free download "
       "from Varnook Web site. Press [YES] to download the new version now or [NO] to try "
       "working with the current version (not recommended).",
       "http://h/rev closed"},
      {"message without subject opens at once", 200, "MessageUrl=http://h/msg\n", false,
       "1 succeeded", "", "help:http://h/msg"},
      {"message with subject asks first, Cancel", 200,
       "MessageUrl=http://h/msg\nMessageSubject=Service moved\n", false, "1 succeeded",
       "okcancel: There is a message for you from the Varnook home site: \r\n\r\n"
       "Service moved\r\n\r\nClick Ok to view it now in your default browser",
       ""},
      {"failed answer is no success", 500, "NewestVersion=9.99.99.99\n", false, "1", "", ""},
      {"unreachable home site", 0, "", false, "1", "", ""},
  };
  const auto joined = [](const Texts& texts) {
    std::string out;
    for (const std::string& text : texts) out += (out.empty() ? "" : " ") + text;
    return out;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Check check(c.status, c.body, c.yes);
    const int heard = check.run();
    EXPECT_EQ(std::to_string(heard) + (check.home.succeeded() ? " succeeded" : "") +
                  (check.home.outdated() ? " outdated" : ""),
              c.outcome);
    EXPECT_EQ(joined(check.ui.questions), c.question);
    EXPECT_EQ(check.ui.questions.size(), *c.question ? 1u : 0u);
    EXPECT_EQ(joined(check.ui.opened), c.opened);
    if (c.status != 0) {
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
