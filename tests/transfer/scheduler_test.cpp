#include "transfer/scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "archive/queryurl.h"
#include "net/pollloop.h"
#include "support/realservers.h"
#include "transfer/fakearchive.h"
#include "update/homesite.h"

namespace varnook {
namespace {

using testing::httpResponse;
using Lines = std::vector<std::string>;

// Records what the scheduler asks of the window; it answers every question with yes.
struct RecordingUi : TransferUi, UpdateUi {
  std::vector<std::string> lines, questions, opened;
  int statusRefreshes = 0;
  bool autoOn = false;
  // Runs while a question is open, as the events of a modal message box's own loop do.
  std::function<void()> whileAsking;
  void log(const std::string& line) override { lines.push_back(line); }
  bool askYesNo(const std::string& text) override {
    questions.push_back(text);
    if (whileAsking) whileAsking();
    return true;
  }
  bool askOkCancel(const std::string&) override { return false; }
  void openInBrowser(const std::string& path) override { opened.push_back(path); }
  void openUrl(const std::string&) override {}
  void openInHelpViewer(const std::string&) override {}
  void statusBarChanged() override { ++statusRefreshes; }
  void autoDownloadChanged(bool on) override { autoOn = on; }
  void showUpdateStatus(const std::string&) override {}
  void closeMainWindow() override {}
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
    peak = std::max(peak, c.articleTransfers());
    if (object.listKind() != ListKind::Articles || object.status() != "Connecting...") return;
    const auto number = static_cast<const Article&>(object).number;
    if (std::find(started.begin(), started.end(), number) == started.end())
      started.push_back(number);
  }
};

std::string plainText(const std::string& text) {
  return httpResponse(200, "OK", text, {"Content-Type: text/plain"});
}

std::string readFile(const std::string& path) {
  std::stringstream bytes;
  bytes << std::ifstream(path).rdbuf();
  return bytes.str();
}

class SchedulerTest : public ::testing::Test {
 protected:
  // An archive of `articles` articles, ten on a page, and the scheduler for it;
  // `withHomeSite` also checks the home site.
  testing::FakeArchive& serve(int articles, bool withHomeSite = false) {
    scheduler_.reset();
    archive_ = std::make_unique<testing::FakeArchive>(articles, 10);
    options_.serviceHost = archive_->host();
    options_.serviceDomain = archive_->domain();
    options_.homeSite = "http://" + archive_->host() + "/varnook/update.txt";
    if (withHomeSite) home_ = std::make_unique<HomeSite>(loop_, options_, ui_);
    scheduler_ = std::make_unique<Scheduler>(collection_, loop_, options_, ui_, home_.get());
    scheduler_->cacheFolder = cache_.path();
    return *archive_;
  }

  Request& newRequest() {
    auto r = std::make_unique<Request>("Q#" + std::to_string(collection_.requests().size()));
    r->keywords = "modem";
    return collection_.appendRequest(std::move(r));
  }
  bool sendAndWait(Request& r) {
    scheduler_->send(r);
    return runUntilIdle();
  }
  bool runUntilIdle(int timeoutMs = 20000) {
    return loop_.runUntil([&] { return !scheduler_->busy(); }, timeoutMs);
  }
  Article& article(std::size_t i) { return *collection_.articles()[i]; }
  void clearLists() {
    collection_.clearRequests();
    collection_.clearArticles();
    ui_ = {};
  }

  testing::TempFolder cache_;
  PollLoop loop_;
  Collection collection_{Collection::NameClock{[] { return 40000.0; }, [](double) {}}};
  VnkOptions options_;
  RecordingUi ui_;
  std::unique_ptr<HomeSite> home_;
  std::unique_ptr<testing::FakeArchive> archive_;
  std::unique_ptr<Scheduler> scheduler_;
};

// What a request's pages leave: the walk over every page on one transfer with its log,
// and the ways a first page ends the request. An unreadable page is saved, reported and
// asked about once; transport errors log nothing.
TEST_F(SchedulerTest, RequestPagesAndHowTheyEnd) {
  const std::string unreadable = "<a href=\"/getdoc.xp?AN=5\">no end";
  const std::string report =
      "Error parsing results of query \"Q#0\":\r\n  Expected next tag after the subject!";
  const std::string saved = cache_.path() + "/badpage.htm";
  const struct {
    int articles;
    std::string reply;  // for the result pages; empty: the archive's own
    std::string status;
    int state, pages;
    Lines lines;
  } cases[] = {
      {25, "", "Loaded", kComplete, 3,
       Lines{"Page 1 of Q#0 delivered 10 articles", "Page 2 of Q#0 delivered 10 articles",
             "Page 3 of Q#0 delivered 5 articles", "Request Q#0: total of 25 articles on 3 pages"}},
      {2, "", "Loaded", kComplete, 1, Lines{"Page 1 of Q#0 delivered 2 articles"}},  // no total
      {5, httpResponse(404, "Not Found", "gone"), "Errors!|Not Found", kFailed, 1, {}},
      {0, "", "No matches", 0, 1, {}},
      {5, httpResponse(200, "OK", unreadable), "Errors!|Errors parsing received Web page", 0, 1,
       Lines{report, "  Page saved to BADPAGE.HTM!"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    testing::FakeArchive& archive = serve(c.articles);
    if (!c.reply.empty()) archive.override("dnquery.xp", c.reply);
    EXPECT_EQ(std::tuple(scheduler_->panelText(1), scheduler_->panelText(4)),
              std::tuple("(none)", "(none)"));
    Request& r = newRequest();
    scheduler_->send(r);
    EXPECT_EQ(scheduler_->panelText(2), "DL 1...");
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(std::tuple(r.status(), r.state(), r.pages), std::tuple(c.status, c.state, c.pages));
    EXPECT_EQ(ui_.lines, c.lines);
    EXPECT_EQ(collection_.articles().size(), static_cast<std::size_t>(r.articles));
    EXPECT_EQ(r.articles, c.state == kComplete ? c.articles : 0);
    EXPECT_EQ(std::tuple(scheduler_->panelText(1), scheduler_->panelText(2)), std::tuple("1", ""));
    EXPECT_GT(ui_.statusRefreshes, 0);
    EXPECT_EQ(collection_.requestTransfers(), 0);
    // The first page's URL is the service's search URL.
    EXPECT_NE(archive.server().requests()[0].target.find("/[ST_rn=ps]/dnquery.xp?ST=PS"),
              std::string::npos);
    if (c.state == kComplete) {
      EXPECT_EQ(scheduler_->panelText(4), "0/" + std::to_string(c.articles));
      EXPECT_TRUE(r.url.empty());
      EXPECT_EQ(article(0).requestId, r.name);
    }
    const bool bad = c.lines.size() == 2;
    EXPECT_EQ(ui_.questions, bad ? Lines{report + ".\r\nThe page is stored in \"" + saved +
                                         "\". Do you want to view this page now?"}
                                 : Lines{});
    EXPECT_EQ(ui_.opened, bad ? Lines{saved} : Lines{});
    if (bad) {
      EXPECT_EQ(readFile(saved), unreadable);
    }
    // Stop query cancels also a request that does not run.
    scheduler_->stopQuery(r);
    EXPECT_EQ(std::tuple(r.hasState(kCancelled), r.status()), std::tuple(true, "Cancelled"));
    clearLists();
  }
}

// Stop at next page keeps the link to the next page. A resume whose start is abandoned
// (stop all while the failing home site is asked again) fetches and counts no page; the
// next resume goes on.
TEST_F(SchedulerTest, StopAtNextPageAndResumeAlsoAfterAnAbandonedStart) {
  testing::FakeArchive& archive = serve(30, /*withHomeSite=*/true);
  archive.override("update.txt", "");  // every check fails, so each start asks again
  Request& r = newRequest();
  scheduler_->send(r);
  ASSERT_TRUE(loop_.runUntil([&] { return r.pages == 2; }, 10000));  // page 2 under way
  scheduler_->stopAtNextPage(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_FALSE(home_->succeeded());
  EXPECT_EQ(r.pages, 2);
  EXPECT_NE(r.url.find("firstHit=21"), std::string::npos);
  EXPECT_FALSE(r.stopAtNextPage);

  scheduler_->resume(r);
  ASSERT_TRUE(home_->running());
  scheduler_->stopAll();
  EXPECT_FALSE(home_->running());
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.pages, 2);
  EXPECT_FALSE(r.isTransferring());

  scheduler_->resume(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.pages, 3);
  EXPECT_EQ(r.articles, 30);
  EXPECT_TRUE(r.url.empty());
  EXPECT_EQ(archive.count("firstHit=21"), 1);
  scheduler_->resume(r);  // nothing left to resume
  EXPECT_FALSE(r.isTransferring());
}

// A request that was read completely before is sent again; its first page now has a
// next-page link but cannot be used. The page just processed did not succeed, so the
// request goes idle there, whatever state the earlier run left.
TEST_F(SchedulerTest, PageThatWasNotReadEndsTheRequestAfterAnEarlierCompleteRun) {
  const struct {
    const char* entries;  // what follows the next-page link
    std::string status;
  } cases[] = {
      {"<a href=\"/getdoc.xp?AN=5\">no end", "Errors!|Errors parsing received Web page"},
      {"nothing listed", "No matches"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entries);
    testing::FakeArchive& archive = serve(3);
    Request& r = newRequest();
    ASSERT_TRUE(sendAndWait(r));
    ASSERT_TRUE(r.hasState(kComplete));
    const std::string next =
        "http://" + archive.host() + "/[ST_rn=ps]/dnquery.xp?QRY=x&firstHit=11";
    archive.override(
        "dnquery.xp",
        httpResponse(200, "OK", "<a href=\"" + next + "\">Next matches</a>" + c.entries));
    ASSERT_TRUE(sendAndWait(r));
    // The state is left as it was.
    EXPECT_EQ(std::tuple(archive.count("dnquery.xp"), r.pages, r.url, r.hasState(kComplete),
                         r.status(), r.isTransferring(), collection_.requestTransfers()),
              std::tuple(2, 1, next, true, c.status, false, 0));
    clearLists();
  }
}

// A modal question runs other events while it is open; the object whose page could not be
// read may be gone when it returns.
TEST_F(SchedulerTest, ObjectDeletedWhileTheBadPageQuestionIsOpen) {
  const struct {
    const char* name;
    bool request;
    std::function<void(Collection&)> remove;
  } cases[] = {
      {"article removed", false, [](Collection& c) { c.removeArticle(*c.articles()[0]); }},
      {"articles cleared", false, [](Collection& c) { c.clearArticles(); }},
      {"request removed", true, [](Collection& c) { c.removeRequest(*c.requests()[0]); }},
      {"requests cleared", true, [](Collection& c) { c.clearRequests(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeArchive& archive = serve(1);
    if (c.request)
      archive.override("dnquery.xp", httpResponse(200, "OK", "<a href=\"/getdoc.xp?AN=5\">no end"));
    archive.override("AN=1&", plainText("Subject: only headers\n"));
    ui_.whileAsking = [&] { c.remove(collection_); };
    scheduler_->setAutoDownload(true);
    ASSERT_TRUE(sendAndWait(newRequest()));
    EXPECT_EQ(std::tuple(ui_.questions.size(), collection_.requestTransfers(),
                         collection_.articleTransfers(), scheduler_->transfersRunning()),
              std::tuple(1u, 0, 0, false));
    scheduler_.reset();
    clearLists();
  }
}

// An article without a body, one the server fails and one over the size limit end their
// transfers; only the unreadable one is logged. Rows without a check mark and ended
// articles are passed over by the automatic walk, also when later walks go over the list
// again; marking a row or the user's load command starts them.
TEST_F(SchedulerTest, ArticleFailuresAndTheAutomaticWalk) {
  testing::FakeArchive& archive = serve(5);
  archive.override("AN=1&", plainText("Subject: only headers\n"));
  archive.override("AN=2&", httpResponse(500, "Server Error", "x"));
  // An endless or enormous document ends the transfer instead of filling the memory.
  archive.override("AN=3&", httpResponse(200, "OK", std::string(300000, 'x'),
                                         {"Content-Type: text/plain"}, false));
  scheduler_->maxDocumentBytes = 100000;
  ASSERT_TRUE(sendAndWait(newRequest()));
  article(3).setChecked(false);
  scheduler_->setAutoDownload(true);
  ASSERT_TRUE(runUntilIdle());
  const std::pair<std::string, int> ended[] = {{"Errors!|Errors parsing received Web page", 0},
                                               {"Errors!|Server Error", kFailed},
                                               {"Errors!|Document too large", kFailed}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(std::tuple(article(i).status(), article(i).state() & kFailed, article(i).isLoaded()),
              std::tuple(ended[i].first, ended[i].second, false));
  }
  EXPECT_EQ(ui_.lines, (Lines{"Page 1 of Q#0 delivered 5 articles",
                              "Error analyzing article \"A#1\":\r\n  Message body not found",
                              "  Page saved to BADPAGE.HTM!"}));
  scheduler_->startPendingArticles();
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(std::tuple(archive.count("AN=1&"), archive.count("AN=2&"), archive.count("AN=4&")),
            std::tuple(1, 1, 0));
  EXPECT_EQ(collection_.loadedArticles(), 1);

  article(3).setChecked(true);
  scheduler_->startPendingArticles();
  ASSERT_TRUE(runUntilIdle());
  EXPECT_TRUE(article(3).isLoaded());
  scheduler_->loadArticle(article(1));
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(std::tuple(archive.count("AN=2&"), archive.count("AN=4&")), std::tuple(2, 1));

  // The loaded count follows the texts present, also when an article with text is fetched
  // again and comes back without a body.
  ASSERT_EQ(collection_.loadedArticles(), 2);
  archive.override("AN=5&", plainText("Subject: again\n\n"));
  scheduler_->startTransfer(article(4));
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(article(4).subject, "again");
  EXPECT_FALSE(article(4).isLoaded());
  EXPECT_EQ(collection_.loadedArticles(), 1);
}

// Automatic download keeps to the transfer limit, starts articles in list order, each once
// (whatever order the server sees the requests in), and rotates the article servers.
TEST_F(SchedulerTest, AutomaticDownloadRespectsTheLimitAndListOrderAndRotatesServers) {
  testing::FakeArchive& archive = serve(5);
  options_.maxRequests = 2;
  options_.hostList = "www,x1,x2";
  articleServerRotation() = ArticleServerRotation();
  PeakWatcher peak(collection_);
  ASSERT_TRUE(sendAndWait(newRequest()));
  EXPECT_EQ(collection_.loadedArticles(), 0);  // automatic download is off

  scheduler_->setAutoDownload(true);
  EXPECT_EQ(collection_.articleTransfers(), 2);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_LE(peak.peak, 2);
  EXPECT_EQ(collection_.loadedArticles(), 5);
  for (const auto& a : collection_.articles()) {
    const std::string n = std::to_string(a->number);
    EXPECT_TRUE(a->hasState(kComplete));
    EXPECT_EQ(a->status(), "Loaded");
    EXPECT_EQ(a->text.rfind("Body of article " + n + "\r\n", 0), 0u);
    EXPECT_EQ(a->author, "Author " + n + " <a" + n + "@example.com>");
  }
  EXPECT_TRUE(collection_.modified());
  EXPECT_EQ(peak.started, (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(archive.count("getdoc.xp"), 5);
  const std::string servers[] = {"www", "x1", "x2"};
  const std::string port = ".localhost:" + std::to_string(archive.server().port());
  for (const auto& req : archive.server().requests()) {
    const auto an = req.target.find("AN=");
    if (an != std::string::npos) {
      EXPECT_EQ(*req.header("Host"),
                servers[(std::stoi(req.target.substr(an + 3)) - 1) % 3] + port);
    }
  }
}

TEST_F(SchedulerTest, StopAllAbortsEverythingAndReleasesAutomaticDownload) {
  serve(6).holdArticles();  // no article can end before stop all
  options_.maxRequests = 3;
  scheduler_->setAutoDownload(true);
  EXPECT_TRUE(ui_.autoOn);
  scheduler_->send(newRequest());
  ASSERT_TRUE(loop_.runUntil([&] { return collection_.articleTransfers() == 3; }, 10000));
  scheduler_->stopAll();
  EXPECT_FALSE(ui_.autoOn);
  EXPECT_TRUE(collection_.stopRequested);
  ASSERT_TRUE(runUntilIdle(5000));
  const auto& all = collection_.articles();
  for (const auto& a : all) {
    if (a->hasState(kFailed)) {
      EXPECT_EQ(a->longStatus(), "Connection aborted on request");
    }
  }
  EXPECT_EQ(std::count_if(all.begin(), all.end(), [](auto& a) { return a->hasState(kFailed); }), 3);
  // Nothing new starts, also later.
  loop_.runUntil([] { return false; }, 300);
  EXPECT_FALSE(scheduler_->transfersRunning());
  EXPECT_EQ(collection_.loadedArticles(), 0);
  EXPECT_EQ(scheduler_->panelText(5), "");
}

TEST_F(SchedulerTest, DeletingATransferringArticleEndsItsTransfer) {
  serve(2).holdArticles();
  scheduler_->setAutoDownload(true);
  scheduler_->send(newRequest());
  ASSERT_TRUE(loop_.runUntil([&] { return collection_.articleTransfers() == 2; }, 10000));
  collection_.removeArticle(article(0));
  EXPECT_EQ(collection_.articleTransfers(), 1);
  collection_.clearArticles();
  EXPECT_FALSE(scheduler_->transfersRunning());
  ASSERT_TRUE(runUntilIdle());
}

TEST_F(SchedulerTest, HomeSiteIsAskedOnceBeforeTheFirstDownload) {
  testing::FakeArchive& archive = serve(2, /*withHomeSite=*/true);
  scheduler_->send(newRequest());
  EXPECT_EQ(collection_.requestTransfers(), 0);  // waits for the home site
  ASSERT_TRUE(runUntilIdle());
  EXPECT_TRUE(home_->succeeded());
  const auto requests = archive.server().requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, "/varnook/update.txt");
  EXPECT_EQ(*requests[0].header("X-ProductVersion"), home_->version());
  EXPECT_EQ(*requests[0].header("Accept"), "text/plain");
  scheduler_->setAutoDownload(true);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(archive.updateRequests, 1);
  EXPECT_EQ(collection_.loadedArticles(), 2);
}

}  // namespace
}  // namespace varnook
