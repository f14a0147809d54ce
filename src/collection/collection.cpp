#include "collection/collection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace varnook {
namespace {

// The status of an object whose transfer a delete ended: what a stop would have left.
constexpr std::string_view kTakenTransferStatus = "Cancelled";

// 0.000001 day: two request names issued at least this far apart differ in "%.6f".
constexpr DayDate kNameResolution = 0.000001;

Collection::NameClock systemClock() {
  return {nowLocal, [](double seconds) {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
          }};
}

}  // namespace

Collection::Collection() : Collection(systemClock()) {}

Collection::Collection(NameClock clock) : clock_(std::move(clock)) {
  lastNameTime_ = clock_.now();
}

Collection::~Collection() {
  // Views are gone or going; destroy quietly.
  observers_.clear();
  clearing_ = true;
  // Transfers end while their objects are still whole.
  for (auto& request : requests_) request->transfer.reset();
  for (auto& article : articles_) article->transfer.reset();
  requests_.clear();
  articles_.clear();
}

void Collection::addObserver(CollectionObserver* observer) {
  observers_.push_back(observer);
}

void Collection::removeObserver(CollectionObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

std::unique_ptr<Request> Collection::newRequest() {
  static const DayDate kNameBase = *encodeDate(1999, 3, 25);
  DayDate now = clock_.now();
  // Wait until the clock has moved on by one name step. A clock that went backwards
  // (a daylight-saving change) is not waited for; the name still moves forward.
  while (now >= lastNameTime_ && now - lastNameTime_ < kNameResolution) {
    clock_.wait((lastNameTime_ + kNameResolution - now) * 86400.0);
    now = clock_.now();
  }
  if (now < lastNameTime_) now = lastNameTime_ + kNameResolution;
  lastNameTime_ = now;
  char buf[64];
  std::snprintf(buf, sizeof buf, "Q#%.6f", now - kNameBase);
  return std::make_unique<Request>(buf);
}

Request& Collection::appendRequest(std::unique_ptr<Request> request) {
  const int row = static_cast<int>(requests_.size());
  const bool quiet = inBulkUpdate(ListKind::Requests);
  if (!quiet)
    for (auto* o : observers_) o->rowsAboutToBeInserted(ListKind::Requests, row, row);
  request->collection_ = this;
  request->row_ = row;
  requests_.push_back(std::move(request));
  if (!quiet)
    for (auto* o : observers_) o->rowsInserted(ListKind::Requests, row, row);
  setModified(true);
  return *requests_.back();
}

Article& Collection::appendArticle(std::unique_ptr<Article> article, std::optional<bool> checked) {
  const int row = static_cast<int>(articles_.size());
  const bool quiet = inBulkUpdate(ListKind::Articles);
  if (!quiet)
    for (auto* o : observers_) o->rowsAboutToBeInserted(ListKind::Articles, row, row);
  article->collection_ = this;
  article->row_ = row;
  article->checked_ = checked.value_or(markNewArticles);
  if (article->isLoaded()) ++loadedArticles_;
  articles_.push_back(std::move(article));
  if (!quiet)
    for (auto* o : observers_) o->rowsInserted(ListKind::Articles, row, row);
  setModified(true);
  Article& added = *articles_.back();
  // An observer may remove rows here; `added` stays valid for this call only.
  for (auto* o : std::vector<CollectionObserver*>(observers_)) o->articleCreated(added);
  return added;
}

void Collection::renumber(ListKind kind, std::size_t from) {
  if (kind == ListKind::Requests) {
    for (std::size_t i = from; i < requests_.size(); ++i) requests_[i]->row_ = static_cast<int>(i);
  } else {
    for (std::size_t i = from; i < articles_.size(); ++i) articles_[i]->row_ = static_cast<int>(i);
  }
}

template <typename T>
std::unique_ptr<T> Collection::removeAt(std::vector<std::unique_ptr<T>>& list, ListKind kind,
                                        std::size_t index) {
  // The transfer ends first, without a status change.
  list[index]->transfer.reset();
  const int row = static_cast<int>(index);
  const bool quiet = inBulkUpdate(kind);
  if (!quiet)
    for (auto* o : observers_) o->rowsAboutToBeRemoved(kind, row, row);
  std::unique_ptr<T> doomed = std::move(list[index]);
  list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
  doomed->collection_ = nullptr;
  doomed->row_ = -1;
  renumber(kind, index);
  if (!quiet)
    for (auto* o : observers_) o->rowsRemoved(kind, row, row);
  setModified(true);
  return doomed;
}

void Collection::removeRequest(Request& request) {
  if (request.collection_ != this) return;
  removeAt(requests_, ListKind::Requests, static_cast<std::size_t>(request.row_));
}

void Collection::removeArticle(Article& article) {
  if (article.collection_ != this) return;
  if (article.isLoaded()) --loadedArticles_;
  removeAt(articles_, ListKind::Articles, static_cast<std::size_t>(article.row_));
}

std::size_t Collection::removeArticlesIf(const std::function<bool(const Article&)>& remove) {
  return takeArticlesIf(remove).size();
}

std::vector<Collection::Taken<Article>> Collection::takeArticlesIf(
    const std::function<bool(const Article&)>& take) {
  std::vector<Taken<Article>> taken;
  {
    BulkUpdate bulk(*this, ListKind::Articles);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < articles_.size(); ++i) {
      if (take(*articles_[i])) {
        taken.push_back({static_cast<int>(i), std::move(articles_[i])});
      } else {
        if (kept != i) articles_[kept] = std::move(articles_[i]);
        ++kept;
      }
    }
    articles_.resize(kept);
    renumber(ListKind::Articles, 0);
    for (auto& [row, article] : taken) {
      if (article->isTransferring()) article->status_ = kTakenTransferStatus;
      article->transfer.reset();
      if (article->isLoaded()) --loadedArticles_;
      article->collection_ = nullptr;
      article->row_ = -1;
    }
  }
  if (!taken.empty()) setModified(true);
  return taken;
}

Collection::Taken<Request> Collection::takeRequest(Request& request) {
  if (request.collection_ != this) return {};
  const int row = request.row_;
  if (request.isTransferring()) request.status_ = kTakenTransferStatus;
  return {row, removeAt(requests_, ListKind::Requests, static_cast<std::size_t>(row))};
}

template <typename T>
void Collection::insertAt(std::vector<std::unique_ptr<T>>& list, ListKind kind,
                          std::vector<Taken<T>> taken) {
  if (taken.empty()) return;
  for (auto& [row, object] : taken) object->collection_ = this;
  if (taken.size() == 1) {
    const int row = std::clamp(taken.front().row, 0, static_cast<int>(list.size()));
    const bool quiet = inBulkUpdate(kind);
    if (!quiet)
      for (auto* o : observers_) o->rowsAboutToBeInserted(kind, row, row);
    list.insert(list.begin() + row, std::move(taken.front().object));
    renumber(kind, static_cast<std::size_t>(row));
    if (!quiet)
      for (auto* o : observers_) o->rowsInserted(kind, row, row);
  } else {
    BulkUpdate bulk(*this, kind);
    std::vector<std::unique_ptr<T>> merged;
    merged.reserve(list.size() + taken.size());
    std::size_t next = 0;
    for (auto& [row, object] : taken) {
      while (merged.size() < static_cast<std::size_t>(row) && next < list.size())
        merged.push_back(std::move(list[next++]));
      merged.push_back(std::move(object));
    }
    while (next < list.size()) merged.push_back(std::move(list[next++]));
    list = std::move(merged);
    renumber(kind, 0);
  }
  setModified(true);
}

void Collection::restoreArticles(std::vector<Taken<Article>> taken) {
  for (const auto& [row, article] : taken)
    if (article->isLoaded()) ++loadedArticles_;
  insertAt(articles_, ListKind::Articles, std::move(taken));
}

void Collection::restoreRequest(Taken<Request> taken) {
  if (taken.object == nullptr) return;
  std::vector<Taken<Request>> one;
  one.push_back(std::move(taken));
  insertAt(requests_, ListKind::Requests, std::move(one));
}

template <typename T>
void Collection::clearList(std::vector<std::unique_ptr<T>>& list, ListKind kind) {
  BulkUpdate bulk(*this, kind);
  clearing_ = true;
  for (auto& object : list) {
    object->transfer.reset();
    object->collection_ = nullptr;
  }
  list.clear();
  clearing_ = false;
}

void Collection::clearRequests() {
  clearList(requests_, ListKind::Requests);
}

void Collection::clearArticles() {
  clearList(articles_, ListKind::Articles);
  known_.clear();
  loadedArticles_ = 0;
}

void Collection::setArticleText(Article& article, std::string text) {
  const bool wasLoaded = article.isLoaded();
  article.text = std::move(text);
  if (article.collection_ == this && wasLoaded != article.isLoaded())
    loadedArticles_ += wasLoaded ? -1 : 1;
}

void Collection::transferStarted(ListKind kind) {
  ++(kind == ListKind::Requests ? requestTransfers_ : articleTransfers_);
}

void Collection::transferEnded(ListKind kind) {
  --(kind == ListKind::Requests ? requestTransfers_ : articleTransfers_);
}

void Collection::sortArticles(const std::function<bool(const Article&, const Article&)>& less) {
  BulkUpdate bulk(*this, ListKind::Articles);
  std::stable_sort(articles_.begin(), articles_.end(),
                   [&](const std::unique_ptr<Article>& a, const std::unique_ptr<Article>& b) {
                     return less(*a, *b);
                   });
  renumber(ListKind::Articles, 0);
}

void Collection::reserveArticles(std::size_t count) {
  articles_.reserve(count);
  known_.reserve(count);
}

Request* Collection::findRequest(const Article& article) const {
  if (article.requestId.empty()) return nullptr;
  for (const auto& request : requests_)
    if (request->name == article.requestId) return request.get();
  return nullptr;
}

void Collection::setModified(bool modified) {
  if (modified == modified_) return;
  modified_ = modified;
  for (auto* o : observers_) o->modifiedChanged(modified_);
}

void Collection::beginBulkUpdate(ListKind kind) {
  if (bulkDepth_[index(kind)]++ == 0)
    for (auto* o : observers_) o->listAboutToBeReset(kind);
}

void Collection::endBulkUpdate(ListKind kind) {
  if (--bulkDepth_[index(kind)] == 0)
    for (auto* o : observers_) o->listReset(kind);
}

void Collection::notifyRowChanged(const ArticleBase& object) {
  if (inBulkUpdate(object.listKind())) return;
  for (auto* o : observers_) o->rowChanged(object);
}

void Collection::notifyStatusChanged(const ArticleBase& object) {
  if (inBulkUpdate(object.listKind())) return;
  for (auto* o : observers_) o->rowChanged(object);
  for (auto* o : observers_) o->statusChanged(object);
}

}  // namespace varnook
