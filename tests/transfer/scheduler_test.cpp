#include "transfer/scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

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
  TransferCounts counts;
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
  void countsChanged(const TransferCounts& now) override { counts = now; }
  void autoDownloadChanged(bool on) override { autoOn = on; }
  void showUpdateStatus(const std::string&) override {}
  void closeMainWindow() override {}
};

std::string plainText(const std::string& text) {
  return httpResponse(200, "OK", text, {"Content-Type: text/plain"});
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

// What a request's first page leaves, and the ways it ends the request (the walk over
// several pages and its log: StopAtNextPageAndResume... and BatchTest.SearchesFollowsPages...).
// An unreadable page is saved, reported and asked about once; a page that is no result page,
// a next page that loops back and requests that cannot start end with their failure line.
TEST_F(SchedulerTest, RequestPagesAndHowTheyEnd) {
  const std::string unreadable = "<a href=\"/getdoc.xp?AN=5\">no end";
  const std::string report = "Error parsing results of query \"Q#0\":\r\n  ";
  const std::string failed = "Query \"modem\" (Q#0) failed: ";
  const std::string parseError = "Errors parsing received Web page";
  const std::string saved = cache_.path() + "/badpage.htm";
  const auto linkTo = [](const std::string& next) {
    return "<a href=\"" + next + "\">Next matches</a><a href=\"/getdoc.xp?AN=1\">s</a><p>";
  };
  const struct {
    int articles;
    std::string reply;  // for the first result page; empty: the archive's own
    std::string status;
    int state, pages, found;  // found: the request's count of entries read
    Lines lines;
    const char* service = nullptr;  // nullptr: the archive
  } cases[] = {
      {2, "", "Loaded", kComplete, 1, 2, Lines{"Page 1 of Q#0 delivered 2 articles"}},  // no total
      {5, httpResponse(404, "Not Found", "gone"), "Errors!|Not Found", kFailed, 1, 0,
       Lines{failed + "HTTP 404 Not Found"}},
      // A page over its cap, however the server sends it.
      {5, httpResponse(200, "OK", std::string((16 << 20) + 1, 'p'), {}, false),
       "Errors!|Document too large", kFailed, 1, 0, Lines{failed + "Document too large"}},
      {0, "", "No matches", 0, 1, 0, {}},
      {5, httpResponse(200, "OK", unreadable), "Errors!|" + parseError, 0, 1, 0,
       Lines{report + "Expected next tag after the subject!", "  Page saved to BADPAGE.HTM!",
             failed + parseError + ": Expected next tag after the subject!"}},
      {5, "@http://@/[ST_rn=ps]/dnquery.xp?ST=PS&again",
       "Errors!|The next page repeats an earlier page", kFailed, 2, 2,
       Lines{"Page 1 of Q#0 delivered 1 articles", "Page 2 of Q#0 delivered 1 articles",
             failed + "The next page repeats an earlier page"}},
      {5, "@/[ST_rn=ps]/dnquery.xp?firstHit=2", "Errors!|DNS lookup: invalid host name.", kFailed,
       1, 1,
       Lines{"Page 1 of Q#0 delivered 1 articles", failed + "DNS lookup: invalid host name."}},
      {5, "", "Errors!|SetPort: Cannot convert port '99999'", kFailed, 1, 0,
       Lines{failed + "SetPort: Cannot convert port '99999'"}, "localhost:99999"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    testing::FakeArchive& archive = serve(c.articles);
    if (c.service != nullptr) options_.serviceHost = c.service;
    // "@next": a first page with one entry after the link to next ("@" stands for the archive).
    std::string reply = c.reply;
    if (reply.rfind('@', 0) == 0) {
      reply.erase(0, 1);
      if (const auto at = reply.find('@'); at < 8) reply.replace(at, 1, archive.host());
      reply = httpResponse(200, "OK", linkTo(reply));
    }
    if (!reply.empty()) archive.override("ST=PS", reply);
    EXPECT_EQ(scheduler_->counts(), TransferCounts{});
    Request& r = newRequest();
    scheduler_->send(r);
    // A request that cannot start runs no transfer.
    EXPECT_EQ(scheduler_->counts().requestTransfers, c.service ? 0 : 1);
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(std::tuple(r.status(), r.state(), r.pages, r.articles),
              std::tuple(c.status, c.state, c.pages, c.found));
    EXPECT_EQ(ui_.lines, c.lines);
    EXPECT_EQ(collection_.articles().size(), static_cast<std::size_t>(r.unique));
    // The posted updates end with the counts as they are, also when nothing could start.
    EXPECT_TRUE(loop_.runUntil([&] { return ui_.counts == scheduler_->counts(); }, 5000));
    EXPECT_EQ(std::tuple(ui_.counts.requests, ui_.counts.requestTransfers), std::tuple(1u, 0));
    if (c.state == kComplete) {
      EXPECT_EQ(std::tuple(ui_.counts.loadedArticles, ui_.counts.articles),
                std::tuple(0, static_cast<std::size_t>(c.articles)));
      EXPECT_TRUE(r.url.empty());
      EXPECT_EQ(article(0).requestId, r.name);
    }
    const bool bad = c.status == "Errors!|" + parseError;
    EXPECT_EQ(ui_.questions, bad ? Lines{c.lines[0] + ".\r\nThe page is stored in \"" + saved +
                                         "\". Do you want to view this page now?"}
                                 : Lines{});
    EXPECT_EQ(ui_.opened, bad ? Lines{saved} : Lines{});
    if (bad) {
      EXPECT_EQ(testing::readFile(saved), c.reply.substr(c.reply.find("\r\n\r\n") + 4));
    }
    // Stop query cancels also a request that does not run.
    scheduler_->stopQuery(r);
    EXPECT_EQ(std::tuple(r.hasState(kCancelled), r.status()), std::tuple(true, "Cancelled"));
    clearLists();
  }
}

// Stop at next page keeps the link to the next page, and resume goes on there. A resume
// whose start is abandoned (stop all while the first home-site check is under way) fetches
// and counts no page; the next resume goes on.
TEST_F(SchedulerTest, StopAtNextPageAndResumeAlsoAfterAnAbandonedStart) {
  testing::FakeArchive& archive = serve(40, /*withHomeSite=*/true);
  archive.hold("update.txt");
  // As a saved collection leaves a request after its first page.
  Request& r = newRequest();
  r.url = "http://" + archive.host() + "/[ST_rn=ps]/dnquery.xp?QRY=x&firstHit=11";
  r.setState(kComplete);
  scheduler_->resume(r);
  ASSERT_TRUE(home_->running());
  scheduler_->stopAll();
  EXPECT_FALSE(home_->running());
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(std::tuple(r.pages, r.isTransferring(), archive.count("dnquery")),
            std::tuple(1, false, 0));

  archive.release();
  scheduler_->resume(r);
  ASSERT_TRUE(loop_.runUntil([&] { return r.pages == 3; }, 10000));  // page 3 under way
  scheduler_->stopAtNextPage(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(r.pages, 3);
  EXPECT_NE(r.url.find("firstHit=31"), std::string::npos);
  EXPECT_FALSE(r.stopAtNextPage);

  scheduler_->resume(r);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(std::tuple(r.pages, r.articles, r.url), std::tuple(4, 30, ""));
  EXPECT_EQ(archive.count("firstHit=31"), 1);
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
    bool keepsLink;  // the link was read before the page ended
  } cases[] = {
      {"<a href=\"/getdoc.xp?AN=5\">no end", "Errors!|Errors parsing received Web page", true},
      {"Your search did not match any articles at all", "No matches", false},
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
              std::tuple(2, 1, c.keepsLink ? next : "", true, c.status, false, 0));
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

// An article without a body, one the server fails and one over the size cap end their
// transfers, each with its failure line. Rows without a check mark and ended articles are
// passed over by the automatic walk, also when later walks go over the list again; marking
// a row or the user's load command starts them.
TEST_F(SchedulerTest, ArticleFailuresAndTheAutomaticWalk) {
  testing::FakeArchive& archive = serve(5);
  archive.override("AN=1&", plainText("Subject: only headers\n"));
  archive.override("AN=2&", httpResponse(500, "Server Error", "x"));
  // An endless or enormous document ends the transfer instead of filling the memory.
  archive.override("AN=3&", httpResponse(200, "OK", std::string((32 << 20) + 1, 'x'),
                                         {"Content-Type: text/plain"}, false));
  options_.maxRequests = 1;  // the lines come in list order
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
  EXPECT_EQ(ui_.lines,
            (Lines{"Page 1 of Q#0 delivered 5 articles",
                   "Error analyzing article \"A#1\":\r\n  Message body not found",
                   "  Page saved to BADPAGE.HTM!",
                   "Article A#1 (query \"modem\") failed: Errors parsing received Web page: "
                   "Message body not found",
                   "Article A#2 (query \"modem\") failed: HTTP 500 Server Error",
                   "Article A#3 (query \"modem\") failed: Document too large"}));
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

TEST_F(SchedulerTest, StopAllAbortsEverythingAndReleasesAutomaticDownload) {
  serve(6).hold();  // no article can end before stop all
  options_.maxRequests = 3;
  scheduler_->setAutoDownload(true);
  EXPECT_TRUE(ui_.autoOn);
  scheduler_->send(newRequest());
  ASSERT_TRUE(loop_.runUntil([&] { return collection_.articleTransfers() == 3; }, 10000));
  loop_.runUntil([] { return false; }, 100);  // held, none ends: a fourth would be over the limit
  EXPECT_EQ(collection_.articleTransfers(), 3);
  scheduler_->stopAll();
  EXPECT_FALSE(ui_.autoOn);
  EXPECT_TRUE(collection_.stopRequested);
  ASSERT_TRUE(runUntilIdle(5000));
  const auto& all = collection_.articles();
  EXPECT_EQ(std::count_if(all.begin(), all.end(), [](auto& a) { return a->hasState(kFailed); }), 3);
  // Nothing new starts, also later.
  loop_.runUntil([] { return false; }, 300);
  EXPECT_FALSE(scheduler_->transfersRunning());
  EXPECT_EQ(collection_.loadedArticles(), 0);
  EXPECT_EQ(scheduler_->counts().articleTransfers, 0);
}

// The load command queues articles behind the transfer limit; one taken off the queue is
// cancelled, and deleting transferring articles ends their transfers.
TEST_F(SchedulerTest, LoadCommandQueuesAndDeletingATransferringArticleEndsItsTransfer) {
  serve(3).hold();
  options_.maxRequests = 2;
  ASSERT_TRUE(sendAndWait(newRequest()));
  EXPECT_EQ(collection_.articleTransfers(), 0);  // automatic download is off
  for (const auto& a : collection_.articles()) scheduler_->loadArticle(*a);
  EXPECT_EQ(collection_.articleTransfers(), 2);
  EXPECT_EQ(article(2).status(), "Queued|Waiting for a free transfer");
  scheduler_->stopLoading(article(2));
  EXPECT_EQ(article(2).status(), "Cancelled");
  collection_.removeArticle(article(0));
  EXPECT_EQ(collection_.articleTransfers(), 1);
  collection_.clearArticles();
  EXPECT_FALSE(scheduler_->transfersRunning());
  ASSERT_TRUE(runUntilIdle());
}

// Article transfers that never end fail at the deadline; after three timeouts in a row the
// remaining transfers to that host fail at once.
TEST_F(SchedulerTest, TimeoutsAndAHostThatStopsResponding) {
  testing::FakeArchive& archive = serve(6);
  ASSERT_TRUE(sendAndWait(newRequest()));
  archive.hold();
  options_.transferTimeout = 1;
  options_.maxRequests = 2;
  options_.hostList = "www";  // one article server
  scheduler_->pauseOnOutage = false;
  scheduler_->setAutoDownload(true);
  ASSERT_TRUE(runUntilIdle());
  Lines statuses;
  for (const auto& a : collection_.articles()) statuses.push_back(a->status());
  const std::string timedOut = "Errors!|Transfer timed out after 1 s";
  EXPECT_EQ(statuses, (Lines{timedOut, timedOut, timedOut, timedOut, "Errors!|Host not responding",
                             "Errors!|Host not responding"}));
  EXPECT_EQ(archive.count("getdoc"), 4);
  const std::string line =
      "Article A#6 (query \"modem\") failed: Host not responding: www." + archive.domain();
  EXPECT_NE(std::find(ui_.lines.begin(), ui_.lines.end(), line), ui_.lines.end());
}

// The first downloads wait for the home site, asked with its request lines. A failed check
// is not repeated before every download: the batch tool never asks again, the desktop
// program now and then, in the background, holding nothing up.
TEST_F(SchedulerTest, HomeSiteIsAskedBeforeTheFirstDownloadAndAFailedCheckHoldsNothingUp) {
  const struct {
    int status, retryAfterMs;
    bool retrying;  // when the downloads start
    int asked;
  } cases[] = {{200, 0, false, 1}, {404, -1, false, 1}, {404, 0, true, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.status) + " " + std::to_string(c.retryAfterMs));
    testing::FakeArchive& archive = serve(3, /*withHomeSite=*/true);
    home_->retryAfterMs = c.retryAfterMs;
    if (c.status != 200) archive.override("update.txt", httpResponse(c.status, "Failed", ""));
    scheduler_->send(newRequest());
    EXPECT_EQ(collection_.requestTransfers(), 0);  // waits for the home site
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(home_->succeeded(), c.status == 200);
    const auto check = archive.server().requests()[0];
    EXPECT_EQ(std::tuple(check.target, *check.header("X-ProductVersion"), *check.header("Accept")),
              std::tuple("/varnook/update.txt", home_->version(), "text/plain"));
    archive.hold("update.txt");  // a check made now does not end before the downloads
    scheduler_->setAutoDownload(true);
    EXPECT_EQ(std::tuple(home_->running(), collection_.articleTransfers()),
              std::tuple(c.retrying, 3));
    archive.release();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(std::tuple(collection_.loadedArticles(), archive.count("update.txt")),
              std::tuple(3, c.asked));
    scheduler_.reset();
    home_.reset();
    clearLists();
  }
}

// An article server that refuses pauses the automatic download at its first failure
// instead of failing every article after it; switching it on again retries.
TEST_F(SchedulerTest, OutagePausesTheDownloadsUntilSwitchedOnAgain) {
  testing::FakeArchive& archive = serve(5);
  ASSERT_TRUE(sendAndWait(newRequest()));
  options_.maxRequests = 1;
  options_.serviceDomain = "localhost:" + std::to_string(testing::freeLoopbackPort());
  scheduler_->setAutoDownload(true);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(std::tuple(scheduler_->paused(), ui_.autoOn, article(0).status(), article(1).status()),
            std::tuple(true, false, "Errors!|Connection refused (Error #10061)", ""));
  EXPECT_EQ(ui_.lines.back(), "Automatic download paused: Connection refused");
  options_.serviceDomain = archive.domain();
  scheduler_->setAutoDownload(true);
  ASSERT_TRUE(runUntilIdle());
  EXPECT_EQ(std::tuple(collection_.loadedArticles(), scheduler_->paused()), std::tuple(5, false));
}

}  // namespace
}  // namespace varnook
