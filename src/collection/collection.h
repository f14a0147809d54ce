#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "collection/article.h"
#include "collection/collectionobserver.h"
#include "collection/knownarticles.h"
#include "collection/request.h"

namespace varnook {

// The news collection: the ordered request and article lists (the order shown is the
// order saved), the set of known article numbers, the file name, the modified flag and
// the transfer counters. The collection owns every request and article; each object
// knows its row index, which the collection keeps current.
class Collection {
 public:
  // Where request names come from: the local time now, and a wait that lets other
  // events run (the desktop program processes its events there).
  struct NameClock {
    std::function<DayDate()> now;
    std::function<void(double seconds)> wait;
  };

  Collection();
  explicit Collection(NameClock clock);
  ~Collection();
  Collection(const Collection&) = delete;
  Collection& operator=(const Collection&) = delete;

  // Observers are not owned; remove them before they die.
  void addObserver(CollectionObserver* observer);
  void removeObserver(CollectionObserver* observer);

  const std::vector<std::unique_ptr<Request>>& requests() const { return requests_; }
  const std::vector<std::unique_ptr<Article>>& articles() const { return articles_; }

  // A new request, not yet in the list, with a fresh "Q#" name. Two requests never share a
  // name: a creation within 86.4 ms of the previous one waits for the clock.
  std::unique_ptr<Request> newRequest();

  // Appends the object's row and sets Modified. An article's check mark follows
  // `checked`, or markNewArticles when not given; an article that comes with its text counts
  // as loaded; the observers hear articleCreated.
  Request& appendRequest(std::unique_ptr<Request> request);
  Article& appendArticle(std::unique_ptr<Article> article,
                         std::optional<bool> checked = std::nullopt);

  // Destroy one object: its transfer ends without events, its row goes, Modified is set;
  // a loaded article lowers loadedArticles (its number stays known). A request's articles
  // stay in place.
  void removeRequest(Request& request);
  void removeArticle(Article& article);
  // Removes every article for which `remove` is true, in one pass and one list reset.
  // Returns how many were removed.
  std::size_t removeArticlesIf(const std::function<bool(const Article&)>& remove);

  // An object taken out of its list with the row it held, so that a delete can be undone.
  template <typename T>
  struct Taken {
    int row = 0;
    std::unique_ptr<T> object;
  };
  // As removeArticlesIf and removeRequest, but the objects are handed back (in list order)
  // instead of destroyed. Their transfers end, and their status then says "Cancelled", as
  // a stopped transfer's does; their numbers stay known.
  std::vector<Taken<Article>> takeArticlesIf(const std::function<bool(const Article&)>& take);
  Taken<Request> takeRequest(Request& request);
  // Puts taken objects back at the rows they held (rows ascending, as taken; a row past
  // the end of the list goes to the end) and sets Modified. One object comes as one row
  // insert, several as one list reset. Loaded articles count as loaded again.
  void restoreArticles(std::vector<Taken<Article>> taken);
  void restoreRequest(Taken<Request> taken);

  // Empty the lists. clearArticles also forgets the known numbers and zeroes
  // loadedArticles and articleTransfers; clearRequests zeroes requestTransfers.
  void clearRequests();
  void clearArticles();

  // Stable re-sort of the article list (a column-header click); later rows are appended
  // unsorted.
  void sortArticles(const std::function<bool(const Article&, const Article&)>& less);

  // Records the number; true when it was known already (0 always counts as known).
  bool isKnownArticle(std::uint32_t number) { return known_.checkAndRecord(number); }
  const KnownArticles& knownArticles() const { return known_; }
  void reserveArticles(std::size_t count);

  // The first request whose name equals the article's requestId, or null.
  Request* findRequest(const Article& article) const;

  const std::string& fileName() const { return fileName_; }
  void setFileName(std::string fileName) { fileName_ = std::move(fileName); }
  bool modified() const { return modified_; }
  void setModified(bool modified);
  bool isEmpty() const { return requests_.empty() && articles_.empty(); }
  bool clearing() const { return clearing_; }

  // Suspends the per-row notifications of one list: the outermost begin tells the
  // observers that the list is about to be reset, the outermost end that it was.
  void beginBulkUpdate(ListKind kind);
  void endBulkUpdate(ListKind kind);
  bool inBulkUpdate(ListKind kind) const { return bulkDepth_[index(kind)] > 0; }

  // The counters the status bar shows. They change only through the methods below and the
  // list changes above, so they cannot drift from what the lists hold.
  // Articles whose text is present (an article that came back with an empty body is not).
  std::int32_t loadedArticles() const { return loadedArticles_; }
  // Running transfers of requests and of articles.
  std::int32_t requestTransfers() const { return requestTransfers_; }
  std::int32_t articleTransfers() const { return articleTransfers_; }

  // Replaces an article's text (empty: not loaded), keeping loadedArticles in step.
  void setArticleText(Article& article, std::string text);
  // A transfer of an object of `kind` has started or ended.
  void transferStarted(ListKind kind);
  void transferEnded(ListKind kind);

  bool stopRequested = false;
  // The "Mark new articles for download" switch: new article rows get a check mark.
  bool markNewArticles = true;

 private:
  friend class ArticleBase;
  friend class Article;
  void notifyRowChanged(const ArticleBase& object);
  void notifyStatusChanged(const ArticleBase& object);
  template <typename T>
  std::unique_ptr<T> removeAt(std::vector<std::unique_ptr<T>>& list, ListKind kind,
                              std::size_t index);
  template <typename T>
  void insertAt(std::vector<std::unique_ptr<T>>& list, ListKind kind, std::vector<Taken<T>> taken);
  template <typename T>
  void clearList(std::vector<std::unique_ptr<T>>& list, ListKind kind);
  void renumber(ListKind kind, std::size_t from);

  std::vector<std::unique_ptr<Request>> requests_;
  std::vector<std::unique_ptr<Article>> articles_;
  std::int32_t loadedArticles_ = 0;
  std::int32_t requestTransfers_ = 0;
  std::int32_t articleTransfers_ = 0;
  KnownArticles known_;
  std::string fileName_;
  bool modified_ = false;
  bool clearing_ = false;
  std::vector<CollectionObserver*> observers_;
  static int index(ListKind kind) { return kind == ListKind::Requests ? 0 : 1; }
  int bulkDepth_[2] = {0, 0};
  NameClock clock_;
  DayDate lastNameTime_ = 0;
};

// Scope guard for Collection::beginBulkUpdate/endBulkUpdate.
class BulkUpdate {
 public:
  BulkUpdate(Collection& collection, ListKind kind) : collection_(collection), kind_(kind) {
    collection_.beginBulkUpdate(kind_);
  }
  ~BulkUpdate() { collection_.endBulkUpdate(kind_); }
  BulkUpdate(const BulkUpdate&) = delete;
  BulkUpdate& operator=(const BulkUpdate&) = delete;

 private:
  Collection& collection_;
  ListKind kind_;
};

}  // namespace varnook
