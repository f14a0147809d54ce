#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "collection/collection.h"
#include "net/eventloop.h"
#include "settings/vnkoptions.h"
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
// `homeSite` (may be null) is checked before every transfer until it has succeeded once.
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

  // The commands of the article list.
  void loadArticle(Article& article);  // only when it has no text and does not transfer
  void stopLoading(Article& article);  // only while it transfers

  // Aborts every transfer and releases the automatic download.
  void stopAll();

  // "Download articles automatically": on starts the pending marked articles.
  void setAutoDownload(bool on);
  bool autoDownload() const { return autoDownload_; }

  // Starts marked articles without text, in list order, while fewer than MaxRequests
  // article transfers run. An article whose transfer has ended (failed, cancelled,
  // complete or unreadable) is left to the user's load command. Keeps its place between
  // calls, so downloading n articles costs O(n) in all.
  void startPendingArticles();

  bool transfersRunning() const;
  // True while anything is under way or about to start: transfers, the home-site check,
  // or downloads posted to start. A program without a window runs its loop until not busy.
  bool busy() const;
  // Texts of the status bar panels 1 (requests), 2 (running request transfers), 4 (loaded
  // / all articles) and 5 (running article transfers); other panels give "".
  std::string panelText(int panel) const;

  // Where "badpage.htm" is written (created 0700 when missing).
  std::string cacheFolder;
  // Sent as "User-Agent:" with every request; empty sends none.
  std::string userAgent;
  // Requests stop at the next page once they have fetched this many pages (0: no limit);
  // the stored next-page link stays for a later resume.
  int pageLimit = 0;
  // A result page or article larger than this fails its transfer ("Document too large").
  std::int64_t maxDocumentBytes = std::int64_t{256} << 20;

 private:
  friend class Transfer;

  void startNow(ArticleBase& object);
  void transferEnded(Transfer& transfer, int error);
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
  void requestStatusBarRefresh();
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
  bool statusRefreshPosted_ = false;
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
  std::shared_ptr<char> life_ = std::make_shared<char>();
};

}  // namespace varnook
