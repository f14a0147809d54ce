#include "collection/collection.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace varnook {
namespace {

using Events = std::vector<std::string>;

// Records what the collection tells its views.
struct Recorder : CollectionObserver {
  Events events;
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

// A collection with one request and a recorder that has heard nothing yet.
struct OneRequest {
  Collection collection{Collection::NameClock{[] { return 1000.0; }, [](double) {}}};
  Request& request = collection.appendRequest(std::make_unique<Request>("Q#1"));
  Recorder recorder;
  OneRequest() { collection.addObserver(&recorder); }
  ~OneRequest() { collection.removeObserver(&recorder); }
  const Article& row(std::size_t i) const { return *collection.articles()[i]; }
  // The article numbers in row order; each row knows its place.
  std::vector<std::uint32_t> numbers() const {
    std::vector<std::uint32_t> in;
    for (std::size_t i = 0; i < collection.articles().size(); ++i) {
      EXPECT_EQ(row(i).row(), static_cast<int>(i));
      in.push_back(row(i).number);
    }
    return in;
  }
};

TEST(RequestNames, SixDecimalDayCountsThatNeverRepeatOrWaitForABackwardClock) {
  DayDate now = 10000.5;
  std::vector<double> waits;  // the clock only moves when the collection waits
  Collection collection({[&] { return now; },
                         [&](double seconds) {
                           waits.push_back(seconds);
                           now += seconds / 86400.0;
                         }});
  now = *encodeDate(1999, 3, 25) + 100.25;  // more than 86.4 ms after start-up: no wait
  auto first = collection.newRequest();
  EXPECT_EQ(first->name, "Q#100.250000");
  EXPECT_TRUE(waits.empty());
  // Immediately afterwards the creation waits until one name step has passed.
  EXPECT_EQ(collection.newRequest()->name, "Q#100.250001");
  ASSERT_EQ(waits.size(), 1u);
  EXPECT_NEAR(waits[0], 0.0864, 1e-6);
  now -= 1.0 / 24;  // daylight saving time ended: no wait, and still a new name
  EXPECT_EQ(collection.newRequest()->name, "Q#100.250002");
  EXPECT_EQ(waits.size(), 1u);
}

TEST(AddArticle, CountsEntriesAddsOnlyUnknownNumbersAndNeverADeletedOne) {
  OneRequest one;
  Request& request = one.request;
  one.collection.setModified(false);
  const auto counts = [&] { return std::tuple(request.articles, request.unique); };

  EXPECT_EQ(request.addArticle(0, "zero"), nullptr);
  EXPECT_EQ(counts(), std::tuple(0, 0));
  EXPECT_FALSE(one.collection.modified());

  Article* added = request.addArticle(42, "Hello");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(std::tuple(added->name, added->row(), added->checked()), std::tuple("A#42", 0, true));
  EXPECT_TRUE(one.collection.modified());
  EXPECT_EQ(counts(), std::tuple(1, 1));
  EXPECT_EQ(request.addArticle(42, "Hello again"), nullptr);
  EXPECT_EQ(counts(), std::tuple(2, 1));

  one.collection.markNewArticles = false;
  Article* unmarked = request.addArticle(43, "x");
  EXPECT_FALSE(unmarked->checked());
  one.collection.setArticleText(*unmarked, "body");
  EXPECT_EQ(one.collection.loadedArticles(), 1);
  one.collection.removeArticle(*unmarked);
  EXPECT_EQ(one.collection.loadedArticles(), 0);
  EXPECT_EQ(one.collection.articles().size(), 1u);
  EXPECT_TRUE(one.collection.knownArticles().contains(43));
  EXPECT_EQ(request.addArticle(43, "x"), nullptr);
  EXPECT_EQ(one.collection.articles().size(), 1u);
}

TEST(ColumnTexts, NamesSummariesDatesAndStatusParts) {
  OneRequest one;
  Request& request = one.request;
  request.keywords = "modem";
  request.author = "john smith";
  request.forum = "comp.dcom.modems";
  EXPECT_EQ(request.displayName(), "modem ~a (john smith) ~g comp.dcom.modems");
  EXPECT_EQ(request.columnText(0), request.displayName());
  request.name = "Modems";
  EXPECT_EQ(request.displayName(), "Modems");
  request.name = "q#lower";  // only "Q#" exactly counts
  EXPECT_EQ(request.displayName(), "q#lower");
  // Quoted or single-word values are not parenthesised.
  QueryFields q;
  EXPECT_EQ(querySummaryText(q), "");
  q.keywords = "k";
  q.author = "\"john smith\"";
  q.subject = "one";
  q.forum = "a b";
  EXPECT_EQ(querySummaryText(q), "k ~a \"john smith\" ~s one ~g (a b)");
  q.thread = 77;  // the other fields are not searched then
  EXPECT_EQ(querySummaryText(q), "Thread of article 77");

  Article article(5, "Subject text");
  article.author = "a@b";
  EXPECT_EQ(std::tuple(article.displayName(), article.columnText(1), article.columnText(2)),
            std::tuple("Subject text", "a@b", ""));  // no date: an empty column
  article.date = *encodeDate(1999, 3, 5) + 0.5;
  EXPECT_EQ(article.columnText(2), "1999/03/05");
  EXPECT_EQ(Article(0, "").name, "?A");

  // A status is a short and a long part; setting the same text again tells nobody.
  request.setStatus("Waiting...|Waiting for reply...");
  request.setStatus("Waiting...|Waiting for reply...");
  EXPECT_EQ(std::tuple(request.shortStatus(), request.longStatus(), request.columnText(5)),
            std::tuple("Waiting...", "Waiting for reply...", "Waiting..."));
  EXPECT_EQ(one.recorder.events.size(), 1u);
  request.setStatus("Loaded");
  EXPECT_EQ(std::tuple(request.shortStatus(), request.longStatus()),
            std::tuple("Loaded", "Loaded"));
  request.setStatus("Errors!|");
  EXPECT_EQ(request.longStatus(), "");
}

TEST(SameQuery, FromDateIsRoundedToDaysEverythingElseIsExact) {
  const struct {
    const char* what;
    void (*change)(QueryFields&);
    bool same;
  } cases[] = {
      {"from date in the same day", [](QueryFields& q) { q.fromDate = 36000.4; }, true},
      {"from date a day later", [](QueryFields& q) { q.fromDate = 36000.6; }, false},
      {"to date in the same day", [](QueryFields& q) { q.toDate = 36010.4; }, false},
      {"subject", [](QueryFields& q) { q.subject = "X"; }, false},
      {"match all", [](QueryFields& q) { q.matchAll = !q.matchAll; }, false},
      {"thread", [](QueryFields& q) { q.thread = 1; }, false},
  };
  QueryFields a;
  a.fromDate = 36000.2;
  a.toDate = 36010.2;
  for (const auto& c : cases) {
    QueryFields b = a;
    c.change(b);
    EXPECT_EQ(a.sameQuery(b), c.same) << c.what;
  }
}

TEST(AssignQuery, CopiesUrlAndQueryButNotIdentityOrCounters) {
  Request source("Q#1"), target("Mine");
  source.url = "http://x/";
  source.keywords = "k";
  source.archive = 3;
  source.articles = 9;
  target.assignQuery(source);
  EXPECT_EQ(std::tuple(target.url, target.keywords, target.archive, target.name, target.articles),
            std::tuple("http://x/", "k", 3, "Mine", 0));
}

TEST(Rows, RemovalAndSortingRenumberAndNotifyAroundTheChange) {
  OneRequest one;
  Collection& collection = one.collection;
  for (std::uint32_t n : {6u, 2u, 5u, 3u}) one.request.addArticle(n, "s");
  one.recorder.events.clear();
  collection.removeArticle(*collection.articles()[1]);
  EXPECT_EQ(one.recorder.events, (Events{"aboutRemove A 1-1", "removed A 1-1"}));
  EXPECT_EQ(one.numbers(), (std::vector<std::uint32_t>{6, 5, 3}));

  collection.sortArticles([](const Article& a, const Article& b) { return a.number < b.number; });
  EXPECT_EQ(one.numbers(), (std::vector<std::uint32_t>{3, 5, 6}));
  one.request.addArticle(4, "s");  // later rows are appended, not sorted in
  EXPECT_EQ(one.numbers(), (std::vector<std::uint32_t>{3, 5, 6, 4}));

  one.recorder.events.clear();
  EXPECT_EQ(collection.removeArticlesIf([](const Article& a) { return a.number != 5; }), 3u);
  EXPECT_EQ(one.recorder.events, (Events{"aboutReset A -1--1", "reset A -1--1"}));
  EXPECT_EQ(one.numbers(), std::vector<std::uint32_t>{5});
}

struct CountingHandle : TransferHandle {
  int* alive;
  explicit CountingHandle(int* a) : alive(a) { ++*alive; }
  ~CountingHandle() override { --*alive; }
};

TEST(Rows, TakenObjectsGoBackWhereTheyWereWithTheirTexts) {
  OneRequest one;
  Collection& collection = one.collection;
  for (std::uint32_t n = 1; n <= 5; ++n) one.request.addArticle(n, "s");
  collection.setArticleText(*collection.articles()[1], "two");
  collection.setArticleText(*collection.articles()[3], "four");
  auto taken = collection.takeArticlesIf([](const Article& a) { return a.number % 2 == 0; });
  EXPECT_EQ(one.numbers(), (std::vector<std::uint32_t>{1, 3, 5}));
  EXPECT_EQ(collection.loadedArticles(), 0);
  EXPECT_TRUE(collection.isKnownArticle(2));  // a taken number stays known
  one.recorder.events.clear();
  collection.setModified(false);
  collection.restoreArticles(std::move(taken));
  EXPECT_EQ(one.numbers(), (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(one.row(3).text, "four");
  EXPECT_EQ(collection.loadedArticles(), 2);
  EXPECT_TRUE(collection.modified());
  EXPECT_EQ(one.recorder.events, (Events{"aboutReset A -1--1", "reset A -1--1"}));

  // One object is one row insert; a row past the end goes to the end.
  auto last = collection.takeArticlesIf([](const Article& a) { return a.number == 5; });
  collection.removeArticle(*collection.articles()[0]);
  one.recorder.events.clear();
  collection.restoreArticles(std::move(last));
  EXPECT_EQ(one.numbers(), (std::vector<std::uint32_t>{2, 3, 4, 5}));
  EXPECT_EQ(one.recorder.events, (Events{"aboutInsert A 3-3", "inserted A 3-3"}));
  collection.appendRequest(std::make_unique<Request>("Q#2"));
  int running = 0;
  one.request.transfer = std::make_unique<CountingHandle>(&running);
  auto request = collection.takeRequest(one.request);
  EXPECT_EQ(std::tuple(request.row, running, request.object->status()),
            std::tuple(0, 0, "Cancelled"));
  collection.restoreRequest(std::move(request));
  EXPECT_EQ(collection.requests()[0]->name, "Q#1");
  EXPECT_EQ(collection.requests()[1]->row(), 1);
}

TEST(Rows, ClearingEndsTransfersAndForgetsKnownNumbers) {
  OneRequest one;
  Collection& collection = one.collection;
  int running = 0;
  one.request.transfer = std::make_unique<CountingHandle>(&running);
  one.request.addArticle(11, "s")->transfer = std::make_unique<CountingHandle>(&running);
  collection.setArticleText(*collection.articles().front(), "body");
  EXPECT_EQ(running, 2);

  collection.clearArticles();
  EXPECT_EQ(running, 1);
  EXPECT_TRUE(collection.articles().empty());
  EXPECT_TRUE(collection.knownArticles().empty());
  EXPECT_EQ(collection.loadedArticles(), 0);
  collection.clearRequests();
  EXPECT_EQ(running, 0);
  EXPECT_TRUE(collection.isEmpty());
}

TEST(DayDates, CalendarConversionsRoundTrip) {
  EXPECT_EQ(*encodeDate(1899, 12, 30), 0);
  EXPECT_EQ(*encodeDate(1999, 3, 25), 36244);
  EXPECT_TRUE(encodeDate(2000, 2, 29));
  EXPECT_FALSE(encodeDate(1999, 2, 29) || encodeDate(2023, 13, 1));
  for (int day = 1; day < 2900000; day += 997) {
    const CivilDate c = decodeDate(day);
    EXPECT_EQ(*encodeDate(c.year, c.month, c.day), day);
  }
  const TimeOfDay t = decodeTime(36244 + *encodeTime(12, 34, 56));
  EXPECT_EQ(std::tuple(t.hour, t.minute, t.second), std::tuple(12, 34, 56));
  EXPECT_EQ(formatShortDate(*encodeDate(2024, 1, 9)), "2024/01/09");
  EXPECT_EQ(*parseShortDate("1999/3/5"), *encodeDate(1999, 3, 5));
  EXPECT_FALSE(parseShortDate("1999/02/30") || parseShortDate("1999/03/05x"));
  EXPECT_FALSE(parseTimeOfDay("24:00"));
  EXPECT_DOUBLE_EQ(*parseTimeOfDay("08:00"), 8.0 / 24);
}

}  // namespace
}  // namespace varnook
