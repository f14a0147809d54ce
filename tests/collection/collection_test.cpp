#include "collection/collection.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace varnook {
namespace {

// Records what the collection tells its views.
struct Recorder : CollectionObserver {
  std::vector<std::string> events;
  void rowsAboutToBeInserted(ListKind k, int f, int l) override { add("aboutInsert", k, f, l); }
  void rowsInserted(ListKind k, int f, int l) override { add("inserted", k, f, l); }
  void rowsAboutToBeRemoved(ListKind k, int f, int l) override { add("aboutRemove", k, f, l); }
  void rowsRemoved(ListKind k, int f, int l) override { add("removed", k, f, l); }
  void listAboutToBeReset(ListKind k) override { add("aboutReset", k, -1, -1); }
  void listReset(ListKind k) override { add("reset", k, -1, -1); }
  void statusChanged(const ArticleBase& o) override { events.push_back("status " + o.name); }
  void add(const char* what, ListKind k, int f, int l) {
    events.push_back(std::string(what) + (k == ListKind::Requests ? " R " : " A ") +
                     std::to_string(f) + "-" + std::to_string(l));
  }
};

// A clock that only moves when the collection waits.
struct FakeClock {
  DayDate now = 10000.5;
  std::vector<double> waits;
  Collection::NameClock clock() {
    return {[this] { return now; },
            [this](double seconds) {
              waits.push_back(seconds);
              now += seconds / 86400.0;
            }};
  }
};

TEST(RequestNames, FreshNamesAreSixDecimalDayCountsAndNeverRepeat) {
  FakeClock clock;
  Collection collection(clock.clock());
  const DayDate base = *encodeDate(1999, 3, 25);
  clock.now = base + 100.25;  // more than 86.4 ms after start-up: no wait
  auto first = collection.newRequest();
  EXPECT_EQ(first->name, "Q#100.250000");
  EXPECT_TRUE(clock.waits.empty());

  // Immediately afterwards the creation waits until one name step has passed.
  auto second = collection.newRequest();
  ASSERT_EQ(clock.waits.size(), 1u);
  EXPECT_NEAR(clock.waits[0], 0.0864, 1e-6);
  EXPECT_EQ(second->name, "Q#100.250001");
  // The other creation defaults.
  EXPECT_EQ(
      std::tuple(first->matchAll, first->pages, first->articles, first->state(), first->row()),
      std::tuple(true, 1, 0, 0, -1));
}

TEST(RequestNames, ClockGoingBackwardsStillGivesANewName) {
  FakeClock clock;
  clock.now = *encodeDate(2026, 10, 25) + 0.1;
  Collection collection(clock.clock());
  clock.now += 1.0;
  auto first = collection.newRequest();
  clock.now -= 1.0 / 24;  // daylight saving time ended
  auto second = collection.newRequest();
  EXPECT_TRUE(clock.waits.empty());
  EXPECT_GT(second->name, first->name);
}

TEST(AddArticle, CountsEntriesAndAddsOnlyUnknownNumbers) {
  Collection collection;
  Request& request = collection.appendRequest(collection.newRequest());
  collection.setModified(false);

  EXPECT_EQ(request.addArticle(0, "zero"), nullptr);
  EXPECT_EQ(request.articles, 0);
  EXPECT_EQ(request.unique, 0);
  EXPECT_FALSE(collection.modified());

  Article* added = request.addArticle(42, "Hello");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->name, "A#42");
  EXPECT_EQ(added->row(), 0);
  EXPECT_TRUE(added->checked());  // "Mark new articles" is on by default
  EXPECT_TRUE(collection.modified());
  EXPECT_EQ(request.articles, 1);
  EXPECT_EQ(request.unique, 1);

  EXPECT_EQ(request.addArticle(42, "Hello again"), nullptr);
  EXPECT_EQ(request.articles, 2);
  EXPECT_EQ(request.unique, 1);

  collection.markNewArticles = false;
  Article* unmarked = request.addArticle(43, "x");
  EXPECT_FALSE(unmarked->checked());

  // A deleted article is not added again.
  unmarked->text = "body";
  collection.loadedArticles = 1;
  collection.removeArticle(*unmarked);
  EXPECT_EQ(collection.loadedArticles, 0);
  EXPECT_EQ(collection.articles().size(), 1u);
  EXPECT_TRUE(collection.knownArticles().contains(43));
  EXPECT_EQ(request.addArticle(43, "x"), nullptr);
  EXPECT_EQ(collection.articles().size(), 1u);
}

TEST(DisplayName, AutomaticNamesShowTheQuerySummary) {
  Collection collection;
  Request& request = collection.appendRequest(collection.newRequest());
  request.keywords = "modem";
  request.author = "john smith";
  request.forum = "comp.dcom.modems";
  EXPECT_EQ(request.displayName(), "modem ~a (john smith) ~g comp.dcom.modems");
  EXPECT_EQ(request.columnText(0), request.displayName());
  request.name = "Modems";
  EXPECT_EQ(request.displayName(), "Modems");
  request.name = "q#lower";  // only "Q#" exactly counts
  EXPECT_EQ(request.displayName(), "q#lower");

  Article article(5, "Subject text");
  EXPECT_EQ(article.displayName(), "Subject text");
  EXPECT_EQ(Article(0, "").name, "?A");

  // Quoted or single-word values are not parenthesised.
  QueryFields q;
  EXPECT_EQ(querySummaryText(q), "");
  q.keywords = "k";
  q.author = "\"john smith\"";
  q.subject = "one";
  q.forum = "a b";
  EXPECT_EQ(querySummaryText(q), "k ~a \"john smith\" ~s one ~g (a b)");
}

TEST(Columns, ArticleDateColumnIsEmptyWithoutDate) {
  Article article(1, "s");
  article.author = "a@b";
  EXPECT_EQ(article.columnText(2), "");
  article.date = *encodeDate(1999, 3, 5) + 0.5;
  EXPECT_EQ(article.columnText(2), "1999/03/05");
  EXPECT_EQ(article.columnText(1), "a@b");
}

TEST(Status, ShortAndLongPartsAndUnchangedTextsAreIgnored) {
  Collection collection;
  Recorder recorder;
  collection.addObserver(&recorder);
  Request& request = collection.appendRequest(collection.newRequest());
  recorder.events.clear();

  request.setStatus("Waiting...|Waiting for reply...");
  EXPECT_EQ(request.shortStatus(), "Waiting...");
  EXPECT_EQ(request.longStatus(), "Waiting for reply...");
  EXPECT_EQ(request.columnText(5), "Waiting...");
  request.setStatus("Waiting...|Waiting for reply...");
  EXPECT_EQ(recorder.events.size(), 1u);

  request.setStatus("Loaded");
  EXPECT_EQ(request.shortStatus(), "Loaded");
  EXPECT_EQ(request.longStatus(), "Loaded");
  request.setStatus("Errors!|");
  EXPECT_EQ(request.longStatus(), "");
  collection.removeObserver(&recorder);
}

TEST(SameQuery, FromDateIsRoundedButToDateIsExact) {
  QueryFields a, b;
  a.fromDate = 36000.2;
  b.fromDate = 36000.4;
  EXPECT_TRUE(a.sameQuery(b));
  b.fromDate = 36000.6;
  EXPECT_FALSE(a.sameQuery(b));
  b = a;
  a.toDate = 36010.2;
  b.toDate = 36010.4;
  EXPECT_FALSE(a.sameQuery(b));
  b = a;
  b.subject = "X";
  EXPECT_FALSE(a.sameQuery(b));
  b = a;
  b.matchAll = !a.matchAll;
  EXPECT_FALSE(a.sameQuery(b));
}

TEST(AssignQuery, CopiesUrlAndQueryButNotIdentityOrCounters) {
  Request source("Q#1"), target("Mine");
  source.url = "http://x/";
  source.keywords = "k";
  source.archive = 3;
  source.articles = 9;
  target.assignQuery(source);
  EXPECT_EQ(target.url, "http://x/");
  EXPECT_EQ(target.keywords, "k");
  EXPECT_EQ(target.archive, 3);
  EXPECT_EQ(target.name, "Mine");
  EXPECT_EQ(target.articles, 0);
}

TEST(Rows, RemovalRenumbersAndNotifiesAroundTheChange) {
  Collection collection;
  Recorder recorder;
  Request& request = collection.appendRequest(collection.newRequest());
  for (std::uint32_t n = 1; n <= 4; ++n) request.addArticle(n, "s" + std::to_string(n));
  collection.addObserver(&recorder);
  collection.removeArticle(*collection.articles()[1]);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"aboutRemove A 1-1", "removed A 1-1"}));
  for (std::size_t i = 0; i < collection.articles().size(); ++i)
    EXPECT_EQ(collection.articles()[i]->row(), static_cast<int>(i));
  EXPECT_EQ(collection.articles()[1]->number, 3u);

  recorder.events.clear();
  const std::size_t removed =
      collection.removeArticlesIf([](const Article& a) { return a.number != 3; });
  EXPECT_EQ(removed, 2u);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"aboutReset A -1--1", "reset A -1--1"}));
  ASSERT_EQ(collection.articles().size(), 1u);
  EXPECT_EQ(collection.articles()[0]->row(), 0);
  collection.removeObserver(&recorder);
}

TEST(Rows, SortingReordersTheListAndKeepsRowIndexes) {
  Collection collection;
  Request& request = collection.appendRequest(collection.newRequest());
  for (std::uint32_t n : {5u, 3u, 9u, 1u}) request.addArticle(n, "s");
  collection.sortArticles([](const Article& a, const Article& b) { return a.number < b.number; });
  std::vector<std::uint32_t> order;
  for (const auto& a : collection.articles()) {
    order.push_back(a->number);
    EXPECT_EQ(collection.articles()[static_cast<std::size_t>(a->row())].get(), a.get());
  }
  EXPECT_EQ(order, (std::vector<std::uint32_t>{1, 3, 5, 9}));
  // Later rows are appended, not sorted in.
  request.addArticle(2, "s");
  EXPECT_EQ(collection.articles().back()->number, 2u);
}

struct CountingHandle : TransferHandle {
  int* alive;
  explicit CountingHandle(int* a) : alive(a) { ++*alive; }
  ~CountingHandle() override { --*alive; }
};

TEST(Rows, ClearingEndsTransfersAndForgetsKnownNumbers) {
  Collection collection;
  int running = 0;
  Request& request = collection.appendRequest(collection.newRequest());
  request.transfer = std::make_unique<CountingHandle>(&running);
  Article* article = request.addArticle(11, "s");
  article->transfer = std::make_unique<CountingHandle>(&running);
  collection.loadedArticles = 1;
  collection.articleTransfers = 1;
  collection.requestTransfers = 1;
  EXPECT_EQ(running, 2);

  collection.clearArticles();
  EXPECT_EQ(running, 1);
  EXPECT_TRUE(collection.articles().empty());
  EXPECT_TRUE(collection.knownArticles().empty());
  EXPECT_EQ(collection.loadedArticles, 0);
  EXPECT_EQ(collection.articleTransfers, 0);
  collection.clearRequests();
  EXPECT_EQ(running, 0);
  EXPECT_EQ(collection.requestTransfers, 0);
  EXPECT_TRUE(collection.isEmpty());
}

TEST(FindRequest, FirstRequestWithTheExactNameOrNone) {
  Collection collection;
  Request& a = collection.appendRequest(std::make_unique<Request>("N"));
  collection.appendRequest(std::make_unique<Request>("N"));
  Article article(1, "s");
  EXPECT_EQ(collection.findRequest(article), nullptr);
  article.requestId = "N";
  EXPECT_EQ(collection.findRequest(article), &a);
  article.requestId = "n";
  EXPECT_EQ(collection.findRequest(article), nullptr);
  // A deleted request leaves its articles pointing nowhere.
  article.requestId = "N";
  collection.removeRequest(a);
  EXPECT_EQ(collection.findRequest(article), collection.requests()[0].get());
}

TEST(KnownArticles, KeepsInsertionOrderWithoutDuplicates) {
  KnownArticles known;
  EXPECT_TRUE(known.checkAndRecord(0));
  EXPECT_FALSE(known.checkAndRecord(5));
  EXPECT_FALSE(known.checkAndRecord(2));
  EXPECT_TRUE(known.checkAndRecord(5));
  EXPECT_EQ(known.inOrder(), (std::vector<std::uint32_t>{5, 2}));
  EXPECT_TRUE(known.contains(0));
  EXPECT_FALSE(known.contains(3));
}

TEST(DayDates, CalendarConversionsRoundTrip) {
  EXPECT_EQ(*encodeDate(1899, 12, 30), 0);
  EXPECT_EQ(*encodeDate(1999, 3, 25), 36244);
  EXPECT_FALSE(encodeDate(1999, 2, 29));
  EXPECT_TRUE(encodeDate(2000, 2, 29));
  EXPECT_FALSE(encodeDate(2023, 13, 1));
  for (int day = 1; day < 2900000; day += 997) {
    const CivilDate c = decodeDate(day);
    EXPECT_EQ(*encodeDate(c.year, c.month, c.day), day);
  }
  const TimeOfDay t = decodeTime(36244 + *encodeTime(12, 34, 56));
  EXPECT_EQ(t.hour, 12);
  EXPECT_EQ(t.minute, 34);
  EXPECT_EQ(t.second, 56);
  EXPECT_EQ(formatShortDate(*encodeDate(2024, 1, 9)), "2024/01/09");
  EXPECT_EQ(*parseShortDate("1999/3/5"), *encodeDate(1999, 3, 5));
  EXPECT_FALSE(parseShortDate("1999/02/30"));
  EXPECT_FALSE(parseShortDate("1999/03/05x"));
  EXPECT_FALSE(parseTimeOfDay("24:00"));
  EXPECT_DOUBLE_EQ(*parseTimeOfDay("08:00"), 8.0 / 24);
}

}  // namespace
}  // namespace varnook
