#include "transfer/scheduler.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "archive/articletext.h"
#include "archive/queryurl.h"
#include "archive/resultpage.h"
#include "base/privatefolder.h"
#include "base/wholefile.h"
#include "net/httpclient.h"
#include "settings/proxysettings.h"
#include "update/homesite.h"

namespace varnook {

// One running transfer: the object's HTTP client and the page it receives. Destroying it
// ends the transfer without further events and takes it off the counters.
class Transfer : public TransferHandle {
 public:
  Transfer(Scheduler& scheduler, ArticleBase& object)
      : scheduler_(scheduler),
        object_(object),
        isRequest_(object.listKind() == ListKind::Requests),
        client_(scheduler.loop_) {
    scheduler_.live_.insert(this);
  }
  // The object may be half destroyed by now: only what was noted of it is used.
  ~Transfer() override {
    scheduler_.live_.erase(this);
    if (counted_) {
      scheduler_.collection_.transferEnded(isRequest_ ? ListKind::Requests : ListKind::Articles);
      scheduler_.postCountsChanged();
      scheduler_.setTransfersRunning();
    }
  }

  HttpClient& client() { return client_; }
  ArticleBase& object() { return object_; }
  std::string& page() { return page_; }
  // Where the page now fetched comes from ("host:port"), and every page URL fetched.
  std::string host;
  std::unordered_set<std::string> fetched;
  void setCounted() { counted_ = true; }
  // Expires when the transfer ends (and its object may be gone with it).
  std::weak_ptr<char> alive() const { return life_; }

 private:
  std::shared_ptr<char> life_ = std::make_shared<char>();
  Scheduler& scheduler_;
  ArticleBase& object_;
  bool isRequest_;
  HttpClient client_;
  std::string page_;
  bool counted_ = false;
};

namespace {

const char* stateStatus(HttpClient::State state) {
  switch (state) {
    case HttpClient::State::Ready:
      return "Ready";
    case HttpClient::State::Connecting:
      return "Connecting...";
    case HttpClient::State::ResolvingName:
      return "Resolving name...";
    case HttpClient::State::SendingRequest:
      return "Sending request...";
    case HttpClient::State::WaitingForReply:
      return "Waiting...|Waiting for reply...";
    case HttpClient::State::Aborting:
      return "Aborting...";
  }
  return "";
}

std::string progressStatus(std::int64_t received, std::int64_t announced) {
  char buf[96];
  const long long r = received, a = announced;
  if (announced != 0)
    std::snprintf(buf, sizeof buf, "%lld of %lld|Received %lld of %lld", r, a, r, a);
  else
    std::snprintf(buf, sizeof buf, "%lld bytes|Received %lld bytes", r, r);
  return buf;
}

Transfer* transferOf(ArticleBase& object) {
  return static_cast<Transfer*>(object.transfer.get());
}

constexpr std::string_view kPageLoop = "The next page repeats an earlier page";
constexpr std::string_view kNotResponding = "Host not responding";

}  // namespace

Scheduler::Scheduler(Collection& collection, EventLoop& loop, const VnkOptions& options,
                     TransferUi& ui, HomeSite* homeSite)
    : collection_(collection), loop_(loop), options_(options), ui_(ui), homeSite_(homeSite) {
  collection_.addObserver(this);
}

Scheduler::~Scheduler() {
  collection_.removeObserver(this);
  // Transfers refer back to the scheduler: end them while it still exists.
  for (const auto& request : collection_.requests()) request->transfer.reset();
  for (const auto& article : collection_.articles()) article->transfer.reset();
}

bool Scheduler::homeSiteHolds() const {
  return homeSite_ != nullptr && homeSite_->running() && homeSite_->firstCheckPending();
}

void Scheduler::startTransfer(ArticleBase& object) {
  if (object.isTransferring()) return;
  collection_.stopRequested = false;
  if (homeSite_ != nullptr && homeSite_->retryDue()) {
    // A check that failed before is made again now and then, holding nothing up.
    homeSite_->check(nullptr);
  }
  if (homeSite_ != nullptr && homeSite_->firstCheckPending()) {
    // The first downloads wait until the home site has answered (or failed to).
    waitingForHomeSite_.insert(&object);
    if (!homeSite_->running()) {
      std::weak_ptr<char> alive = life_;
      homeSite_->check([this, alive](bool completed) {
        if (!alive.expired()) homeSiteChecked(completed);
      });
    }
    return;
  }
  startNow(object);
}

void Scheduler::homeSiteChecked(bool completed) {
  std::unordered_set<ArticleBase*> waiting;
  waiting.swap(waitingForHomeSite_);
  if (!completed) {
    // Stopped: the starts are abandoned, and a resumed request's page was never fetched.
    for (ArticleBase* object : waiting) advanceOnStart_.erase(object);
    return;
  }
  // Objects deleted meanwhile are no longer in the lists; only listed ones start.
  for (const auto& request : collection_.requests())
    if (waiting.count(request.get()) != 0) startNow(*request);
  for (const auto& article : collection_.articles())
    if (waiting.count(article.get()) != 0 && !article->isLoaded()) startNow(*article);
  startPendingArticles();
}

void Scheduler::startNow(ArticleBase& object) {
  if (object.isTransferring()) return;
  const bool isRequest = object.listKind() == ListKind::Requests;
  if (!isRequest) {
    auto& article = static_cast<Article&>(object);
    article.url = buildArticleUrl(article, options_.serviceSettings());
  }
  collection_.stopRequested = false;

  // A resumed request counts the page it goes on to now that it really starts.
  const bool advance = isRequest && advanceOnStart_.erase(&object) != 0;
  if (advance) ++static_cast<Request&>(object).pages;

  const std::string host = hostOfUrl(object.url);
  if (hostTimeouts_.notResponding(host)) {
    startFailed(object, advance, std::string(kNotResponding),
                {std::string(kNotResponding) + ": " + host, true, true});
    return;
  }
  auto transfer = std::make_unique<Transfer>(*this, object);
  Transfer* raw = transfer.get();
  raw->host = host;
  raw->fetched.insert(object.url);
  HttpClient& client = raw->client();
  client.url = object.url;
  applyProxySettings(client, options_);
  client.trustedCertificates = options_.trustedCertificates;
  client.agent = userAgent;
  client.maxDocumentSize = isRequest ? maxPageBytes : maxArticleBytes;
  client.deadlineMs = std::clamp(options_.transferTimeout, 1, 86400) * 1000;
  client.receiveBuffer = &raw->page();
  client.onStateChange = [&object, &client] { object.setStatus(stateStatus(client.state())); };
  client.onDocData = [&object, &client](std::string_view) {
    object.setStatus(progressStatus(client.receivedCount(), client.contentLength()));
  };
  client.onRequestDone = [this, raw](int, int error) { transferEnded(*raw, error); };
  object.transfer = std::move(transfer);

  const std::string error = client.getAsync();
  if (!error.empty()) {
    object.transfer.reset();
    startFailed(object, advance, error, {error});
    return;
  }
  raw->setCounted();
  collection_.transferStarted(object.listKind());
  postCountsChanged();
  setTransfersRunning();
}

void Scheduler::startFailed(ArticleBase& object, bool advanced, const std::string& status,
                            const TransferFailure& failure) {
  if (advanced) --static_cast<Request&>(object).pages;
  if (object.listKind() == ListKind::Articles) static_cast<Article&>(object).transferEnded = true;
  fail(object, status, failure);
  // Nothing started, but the request or article may be new to the panels.
  postCountsChanged();
}

void Scheduler::fail(ArticleBase& object, const std::string& status,
                     const TransferFailure& failure) {
  object.setStatus("Errors!|" + status);
  object.setState(kFailed);
  ui_.transferFailed(object, failureLine(object, failure.reason));
  if (failure.outage && object.listKind() == ListKind::Articles) {
    outageFailed_.insert(&object);
    pauseForOutage(failure.reason);
  }
}

std::string Scheduler::failureLine(const ArticleBase& object, const std::string& reason) const {
  if (object.listKind() == ListKind::Requests) {
    const std::string caption = object.displayName();
    return "Query " +
           (caption == object.name ? object.name : "\"" + caption + "\" (" + object.name + ")") +
           " failed: " + reason;
  }
  const Request* request = collection_.findRequest(static_cast<const Article&>(object));
  return "Article " + object.name +
         (request != nullptr ? " (query \"" + request->displayName() + "\")" : std::string()) +
         " failed: " + reason;
}

void Scheduler::transferEnded(Transfer& transfer, int error) {
  ArticleBase& object = transfer.object();
  HttpClient& client = transfer.client();
  const std::weak_ptr<char> alive = transfer.alive();
  bool pageRead = false;
  const bool httpFailed = error != 0 || client.statusCode() >= 400;
  if (httpFailed || client.socketError() != 0) {
    const TransferFailure failure = describeFailure(client, error);
    if (error != HttpClient::kAbortError) hostTimeouts_.record(transfer.host, failure.timeout);
    fail(object, httpFailed ? client.reasonPhrase() : "Connection broken or other socket error",
         failure);
    if (alive.expired()) return;
  } else {
    hostTimeouts_.record(transfer.host, false);
    pageRead = processPage(object, transfer.page(), alive);
    if (alive.expired()) return;
  }
  if (object.listKind() == ListKind::Requests)
    requestDone(static_cast<Request&>(object), pageRead);
  else
    articleDone(static_cast<Article&>(object));
}

bool Scheduler::processPage(ArticleBase& object, const std::string& page,
                            const std::weak_ptr<char>& transferAlive) {
  std::string error;
  if (object.listKind() == ListKind::Requests) {
    auto& request = static_cast<Request&>(object);
    request.articlesBeforePage = request.articles;
    request.url.clear();
    error = parseResultPage(page, request);
    if (error.empty()) {
      request.setState(kComplete);
      char line[512];
      std::snprintf(line, sizeof line, "Page %d of %s delivered %d articles", request.pages,
                    request.name.c_str(), request.articles - request.articlesBeforePage);
      ui_.log(line);
    }
  } else {
    auto& article = static_cast<Article&>(object);
    std::string body;
    error = parseArticleText(page, article, body);
    collection_.setArticleText(article, std::move(body));
    if (error.empty()) {
      collection_.setModified(true);
      article.setState(kComplete);
    }
  }

  if (error.empty()) {
    object.setStatus("Loaded");
  } else if (error == kNoMatches) {
    object.setStatus("No matches");
  } else {
    reportBadPage(object, page, error);
    if (transferAlive.expired()) return false;
    object.setStatus("Errors!|Errors parsing received Web page");
    ui_.transferFailed(object, failureLine(object, "Errors parsing received Web page: " + error));
  }
  object.updateListItem();
  return error.empty();
}

void Scheduler::reportBadPage(ArticleBase& object, const std::string& page,
                              const std::string& error) {
  const bool isRequest = object.listKind() == ListKind::Requests;
  const std::string report =
      std::string(isRequest ? "Error parsing results of query " : "Error analyzing article ") +
      "\"" + object.name + "\":\r\n  " + error;
  ui_.log(report);

  const std::string folder = cacheFolder.empty() ? std::string(".") : cacheFolder;
  createPrivateFolder(folder);
  const std::string path = folder + "/badpage.htm";
  if (!writeWholeFile(path, page, FileAccess::OwnerOnly).empty()) {
    ui_.log("Unable to save the page into \"" + path + "\"");
    return;
  }
  const bool view = ui_.askYesNo(report + ".\r\nThe page is stored in \"" + path +
                                 "\". Do you want to view this page now?");
  ui_.log("  Page saved to BADPAGE.HTM!");
  if (view) ui_.openInBrowser(path);
}

void Scheduler::requestDone(Request& request, bool pageRead) {
  Transfer* transfer = transferOf(request);
  // Only a page read just now leads on: a Complete left by an earlier run does not.
  const bool atPageLimit = pageLimit > 0 && request.pages >= pageLimit;
  if (transfer != nullptr && pageRead && !request.url.empty() && !request.stopAtNextPage &&
      !atPageLimit && request.hasState(kComplete)) {
    if (!transfer->fetched.insert(request.url).second) {
      // A link back to a page already fetched would go round in circles.
      fail(request, std::string(kPageLoop), {std::string(kPageLoop)});
    } else {
      // The next page goes over the same client; the transfer goes on.
      request.setState(0);
      ++request.pages;
      HttpClient& client = transfer->client();
      client.url = request.url;
      transfer->host = hostOfUrl(request.url);
      transfer->page().clear();
      const std::string error = client.getAsync();
      request.stopAtNextPage = false;
      if (error.empty()) return;
      --request.pages;
      fail(request, error, {error});
    }
  } else if (request.pages > 1) {
    char line[512];
    std::snprintf(line, sizeof line, "Request %s: total of %d articles on %d pages",
                  request.name.c_str(), request.articles, request.pages);
    ui_.log(line);
  }
  freeTransfer(request);
  request.stopAtNextPage = false;
}

void Scheduler::articleDone(Article& article) {
  article.transferEnded = true;
  freeTransfer(article);
  ui_.articleTransferEnded(article);
  startPendingArticles();
  article.updateListItem();
}

void Scheduler::freeTransfer(ArticleBase& object) {
  object.transfer.reset();
}

void Scheduler::send(Request& request) {
  if (request.isTransferring()) return;
  request.url = buildQueryUrl(request, false, options_.serviceSettings());
  advanceOnStart_.erase(&request);
  hostTimeouts_.forgive(hostOfUrl(request.url));  // the user asks for this host once more
  startTransfer(request);
}

void Scheduler::resume(Request& request) {
  if (request.isTransferring() || request.url.empty()) return;
  hostTimeouts_.forgive(hostOfUrl(request.url));
  // After a page that was read, the stored link is the next page; after a failed one it
  // is the same page again.
  if (request.hasState(kComplete))
    advanceOnStart_.insert(&request);
  else
    advanceOnStart_.erase(&request);
  startTransfer(request);
}

void Scheduler::stopQuery(Request& request) {
  waitingForHomeSite_.erase(&request);
  advanceOnStart_.erase(&request);
  freeTransfer(request);
  request.setState(kCancelled);
  request.setStatus("Cancelled");
}

void Scheduler::stopAtNextPage(Request& request) {
  request.stopAtNextPage = true;
}

void Scheduler::loadArticle(Article& article) {
  if (article.isLoaded() || article.isTransferring() || queued_.count(&article) != 0) return;
  enqueue(article);
  startPendingArticles();
}

void Scheduler::enqueue(Article& article, bool first) {
  if (!queued_.insert(&article).second) return;
  if (first)
    loadQueue_.push_front(&article);
  else
    loadQueue_.push_back(&article);
  article.setStatus("Queued|Waiting for a free transfer");
}

void Scheduler::stopLoading(Article& article) {
  const bool queued = queued_.erase(&article) != 0;
  if (!article.isTransferring() && !queued) return;
  freeTransfer(article);
  article.transferEnded = true;
  article.setState(kCancelled);
  article.setStatus("Cancelled");
}

void Scheduler::stopAll() {
  collection_.stopRequested = true;
  setAutoDownload(false);
  if (homeSite_ != nullptr && homeSite_->running()) homeSite_->abort();
  waitingForHomeSite_.clear();
  advanceOnStart_.clear();
  paused_ = false;
  for (const auto& article : collection_.articles()) {
    if (queued_.count(article.get()) == 0) continue;
    article->setState(kCancelled);
    article->setStatus("Cancelled");
  }
  queued_.clear();
  loadQueue_.clear();
  // Aborting may end a transfer at once; go by a snapshot and skip the ones already gone.
  const std::vector<Transfer*> running(live_.begin(), live_.end());
  for (Transfer* transfer : running)
    if (live_.count(transfer) != 0) transfer->client().abort();
  ui_.transfersRunningChanged(false);
  transfersRunning_ = false;
}

void Scheduler::setAutoDownload(bool on) {
  const bool switchedOn = on && !autoDownload_;
  if (on != autoDownload_) {
    autoDownload_ = on;
    ui_.autoDownloadChanged(on);
  }
  if (switchedOn) retryOutageFailures();
  if (on) startPendingArticles();
}

void Scheduler::resumeDownloads() {
  const bool automatic = paused_ ? autoBeforePause_ : autoDownload_;
  retryOutageFailures();
  if (automatic)
    setAutoDownload(true);
  else
    startPendingArticles();
}

void Scheduler::pauseForOutage(const std::string& reason) {
  if (!pauseOnOutage || paused_ || (!autoDownload_ && queued_.empty())) return;
  paused_ = true;
  autoBeforePause_ = autoDownload_;
  setAutoDownload(false);
  ui_.downloadsPaused(reason);
}

void Scheduler::retryOutageFailures() {
  paused_ = false;
  hostTimeouts_.forgiveAll();
  // Through the queue, marked or not (they were asked for), first and in list order.
  std::vector<Article*> retried;
  for (const auto& article : collection_.articles()) {
    if (outageFailed_.count(article.get()) != 0 && !article->isLoaded() &&
        !article->isTransferring() && queued_.count(article.get()) == 0)
      retried.push_back(article.get());
  }
  outageFailed_.clear();
  for (auto it = retried.rbegin(); it != retried.rend(); ++it) enqueue(**it, true);
}

bool Scheduler::isPending(const Article& article) const {
  return article.checked() && !article.isTransferring() && !article.isLoaded() &&
         !article.transferEnded && (article.state() & (kFailed | kCancelled | kComplete)) == 0 &&
         waitingForHomeSite_.count(const_cast<Article*>(&article)) == 0 &&
         queued_.count(&article) == 0;
}

void Scheduler::startPendingArticles() {
  const auto limit = options_.maxRequests;
  // The user's loads first, then the marked rows; both within the limit.
  while (!paused_ && !homeSiteHolds() && !loadQueue_.empty() &&
         collection_.articleTransfers() < limit) {
    Article* article = loadQueue_.front();
    loadQueue_.pop_front();
    if (queued_.erase(article) == 0) continue;  // deleted or stopped meanwhile
    if (!article->isLoaded()) startTransfer(*article);
  }
  if (autoDownload_ && collection_.articleTransfers() < limit && !homeSiteHolds()) {
    const auto& articles = collection_.articles();
    while (autoDownload_ && pendingCursor_ < articles.size()) {
      Article& article = *articles[pendingCursor_];
      if (!isPending(article)) {
        ++pendingCursor_;
        continue;
      }
      startTransfer(article);
      // A start that waits for the home site keeps its place: the walk resumes there.
      if (homeSiteHolds()) break;
      ++pendingCursor_;
      if (collection_.articleTransfers() >= limit) break;
    }
  }
  postCountsChanged();
}

bool Scheduler::transfersRunning() const {
  return !live_.empty();
}

bool Scheduler::busy() const {
  return !live_.empty() || pendingStartPosted_ || !waitingForHomeSite_.empty() ||
         (homeSite_ != nullptr && homeSite_->running()) || (!paused_ && !queued_.empty());
}

TransferCounts Scheduler::counts() const {
  return {collection_.requests().size(), collection_.articles().size(),
          collection_.loadedArticles(), collection_.requestTransfers(),
          collection_.articleTransfers()};
}

void Scheduler::postCountsChanged() {
  if (countsPosted_) return;
  countsPosted_ = true;
  std::weak_ptr<char> alive = life_;
  loop_.post([this, alive] {
    if (alive.expired()) return;
    countsPosted_ = false;
    ui_.countsChanged(counts());
  });
}

void Scheduler::setTransfersRunning() {
  const bool running = collection_.requestTransfers() > 0 || collection_.articleTransfers() > 0;
  if (running == transfersRunning_) return;
  transfersRunning_ = running;
  ui_.transfersRunningChanged(running);
}

void Scheduler::articleCreated(Article&) {
  // The row is filled in by its creator after this call (a result page sets the URL, the
  // forum, the author and the date): start the pending downloads once it has returned.
  if (pendingStartPosted_) return;
  pendingStartPosted_ = true;
  std::weak_ptr<char> alive = life_;
  loop_.post([this, alive] {
    if (alive.expired()) return;
    pendingStartPosted_ = false;
    startPendingArticles();
  });
}

void Scheduler::rowChanged(const ArticleBase& object) {
  if (object.listKind() != ListKind::Articles) return;
  const auto& article = static_cast<const Article&>(object);
  const auto row = static_cast<std::size_t>(article.row());
  // A mark set on a row the walk has passed brings the walk back to it.
  if (row < pendingCursor_ && isPending(article)) pendingCursor_ = row;
}

void Scheduler::rowsRemoved(ListKind kind, int first, int last) {
  if (kind != ListKind::Articles) return;
  const auto f = static_cast<std::size_t>(first), l = static_cast<std::size_t>(last);
  if (pendingCursor_ > l)
    pendingCursor_ -= l - f + 1;
  else if (pendingCursor_ > f)
    pendingCursor_ = f;
}

void Scheduler::rowsInserted(ListKind kind, int first, int) {
  // A row put back in front of the walk (an undone delete) is walked again.
  if (kind == ListKind::Articles && static_cast<std::size_t>(first) < pendingCursor_)
    pendingCursor_ = static_cast<std::size_t>(first);
}

void Scheduler::rowsAboutToBeRemoved(ListKind kind, int first, int last) {
  for (int row = first; row <= last; ++row) {
    const ArticleBase* object =
        kind == ListKind::Requests
            ? static_cast<const ArticleBase*>(
                  collection_.requests()[static_cast<std::size_t>(row)].get())
            : collection_.articles()[static_cast<std::size_t>(row)].get();
    forget(object);
  }
}

void Scheduler::forget(const ArticleBase* object) {
  waitingForHomeSite_.erase(const_cast<ArticleBase*>(object));
  advanceOnStart_.erase(object);
  queued_.erase(object);
  outageFailed_.erase(object);
}

void Scheduler::listReset(ListKind kind) {
  if (kind == ListKind::Articles) pendingCursor_ = 0;
  // Objects that left with the reset (cleared or deleted) must not start later, nor be
  // taken for new ones that happen to get their address.
  if (waitingForHomeSite_.empty() && advanceOnStart_.empty() && queued_.empty() &&
      outageFailed_.empty())
    return;
  std::unordered_set<const ArticleBase*> listed;
  for (const auto& request : collection_.requests()) listed.insert(request.get());
  for (const auto& article : collection_.articles()) listed.insert(article.get());
  const auto unlisted = [&](const ArticleBase* o) { return listed.count(o) == 0; };
  std::erase_if(waitingForHomeSite_, unlisted);
  std::erase_if(advanceOnStart_, unlisted);
  std::erase_if(queued_, unlisted);
  std::erase_if(outageFailed_, unlisted);
}

}  // namespace varnook
