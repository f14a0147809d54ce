#include "transfer/scheduler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "archive/queryurl.h"
#include "net/pollloop.h"
#include "transfer/fakearchive.h"
#include "update/homesite.h"

namespace varnook {
namespace {

// Records what the scheduler asks of the window.
struct RecordingUi : TransferUi, UpdateUi {
  std::vector<std::string> lines, questions, opened;
  bool answerYes = false;
  int statusRefreshes = 0;
  bool autoOn = false;
  // Runs while a question is open, as the events of a modal message box's own loop do.
  std::function<void()> whileAsking;
  void log(const std::string& line) override { lines.push_back(line); }
  bool askYesNo(const std::string& text) override {
    questions.push_back(text);
    if (whileAsking) whileAsking();
    return answerYes;
  }
  bool askOkCancel(const std::string& text) override {
    questions.push_back(text);
    return answerYes;
  }
  void openInBrowser(const std::string& path) override { opened.push_back(path); }
  void openUrl(const std::string& url) override { opened.push_back(url); }
  void openInHelpViewer(const std::string& url) override { opened.push_back("help " + url); }
  void statusBarChanged() override { ++statusRefreshes; }
  void autoDownloadChanged(bool on) override { autoOn = on; }
  void showUpdateStatus(const std::string&) override {}
  void closeMainWindow() override { opened.push_back("closed"); }
};

// Tracks the most article transfers seen at once, and the order in which the scheduler
// started articles (their first "Connecting...").
struct PeakWatcher : CollectionObserver {
  Collection& c;
  int peak = 0;
  std::vector<std::uint32_t> started;
  explicit PeakWatcher(Collection& collection) : c(collection) { c.addObserver(this); }
  ~PeakWatcher() override { c.removeObserver(this); }
  void statusChanged(const ArticleBase& object) override {
    peak = std::max(peak, c.articleTransfers);
    if (object.listKind() != ListKind::Articles || object.status() != "Connecting...") return;
    const auto number = static_cast<const Article&>(object).number;
    if (std::find(started.begin(), started.end(), number) == started.end())
      started.push_back(number);
  }
};

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/vnk-sched-XXXXXX";
    cache_ = ::mkdtemp(folder);
  }
  void TearDown() override { std::system(("rm -rf '" + cache_ + "'").c_str()); }

  // Builds the scheduler for an archive; `withHomeSite` also checks the home site.
  void start(testing::FakeArchive& archive, bool withHomeSite = false) {
    options_.serviceHost = archive.host();
    options_.serviceDomain = archive.domain();
    options_.homeSite = "http://" + archive.host() + "/varnook/update.txt";
    if (withHomeSite) home_ = std::make_unique<HomeSite>(loop_, options_, ui_);
    scheduler_ = std::make_unique<Scheduler>(collection_, loop_, options_, ui_, home_.get());
    scheduler_->cacheFolder = cache_;
  }

  Request& newRequest(const std::string& keywords) {
    auto r = std::make_unique<Request>("Q#" + std::to_string(collection_.requests().size()));
    r->keywords = keywords;
    return collection_.appendRequest(std::move(r));
  }

  bool runUntilIdle(int timeoutMs = 20000) {
    return loop_.runUntil([&] { return !scheduler_->busy(); }, timeoutMs);
  }

  PollLoop loop_;
  Collection collection_{Collection::NameClock{[] { return 40000.0; }, [](double) {}}};
  VnkOptions options_;
  RecordingUi ui_;
  std::unique_ptr<HomeSite> home_;
  std::unique_ptr<Scheduler> scheduler_;
  std::string cache_;
};

TEST_F(SchedulerTest, RequestWalksEveryPageOnOneTransferAndLogsTotals) {
  testing::FakeArchive archive(25, 10);
  start(archive);
  Request& r = newRequest("modem");
  scheduler_->send(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.pages, 3);
  EXPECT_EQ(r.articles, 25);
  EXPECT_EQ(r.unique, 25);
  EXPECT_EQ(r.expectedTotal, 25);
  EXPECT_TRUE(r.hasState(kComplete));
  EXPECT_EQ(r.status(), "Loaded");
  EXPECT_TRUE(r.url.empty());
  ASSERT_EQ(collection_.articles().size(), 25u);
  EXPECT_EQ(collection_.articles()[0]->forum, "comp.test");
  EXPECT_EQ(collection_.articles()[0]->requestId, r.name);
  EXPECT_EQ(ui_.lines, (std::vector<std::string>{"Page 1 of Q#0 delivered 10 articles",
                                                 "Page 2 of Q#0 delivered 10 articles",
                                                 "Page 3 of Q#0 delivered 5 articles",
                                                 "Request Q#0: total of 25 articles on 3 pages"}));
  EXPECT_EQ(collection_.requestTransfers, 0);
  // The first page's URL is the service's search URL.
  EXPECT_NE(archive.server().requests()[0].target.find("/[ST_rn=ps]/dnquery.xp?ST=PS"),
            std::string::npos);
}

TEST_F(SchedulerTest, OnePageRequestWritesNoTotalLine) {
  testing::FakeArchive archive(3, 10);
  start(archive);
  scheduler_->send(newRequest("x"));
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(ui_.lines, std::vector<std::string>{"Page 1 of Q#0 delivered 3 articles"});
}

TEST_F(SchedulerTest, StopAtNextPageKeepsTheLinkAndResumeGoesOn) {
  testing::FakeArchive archive(30, 10);
  start(archive);
  Request& r = newRequest("x");
  scheduler_->send(r);
  // Stop asked while page 2 is under way.
  ASSERT_TRUE(loop_.runUntil([&] { return r.pages == 2; }, 10000));
  scheduler_->stopAtNextPage(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.pages, 2);
  EXPECT_NE(r.url.find("firstHit=21"), std::string::npos);
  EXPECT_FALSE(r.stopAtNextPage);
  scheduler_->resume(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.pages, 3);
  EXPECT_EQ(r.articles, 30);
  EXPECT_TRUE(r.url.empty());
  // Nothing left to resume.
  scheduler_->resume(r);
  EXPECT_FALSE(r.isTransferring());
}

TEST_F(SchedulerTest, HttpErrorFailsTheRequestWithTheReasonPhrase) {
  testing::FakeArchive archive(5, 10);
  archive.override("dnquery.xp", testsupport::httpResponse(404, "Not Found", "gone"));
  start(archive);
  Request& r = newRequest("x");
  scheduler_->send(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.shortStatus(), "Errors!");
  EXPECT_EQ(r.longStatus(), "Not Found");
  EXPECT_TRUE(r.hasState(kFailed));
  EXPECT_EQ(r.pages, 1);
  EXPECT_TRUE(collection_.articles().empty());
}

TEST_F(SchedulerTest, UnreadablePageIsSavedReportedAndAskedAboutOnce) {
  testing::FakeArchive archive(5, 10);
  archive.override("dnquery.xp",
                   testsupport::httpResponse(200, "OK", "<a href=\"/getdoc.xp?AN=5\">no end"));
  start(archive);
  ui_.answerYes = true;
  Request& r = newRequest("x");
  scheduler_->send(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.status(), "Errors!|Errors parsing received Web page");
  EXPECT_EQ(r.state(), 0);
  ASSERT_EQ(ui_.lines.size(), 2u);
  EXPECT_EQ(ui_.lines[0],
            "Error parsing results of query \"Q#0\":\r\n  Expected next tag after the subject!");
  EXPECT_EQ(ui_.lines[1], "  Page saved to BADPAGE.HTM!");
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0], ui_.lines[0] + ".\r\nThe page is stored in \"" + cache_ +
                                  "/badpage.htm\". Do you want to view this page now?");
  EXPECT_EQ(ui_.opened, std::vector<std::string>{cache_ + "/badpage.htm"});
  std::ifstream saved(cache_ + "/badpage.htm");
  std::stringstream bytes;
  bytes << saved.rdbuf();
  EXPECT_EQ(bytes.str(), "<a href=\"/getdoc.xp?AN=5\">no end");
}

// A request that was read completely before is sent again; its first page now has a
// next-page link but cannot be used. The page just processed did not succeed, so the
// request goes idle there, whatever state the earlier run left.
TEST_F(SchedulerTest, PageThatWasNotReadEndsTheRequestAfterAnEarlierCompleteRun) {
  struct Case {
    const char* name;
    const char* entries;  // what follows the next-page link
    const char* status;
  };
  const Case cases[] = {
      {"unreadable entry", "<a href=\"/getdoc.xp?AN=5\">no end",
       "Errors!|Errors parsing received Web page"},
      {"no entries", "nothing listed", "No matches"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    testing::FakeArchive archive(3, 10);
    start(archive);
    Request& r = newRequest("x");
    scheduler_->send(r);
    ASSERT_TRUE(runUntilIdle());
    ASSERT_TRUE(r.hasState(kComplete));
    const std::string next =
        "http://" + archive.host() + "/[ST_rn=ps]/dnquery.xp?QRY=x&firstHit=11";
    archive.override(
        "dnquery.xp",
        testsupport::httpResponse(
            200, "OK", std::string("<a href=\"") + next + "\">Next matches</a>" + test.entries));
    scheduler_->send(r);
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(archive.count("dnquery.xp"), 2);
    EXPECT_EQ(r.pages, 1);
    EXPECT_EQ(r.url, next);
    EXPECT_TRUE(r.hasState(kComplete));  // the state is left as it was
    EXPECT_EQ(r.status(), test.status);
    EXPECT_FALSE(r.isTransferring());
    EXPECT_EQ(collection_.requestTransfers, 0);
    collection_.clearRequests();
    collection_.clearArticles();
    ui_.questions.clear();
  }
}

// A modal question runs other events while it is open; the object whose page could not be
// read may be gone when it returns.
TEST_F(SchedulerTest, ObjectDeletedWhileTheBadPageQuestionIsOpen) {
  struct Case {
    const char* name;
    bool request;
    std::function<void(Collection&)> remove;
  };
  const Case cases[] = {
      {"article removed", false, [](Collection& c) { c.removeArticle(*c.articles()[0]); }},
      {"articles cleared", false, [](Collection& c) { c.clearArticles(); }},
      {"request removed", true, [](Collection& c) { c.removeRequest(*c.requests()[0]); }},
      {"requests cleared", true, [](Collection& c) { c.clearRequests(); }},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    testing::FakeArchive archive(1, 10);
    if (test.request)
      archive.override("dnquery.xp",
                       testsupport::httpResponse(200, "OK", "<a href=\"/getdoc.xp?AN=5\">no end"));
    archive.override("AN=1&", testsupport::httpResponse(200, "OK", "Subject: only headers\n",
                                                        {"Content-Type: text/plain"}));
    start(archive);
    ui_.answerYes = true;
    ui_.whileAsking = [&] { test.remove(collection_); };
    scheduler_->setAutoDownload(true);
    scheduler_->send(newRequest("x"));
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(ui_.questions.size(), 1u);
    EXPECT_EQ(collection_.requestTransfers, 0);
    EXPECT_EQ(collection_.articleTransfers, 0);
    EXPECT_FALSE(scheduler_->transfersRunning());
    ui_.whileAsking = nullptr;
    ui_.questions.clear();
    scheduler_.reset();
    collection_.clearRequests();
    collection_.clearArticles();
  }
}

// An endless or enormous document ends the transfer instead of filling the memory.
TEST_F(SchedulerTest, DocumentOverTheSizeLimitFailsTheTransfer) {
  testing::FakeArchive archive(1, 10);
  archive.override("AN=1&", testsupport::httpResponse(200, "OK", std::string(300000, 'x'),
                                                      {"Content-Type: text/plain"}, false));
  start(archive);
  scheduler_->maxDocumentBytes = 100000;
  scheduler_->setAutoDownload(true);
  scheduler_->send(newRequest("x"));
  ASSERT_TRUE(runUntilIdle());
  const Article& a = *collection_.articles()[0];
  EXPECT_TRUE(a.hasState(kFailed));
  EXPECT_EQ(a.status(), "Errors!|Document too large");
  EXPECT_FALSE(a.isLoaded());
}

TEST_F(SchedulerTest, NoMatchesPageEndsQuietly) {
  testing::FakeArchive archive(0, 10);
  start(archive);
  Request& r = newRequest("x");
  scheduler_->send(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.status(), "No matches");
  EXPECT_EQ(r.state(), 0);
  EXPECT_TRUE(ui_.lines.empty());
}

TEST_F(SchedulerTest, AutomaticDownloadRespectsTheLimitAndListOrder) {
  testing::FakeArchive archive(5, 10);
  options_.maxRequests = 2;
  start(archive);
  PeakWatcher peak(collection_);
  Request& r = newRequest("x");
  scheduler_->send(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(collection_.loadedArticles, 0);  // automatic download is off

  scheduler_->setAutoDownload(true);
  EXPECT_EQ(collection_.articleTransfers, 2);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_LE(peak.peak, 2);
  EXPECT_EQ(collection_.loadedArticles, 5);
  for (const auto& a : collection_.articles()) {
    EXPECT_TRUE(a->hasState(kComplete));
    EXPECT_EQ(a->status(), "Loaded");
    EXPECT_EQ(a->text.rfind("Body of article " + std::to_string(a->number) + "\r\n", 0), 0u);
    EXPECT_EQ(a->author, "Author " + std::to_string(a->number) + " <a" + std::to_string(a->number) +
                             "@example.com>");
  }
  EXPECT_TRUE(collection_.modified());
  // Started in list order, each once (whatever order the server sees the requests in).
  EXPECT_EQ(peak.started, (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(archive.count("getdoc.xp"), 5);
}

TEST_F(SchedulerTest, UnmarkedRowsAreNeverLoadedAutomatically) {
  testing::FakeArchive archive(4, 10);
  start(archive);
  collection_.markNewArticles = false;
  scheduler_->setAutoDownload(true);
  scheduler_->send(newRequest("x"));
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(archive.count("getdoc"), 0);
  // Marking a row brings the walk back to it.
  collection_.articles()[2]->setChecked(true);
  scheduler_->startPendingArticles();
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(archive.count("getdoc"), 1);
  EXPECT_TRUE(collection_.articles()[2]->isLoaded());
}

TEST_F(SchedulerTest, FailedArticleIsNotRestartedAutomaticallyButCanBeLoaded) {
  testing::FakeArchive archive(3, 10);
  archive.override("AN=2&", testsupport::httpResponse(500, "Server Error", "x"));
  start(archive);
  scheduler_->setAutoDownload(true);
  scheduler_->send(newRequest("x"));
  ASSERT_TRUE(runUntilIdle());
  Article& failed = *collection_.articles()[1];
  EXPECT_TRUE(failed.hasState(kFailed));
  EXPECT_EQ(failed.status(), "Errors!|Server Error");
  EXPECT_EQ(archive.count("AN=2&"), 1);
  // Later completions walk the list again without restarting it.
  scheduler_->startPendingArticles();
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(archive.count("AN=2&"), 1);
  // The user's load command still starts it.
  scheduler_->loadArticle(failed);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(archive.count("AN=2&"), 2);
}

TEST_F(SchedulerTest, ArticleWithoutBodyKeepsNoTextAndIsNotRetried) {
  testing::FakeArchive archive(1, 10);
  archive.override("AN=1&", testsupport::httpResponse(200, "OK", "Subject: only headers\n",
                                                      {"Content-Type: text/plain"}));
  start(archive);
  scheduler_->setAutoDownload(true);
  scheduler_->send(newRequest("x"));
  ASSERT_TRUE(runUntilIdle());
  const Article& a = *collection_.articles()[0];
  EXPECT_FALSE(a.isLoaded());
  EXPECT_EQ(a.status(), "Errors!|Errors parsing received Web page");
  EXPECT_EQ(ui_.lines.back(), "  Page saved to BADPAGE.HTM!");
  EXPECT_EQ(archive.count("AN=1&"), 1);
  EXPECT_EQ(collection_.loadedArticles, 0);
}

// The loaded count follows the texts present, also when an article with text is fetched
// again and comes back without a body.
TEST_F(SchedulerTest, LoadedCountFollowsATextThatWasFetchedAgain) {
  testing::FakeArchive archive(1, 10);
  start(archive);
  scheduler_->setAutoDownload(true);
  scheduler_->send(newRequest("x"));
  ASSERT_TRUE(runUntilIdle());
  Article& a = *collection_.articles()[0];
  ASSERT_TRUE(a.isLoaded());
  ASSERT_EQ(collection_.loadedArticles, 1);
  archive.override("AN=1&", testsupport::httpResponse(200, "OK", "Subject: again\n\n",
                                                      {"Content-Type: text/plain"}));
  scheduler_->startTransfer(a);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(a.subject, "again");
  EXPECT_FALSE(a.isLoaded());
  EXPECT_EQ(collection_.loadedArticles, 0);
}

// A resume whose start is abandoned (stop pressed while the home site is asked) does not
// count the page it never fetched.
TEST_F(SchedulerTest, AbandonedResumeDoesNotCountAPage) {
  testing::FakeArchive archive(30, 10);
  archive.override("update.txt", "");  // every check fails, so each start asks again
  start(archive, /*withHomeSite=*/true);
  Request& r = newRequest("x");
  scheduler_->send(r);
  ASSERT_TRUE(loop_.runUntil([&] { return r.pages == 2; }, 10000));
  scheduler_->stopAtNextPage(r);
  ASSERT_TRUE(runUntilIdle());
  ASSERT_EQ(r.pages, 2);
  scheduler_->resume(r);
  ASSERT_TRUE(home_->running());
  scheduler_->stopAll();
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.pages, 2);
  scheduler_->resume(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.pages, 3);
  EXPECT_EQ(r.articles, 30);
  EXPECT_EQ(archive.count("firstHit=21"), 1);
}

TEST_F(SchedulerTest, ArticleServersRotate) {
  testing::FakeArchive archive(4, 10);
  options_.hostList = "www,x1,x2";
  start(archive);
  scheduler_->setAutoDownload(true);
  options_.maxRequests = 1;
  articleServerRotation() = ArticleServerRotation();
  scheduler_->send(newRequest("x"));
  ASSERT_TRUE(runUntilIdle());
  std::vector<std::string> hosts;
  for (const auto& req : archive.server().requests())
    if (req.target.find("getdoc") != std::string::npos) hosts.push_back(*req.header("Host"));
  const std::string port = ":" + std::to_string(archive.server().port());
  EXPECT_EQ(hosts, (std::vector<std::string>{"www.localhost" + port, "x1.localhost" + port,
                                             "x2.localhost" + port, "www.localhost" + port}));
}

TEST_F(SchedulerTest, StopQueryOnAnIdleRequestCancelsIt) {
  testing::FakeArchive archive(1, 10);
  start(archive);
  Request& r = newRequest("x");
  scheduler_->stopQuery(r);
  EXPECT_TRUE(r.hasState(kCancelled));
  EXPECT_EQ(r.status(), "Cancelled");
}

TEST_F(SchedulerTest, StopAllAbortsEverythingAndReleasesAutomaticDownload) {
  testing::FakeArchive archive(6, 10);
  archive.holdArticles();  // no article can end before stop all
  options_.maxRequests = 3;
  start(archive);
  scheduler_->setAutoDownload(true);
  EXPECT_TRUE(ui_.autoOn);
  scheduler_->send(newRequest("x"));
  ASSERT_TRUE(loop_.runUntil([&] { return collection_.articleTransfers == 3; }, 10000));
  scheduler_->stopAll();
  EXPECT_FALSE(ui_.autoOn);
  EXPECT_TRUE(collection_.stopRequested);
  ASSERT_TRUE(runUntilIdle(5000));
  int failed = 0;
  for (const auto& a : collection_.articles()) {
    if (!a->hasState(kFailed)) continue;
    ++failed;
    EXPECT_EQ(a->longStatus(), "Connection aborted on request");
  }
  EXPECT_EQ(failed, 3);
  // Nothing new starts, also later.
  loop_.runUntil([] { return false; }, 300);
  EXPECT_FALSE(scheduler_->transfersRunning());
  EXPECT_EQ(collection_.loadedArticles, 0);
  EXPECT_EQ(scheduler_->panelText(5), "");
}

TEST_F(SchedulerTest, DeletingATransferringArticleEndsItsTransfer) {
  testing::FakeArchive archive(2, 10);
  archive.holdArticles();
  start(archive);
  scheduler_->setAutoDownload(true);
  scheduler_->send(newRequest("x"));
  ASSERT_TRUE(loop_.runUntil([&] { return collection_.articleTransfers == 2; }, 10000));
  collection_.removeArticle(*collection_.articles()[0]);
  EXPECT_EQ(collection_.articleTransfers, 1);
  collection_.clearArticles();
  EXPECT_FALSE(scheduler_->transfersRunning());
  ASSERT_TRUE(runUntilIdle());
}

TEST_F(SchedulerTest, StatusBarPanels) {
  testing::FakeArchive archive(2, 10);
  start(archive);
  EXPECT_EQ(scheduler_->panelText(1), "(none)");
  EXPECT_EQ(scheduler_->panelText(4), "(none)");
  Request& r = newRequest("x");
  scheduler_->send(r);
  EXPECT_EQ(scheduler_->panelText(2), "DL 1...");
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(scheduler_->panelText(1), "1");
  EXPECT_EQ(scheduler_->panelText(2), "");
  EXPECT_EQ(scheduler_->panelText(4), "0/2");
  EXPECT_GT(ui_.statusRefreshes, 0);
}

TEST_F(SchedulerTest, HomeSiteIsAskedOnceBeforeTheFirstDownload) {
  testing::FakeArchive archive(2, 10);
  start(archive, /*withHomeSite=*/true);
  scheduler_->send(newRequest("x"));
  EXPECT_EQ(collection_.requestTransfers, 0);  // waits for the home site
  ASSERT_TRUE(runUntilIdle());
  EXPECT_TRUE(home_->succeeded());
  const auto requests = archive.server().requests();
  ASSERT_EQ(requests.size(), 2u);
  const auto& update = requests[0];
  EXPECT_EQ(update.target, "/varnook/update.txt");
  EXPECT_EQ(*update.header("X-ProductVersion"), home_->version());
  EXPECT_EQ(*update.header("Accept"), "text/plain");
  scheduler_->setAutoDownload(true);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(archive.updateRequests, 1);
  EXPECT_EQ(collection_.loadedArticles, 2);
}

TEST_F(SchedulerTest, FailedHomeSiteCheckLetsTheDownloadGoAndIsRepeated) {
  testing::FakeArchive archive(1, 10);
  archive.override("update.txt", testsupport::httpResponse(500, "Broken", ""));
  start(archive, true);
  Request& r = newRequest("x");
  scheduler_->send(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_FALSE(home_->succeeded());
  EXPECT_TRUE(r.hasState(kComplete));
  scheduler_->send(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(archive.count("update.txt"), 2);
}

TEST_F(SchedulerTest, StopDuringTheHomeSiteCheckAbandonsTheStart) {
  testing::FakeArchive archive(1, 10);
  archive.override("update.txt", "");  // never a proper answer: the connection just closes
  start(archive, true);
  Request& r = newRequest("x");
  scheduler_->send(r);
  EXPECT_TRUE(home_->running());
  scheduler_->stopAll();
  EXPECT_FALSE(home_->running());
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(archive.count("dnquery"), 0);
  EXPECT_FALSE(r.isTransferring());
}

}  // namespace
}  // namespace varnook
