#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>

#include "collection/collection.h"
#include "net/eventloop.h"
#include "settings/vnkoptions.h"
#include "transfer/transferfailure.h"
#include "transfer/transferui.h"

namespace varnook {

class HomeSite;
class Transfer;

// Runs the transfers of a collection: a request fetches its result pages one after another
// on one HTTP client, following each page's next-page link; articles are downloaded as
// plain text, automatically in list order up to the options' MaxRequests at a time, or on
// the user's command. Everything runs on the loop's thread, driven by the clients' events.
//
// The scheduler observes the collection: new article rows start pending downloads, and
// deleting an object ends its transfer. It reads the options at the moment of use.
// `homeSite` (may be null) is asked before the first transfer (HomeSite says when again).
//
// Every failed transfer gets the status "Errors!|<reason>" and one line through
// TransferUi::transferFailed. Three timeouts in a row to one host make the remaining
// transfers to it fail at once ("Host not responding"). With pauseOnOutage, an article
// transfer that fails because the service is out of reach (refused, not found, timed out)
// pauses the automatic download and the queued loads instead of failing every article
// after it.
// The collection, the loop, the options, the UI and the home site must outlive the
// scheduler; destroying the scheduler ends every transfer it runs.
class Scheduler : private CollectionObserver {
 public:
  Scheduler(Collection& collection, EventLoop& loop, const VnkOptions& options, TransferUi& ui,
            HomeSite* homeSite);
  ~Scheduler() override;
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // Starts fetching the object's Url (an article first builds its URL, choosing the
  // article server). Does nothing while it transfers already.
  void startTransfer(ArticleBase& object);

  // The commands of the query list.
  void send(Request& request);            // first page again (Pages, Articles, Unique kept)
  void resume(Request& request);          // at the stored next page
  void stopQuery(Request& request);       // Cancelled, also when idle
  void stopAtNextPage(Request& request);  // ends after the page now in transfer

  // The commands of the article list. A load is queued (status "Queued") and started
  // within MaxRequests, before the automatic download's marked rows; only an article
  // without text that does not transfer is loaded. Stop loading ends a transfer or takes
  // the article off the queue.
  void loadArticle(Article& article);
  void stopLoading(Article& article);

  // Aborts every transfer and releases the automatic download.
  void stopAll();

  // "Download articles automatically": on starts the pending marked articles, and also
  // retries the articles that failed because the service was out of reach.
  void setAutoDownload(bool on);
  bool autoDownload() const { return autoDownload_; }
  // After an outage: retries the articles it failed, and goes on with the queued loads and,
  // when it was on, the automatic download.
  void resumeDownloads();
  bool paused() const { return paused_; }

  // Starts marked articles without text, in list order, while fewer than MaxRequests
  // article transfers run. An article whose transfer has ended (failed, cancelled,
  // complete or unreadable) is left to the user's load command. Keeps its place between
  // calls, so downloading n articles costs O(n) in all.
  void startPendingArticles();

  bool transfersRunning() const;
  // True while anything is under way or about to start: transfers, the home-site check,
  // or downloads posted to start. A program without a window runs its loop until not busy.
  bool busy() const;
  // What the status bar counts, as the collection holds it now.
  TransferCounts counts() const;

  // Where "badpage.htm" is written (created 0700 when missing).
  std::string cacheFolder;
  // Sent as "User-Agent:" with every request; empty sends none.
  std::string userAgent;
  // Whether outages pause the downloads (the desktop program) or every transfer goes on to
  // its own end (the batch tool, which reports each).
  bool pauseOnOutage = true;
  // Requests stop at the next page once they have fetched this many pages (0: no limit);
  // the stored next-page link stays for a later resume.
  int pageLimit = 0;
  // A result page or article larger than this fails its transfer ("Document too large"), so
  // a run's memory stays within these caps times the transfers running.
  std::int64_t maxPageBytes = std::int64_t{16} << 20;
  std::int64_t maxArticleBytes = std::int64_t{32} << 20;

 private:
  friend class Transfer;

  void startNow(ArticleBase& object);
  void startFailed(ArticleBase& object, bool advanced, const std::string& status,
                   const TransferFailure& failure);
  void transferEnded(Transfer& transfer, int error);
  // Status "Errors!|<status>", state Failed, the failure line; an outage pauses.
  void fail(ArticleBase& object, const std::string& status, const TransferFailure& failure);
  std::string failureLine(const ArticleBase& object, const std::string& reason) const;
  void pauseForOutage(const std::string& reason);
  void retryOutageFailures();
  void enqueue(Article& article, bool first = false);
  // The first home-site check of the run is under way: downloads wait for it.
  bool homeSiteHolds() const;
  // Interprets a received page; true when it was read without error. Returns at once,
  // false, when the transfer ended meanwhile (a question to the user lets other events run).
  bool processPage(ArticleBase& object, const std::string& page,
                   const std::weak_ptr<char>& transferAlive);
  void requestDone(Request& request, bool pageRead);
  void articleDone(Article& article);
  void freeTransfer(ArticleBase& object);
  // Logs the report, saves the page and asks whether to view it. The object and the page
  // may be gone when it returns.
  void reportBadPage(ArticleBase& object, const std::string& page, const std::string& error);
  void postCountsChanged();
  void setTransfersRunning();
  void homeSiteChecked(bool completed);
  bool isPending(const Article& article) const;
  // Drops a departing object from the starts that wait.
  void forget(const ArticleBase* object);

  // CollectionObserver
  void articleCreated(Article& article) override;
  void rowChanged(const ArticleBase& object) override;
  void rowsAboutToBeRemoved(ListKind kind, int first, int last) override;
  void rowsRemoved(ListKind kind, int first, int last) override;
  void rowsInserted(ListKind kind, int first, int last) override;
  void listReset(ListKind kind) override;

  Collection& collection_;
  EventLoop& loop_;
  const VnkOptions& options_;
  TransferUi& ui_;
  HomeSite* homeSite_;
  bool autoDownload_ = false;
  bool countsPosted_ = false;
  bool pendingStartPosted_ = false;
  bool transfersRunning_ = false;
  // Where the automatic walk goes on: rows before it hold nothing to start.
  std::size_t pendingCursor_ = 0;
  // Objects whose start waits for the home-site check.
  std::unordered_set<ArticleBase*> waitingForHomeSite_;
  // Requests resumed after a page that was read: Pages grows when the start happens.
  std::unordered_set<const ArticleBase*> advanceOnStart_;
  // Every running transfer (requests and articles).
  std::unordered_set<Transfer*> live_;
  // The user's loads waiting for a free transfer, in order. An entry counts only while its
  // article is in `queued_` (a deleted one leaves only that set).
  std::deque<Article*> loadQueue_;
  std::unordered_set<const ArticleBase*> queued_;
  // Articles failed by an outage, retried on resume.
  std::unordered_set<const ArticleBase*> outageFailed_;
  HostTimeouts hostTimeouts_;
  bool paused_ = false;
  bool autoBeforePause_ = false;
  std::shared_ptr<char> life_ = std::make_shared<char>();
};

}  // namespace varnook
