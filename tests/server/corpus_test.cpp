// Tests over the whole test corpus, indexed once by the ServerCorpus fixture. Expected
// results are computed here from the spool files directly, without the server's code.

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <xapian.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "archive/encoding.h"
#include "server/democorpus.h"
#include "server/headerdate.h"
#include "server/indexschema.h"
#include "server/textutil.h"
#include "serversupport.h"
#include "support/fixtures.h"

namespace varnook::server {
namespace {

struct CorpusArticle {
  std::string subject, date;
  std::set<std::string> groups;    // from the Newsgroups header, lower case
  int copies = 0;                  // spool files holding it
  std::vector<std::string> links;  // "<...>" of References and In-Reply-To
  std::string text;                // of its first file
};

const std::string kSpool = VARNOOK_CORPUS_SPOOL;
const std::string kIndex = VARNOOK_CORPUS_INDEX;

// Reads the header block of every spool file, keyed by Message-ID.
std::map<std::string, CorpusArticle> readCorpus() {
  std::map<std::string, CorpusArticle> corpus;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kSpool)) {
    if (!entry.is_regular_file()) continue;
    const std::string text = testing::readFile(entry.path());
    // The header block, each folded header on one line.
    static const std::regex fold("\r?\n[ \t]+"), link("<[^<>\\x00-\\x20]+>");
    const std::size_t headEnd = std::min(text.find("\n\n"), text.find("\n\r\n"));
    std::istringstream head(std::regex_replace(text.substr(0, headEnd), fold, " "));
    std::map<std::string, std::string> headers;
    for (std::string line; std::getline(head, line);) {
      if (line.ends_with('\r')) line.pop_back();
      const auto colon = line.find(':');
      if (colon != std::string::npos)
        headers.try_emplace(asciiLowered(line.substr(0, colon)),
                            trimBlanks(line.substr(colon + 1)));
    }
    std::string id = headers["message-id"];
    if (id.find('<') != std::string::npos)
      id = id.substr(id.find('<'), id.find('>') - id.find('<') + 1);
    CorpusArticle& article = corpus[id];
    article.subject = headers["subject"];
    article.date = headers["date"];
    std::string groups = asciiLowered(headers["newsgroups"]);
    std::replace(groups.begin(), groups.end(), ',', ' ');
    std::istringstream names(groups);
    for (std::string name; names >> name;) article.groups.insert(name);
    if (article.copies++ == 0) article.text = text;
    for (const char* name : {"references", "in-reply-to"})
      for (std::sregex_iterator it(headers[name].begin(), headers[name].end(), link), end;
           it != end; ++it)
        article.links.push_back(it->str());
  }
  return corpus;
}

// The corpus read from its files, and a server over its index.
const std::map<std::string, CorpusArticle>& corpus() {
  static const std::map<std::string, CorpusArticle> corpus = readCorpus();
  return corpus;
}
const testing::LocalServer& server() {
  static const testing::LocalServer server(kIndex);
  return server;
}

// The Message-IDs of the hits of all pages of a search, in result order.
std::vector<std::string> found(const std::string& parameters) {
  std::vector<std::string> ids;
  for (const auto& page : server().allPages("/dnquery.xp?" + parameters))
    for (std::uint32_t number : page.numbers)
      ids.push_back(testing::messageIdOf(server().index(), number));
  return ids;
}

// The word sequences of an article as a reader splits them: the subject, and each run of
// new or quoted lines of the body (a phrase never spans two runs). Words are runs of
// letters, digits, "_", bytes of 128 and above, and apostrophes inside them, lower-cased.
std::vector<std::vector<std::string>> wordRuns(const std::string& text) {
  std::vector<std::vector<std::string>> runs(1);
  const auto inWord = [](const std::string& line, std::size_t i) {
    const auto c = static_cast<unsigned char>(line[i]);
    return std::isalnum(c) || c == '_' || c >= 0x80;
  };
  std::istringstream in(text);
  bool body = false, signature = false, quoted = false;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string>* run = &runs.back();
    if (!body) {
      body = line.empty();
      if (asciiLowered(line).rfind("subject:", 0) != 0) continue;
      run = &runs.front();
    } else {
      signature = signature || line == "-- ";
      const std::size_t first = line.find_first_not_of(" \t");
      const bool isQuoted = signature || (first != std::string::npos && line[first] == '>');
      if (isQuoted != quoted || runs.size() == 1) runs.emplace_back();
      quoted = isQuoted;
      run = &runs.back();
    }
    std::string word;
    for (std::size_t i = 0; i <= line.size(); ++i) {
      if (i < line.size() && (inWord(line, i) || (line[i] == '\'' && !word.empty() &&
                                                  i + 1 < line.size() && inWord(line, i + 1)))) {
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(line[i])));
      } else if (!word.empty()) {
        run->push_back(std::exchange(word, {}));
      }
    }
  }
  return runs;
}

// Words of subjects, searched with "subjects=": the articles found are exactly those
// whose Subject holds the word (or a word with the same English stem).
TEST(CorpusTest, SubjectSearchFindsExactlyTheArticlesWithTheWord) {
  const auto words = [](const CorpusArticle& article) {
    return wordRuns("Subject: " + article.subject + "\n\n").front();
  };
  std::map<std::string, int> frequency;
  for (const auto& [id, article] : corpus()) {
    std::set<std::string> seen;
    for (const std::string& word : words(article))
      if (word.size() >= 6 &&
          std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isalpha(c); }) &&
          seen.insert(word).second)
        ++frequency[word];
  }
  std::vector<std::string> chosen;
  for (const auto& [word, count] : frequency)
    if (count >= 15 && count <= 120 && chosen.size() < 4) chosen.push_back(word);
  ASSERT_FALSE(chosen.empty());

  const Xapian::Stem stem("english");
  for (const std::string& word : chosen) {
    std::set<std::string> expected;
    for (const auto& [id, article] : corpus())
      for (const std::string& w : words(article))
        if (stem(w) == stem(word)) expected.insert(id);
    const auto ids = found("QRY=&subjects=" + word + "&DBS=1&maxhits=50");
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()), expected) << word;
  }
}

TEST(CorpusTest, ArchivesAndGroupPatternsCountEveryArticle) {
  const auto inAny = [](const CorpusArticle& article, const std::vector<const char*>& patterns) {
    for (const std::string& group : article.groups)
      for (const char* pattern : patterns)
        if (fnmatch(pattern, group.c_str(), 0) == 0) return true;
    return false;
  };
  const std::vector<const char*> adult = {"alt.sex*", "*.erotica*", "*.adult*"};
  // Articles in any of the groups; for the standard archive, not adult ones.
  const auto count = [&](const std::vector<const char*>& patterns, bool withAdult = true) {
    std::size_t n = 0;
    for (const auto& [id, article] : corpus())
      n += inAny(article, patterns) && (withAdult || !inAny(article, adult));
    return n;
  };
  const struct {
    const char* parameters;
    std::size_t expected;
  } cases[] = {
      {"groups=comp.sys.*&DBS=1", count({"comp.sys.*"})},
      {"groups=*.graphics+rec.*&DBS=1", count({"*.graphics", "rec.*"})},
      {"DBS=5", count({"*.forsale*", "*.for-sale*", "*.marketplace*"})},
      {"DBS=4", count({"*.jobs*", "*.job*", "misc.jobs.*"})},
      {"DBS=3", count(adult)},
      // The standard archive (also by default) is everything but the adult one.
      {"groups=alt.*+comp.graphics", count({"alt.*", "comp.graphics"}, false)},
      {"groups=alt.*+comp.graphics&DBS=2", count({"alt.*", "comp.graphics"}, false)},
      {"groups=alt.*+comp.graphics&DBS=1", count({"alt.*", "comp.graphics"})},
  };
  EXPECT_GT(count({"*.forsale*"}), 0u);
  for (const auto& c : cases)
    EXPECT_EQ(server().search("QRY=&" + std::string(c.parameters)).expectedTotal, c.expected)
        << c.parameters;
}

// Every article is stored once, however many spool files hold it (cross-posts), and
// reads back with the agent's article reader, with the header values of its spool file,
// and a Date line the agent's date reader accepts.
TEST(CorpusTest, EveryArticleIsStoredOnceAndReadsBackWithTheAgentsParser) {
  Xapian::Database database(kIndex);
  EXPECT_EQ(database.get_doccount(), corpus().size());
  EXPECT_TRUE(std::any_of(corpus().begin(), corpus().end(),
                          [](const auto& article) { return article.second.copies > 1; }));
  int checkedDates = 0;
  for (std::uint32_t number = 1; number <= database.get_doccount(); ++number) {
    const std::optional<StoredArticle> stored = server().index().article(number);
    ASSERT_TRUE(stored) << number;
    const std::string text = stored->plainText();
    const testing::ParsedArticle parsed = testing::parseArticle(text);
    ASSERT_EQ(parsed.error, "") << number;
    const auto found = corpus().find(parsed.messageId);
    ASSERT_NE(found, corpus().end()) << parsed.messageId;
    EXPECT_EQ(database.get_termfreq(schema::messageIdTerm(parsed.messageId)), 1u) << number;
    EXPECT_EQ(text.substr(0, text.find("\n\n")).find('\r'), std::string::npos);
    // Plain "Www, d Mmm yyyy hh:mm:ss GMT" dates come back as they were, with two-digit days.
    std::string date = found->second.date;
    EXPECT_NE(parsed.date, 0.0) << number << " " << date;
    if (!date.empty()) {  // the Date header reads by itself, in a plausible year
      const auto header = parseHeaderDate(date);
      EXPECT_TRUE(header && *header > unixTimeFromCivil(1980, 1, 1, 0, 0, 0) &&
                  *header < unixTimeFromCivil(2030, 1, 1, 0, 0, 0))
          << number << " " << date;
    }
    if (date.size() >= 28 && date.ends_with(" GMT") && date[3] == ',') {
      if (date[6] == ' ') date.insert(5, "0");
      if (date.size() == 29) {
        EXPECT_NE(text.find("\nDate: " + date + "\n"), std::string::npos) << number;
        ++checkedDates;
      }
    }
    if (number % 50 == 0) {
      EXPECT_EQ(server().get("/getdoc.xp?AN=" + std::to_string(number) + "&fmt=text").body, text);
    }
  }
  EXPECT_GT(checkedDates, 100);
}

// Threads (the 40 largest and every tenth of the others) are each exactly a set of articles
// connected through their headers' Message-IDs (held or not), and list each reply after
// an article it answers.
TEST(CorpusTest, ThreadsAreTheArticlesConnectedByTheirHeaders) {
  std::map<std::string, std::string> parent;  // union-find over Message-IDs
  const auto find = [&](std::string id) {
    while (parent.try_emplace(id, id).first->second != id) id = parent[id];
    return id;
  };
  for (const auto& [id, article] : corpus())
    for (const std::string& link : article.links) parent[find(link)] = find(id);
  std::map<std::string, std::set<std::string>> threads;
  for (const auto& [id, article] : corpus()) threads[find(id)].insert(id);
  std::vector<std::pair<std::size_t, std::string>> largest;
  for (const auto& [root, members] : threads) largest.emplace_back(members.size(), root);
  std::sort(largest.rbegin(), largest.rend());
  int checked = 0;
  for (std::size_t rank = 0; rank < largest.size(); ++rank) {
    const std::set<std::string>& members = threads[largest[rank].second];
    if (members.size() < 2 || (rank >= 40 && rank % 10 != 0)) continue;
    ++checked;
    const auto first = server().index().articlesByMessageId({*members.begin()});
    ASSERT_EQ(first.size(), 1u) << *members.begin();
    const auto listed = found("thread=" + std::to_string(first[0].second) + "&DBS=1&maxhits=200");
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), members) << *members.begin();
    for (std::size_t i = 0; i < listed.size(); ++i) {
      const auto& links = corpus().at(listed[i]).links;
      const auto answers = [&](const std::string& id) {
        return members.count(id) && id != listed[i];
      };
      if (std::none_of(links.begin(), links.end(), answers)) continue;
      EXPECT_TRUE(std::any_of(listed.begin(), listed.begin() + static_cast<std::ptrdiff_t>(i),
                              [&](const std::string& earlier) {
                                return std::find(links.begin(), links.end(), earlier) !=
                                       links.end();
                              }))
          << listed[i] << " comes before every article it answers";
    }
  }
  EXPECT_GT(checked, 100);
}

// Phrases find exactly the articles that have the words in this order in their subject
// or body, as an independent scan of the spool files finds them.
TEST(CorpusTest, PhrasesFindExactlyTheArticlesWithTheWordsInOrder) {
  const std::vector<std::vector<std::string>> phrases = {
      {"space", "station"},    {"clipper", "chip"}, {"hard", "drive"},
      {"in", "my", "opinion"}, {"blind", "mode"},   {"second", "amendment"}};
  std::vector<std::set<std::string>> expected(phrases.size());
  for (const auto& [id, article] : corpus())
    for (const auto& run : wordRuns(article.text))
      for (std::size_t k = 0; k < phrases.size(); ++k)
        if (std::search(run.begin(), run.end(), phrases[k].begin(), phrases[k].end()) != run.end())
          expected[k].insert(id);
  for (std::size_t k = 0; k < phrases.size(); ++k) {
    std::string query;
    for (const std::string& word : phrases[k]) query += (query.empty() ? "" : "+") + word;
    const auto ids = found("QRY=%22" + query + "%22&DBS=1&maxhits=200");
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()), expected[k]) << query;
  }
}

// Counts are exact up to 10,000 matches (1,000 with a phrase, whose every candidate costs
// a position check); only beyond may the page say "about".
TEST(CorpusTest, CountsAreEstimatedOnlyAboveTheirLimit) {
  Xapian::Database database(kIndex);
  const auto query = [](Xapian::Query::op op, std::vector<std::string> terms) {
    return Xapian::Query(op, terms.begin(), terms.end(), op == Xapian::Query::OP_PHRASE ? 2 : 0);
  };
  const auto phrase = [&](const std::string& a, const std::string& b) {  // body or subject
    return Xapian::Query(Xapian::Query::OP_OR, query(Xapian::Query::OP_PHRASE, {a, b}),
                         query(Xapian::Query::OP_PHRASE, {"S" + a, "S" + b}));
  };
  const std::tuple<const char*, Xapian::Query, Xapian::doccount> cases[] = {
      // Quoted words are not stemmed: the terms alone count.
      {"%22the%22", Xapian::Query("the"), 10000},
      {"%22the%22+%22of%22", query(Xapian::Query::OP_AND, {"the", "of"}), 10000},
      {"%22the%22+%22engine%22", query(Xapian::Query::OP_AND, {"the", "engine"}), 10000},
      {"%22of+the%22", phrase("of", "the"), 1000},  // a rarer phrase: PhrasesFindExactly...
  };
  for (const auto& [words, terms, limit] : cases) {
    Xapian::Enquire enquire(database);
    enquire.set_query(terms);
    const auto exact = enquire.get_mset(0, 0, database.get_doccount()).get_matches_estimated();
    const std::string page = server().get("/dnquery.xp?QRY=" + std::string(words) + "&DBS=1").body;
    const auto shown = static_cast<Xapian::doccount>(testing::parsePage(page).expectedTotal);
    if (exact <= limit) {
      EXPECT_EQ(page.find(" of about "), std::string::npos) << words;
      EXPECT_EQ(shown, exact) << words;
    } else {
      EXPECT_GT(shown, limit) << words;
    }
  }
}

// Date ranges are answered from day, month and year terms: they must hold exactly the
// articles whose date value is in the range, across month and year ends and open ends.
TEST(CorpusTest, DateRangesHoldExactlyTheArticlesOfTheirDays) {
  Xapian::Database database(kIndex);
  ASSERT_EQ(database.get_metadata(schema::kDateTermsKey), "1");
  const std::int64_t first =
      schema::dayOf(schema::dateOfValue(database.get_value_lower_bound(schema::kDateSlot)));
  const std::int64_t last =
      schema::dayOf(schema::dateOfValue(database.get_value_upper_bound(schema::kDateSlot)));
  const auto field = [](const std::string& name, std::optional<std::int64_t> day) {
    const std::string t = day ? schema::dateTermsOf(*day).front() : "";  // XDyyyymmdd
    return day ? "&" + name + "=" + t.substr(2, 4) + "/" + t.substr(6, 2) + "/" + t.substr(8) : "";
  };
  std::vector<std::pair<std::optional<std::int64_t>, std::optional<std::int64_t>>> ranges = {
      {first, last}, {std::nullopt, first}, {last, std::nullopt}, {first - 400, first + 3}};
  // Whole months and years, and a day more or less at either end.
  using namespace std::chrono;
  const auto number = [](const year_month_day& date) {
    return sys_days(date).time_since_epoch().count();
  };
  for (std::int64_t day = first - 31; day <= last; ++day) {
    const year_month_day date{sys_days(days(day))};
    if (date.day() != std::chrono::day(1)) continue;
    const std::int64_t monthEnd =
        number(year_month_day(year_month_day_last(date.year() / date.month() / std::chrono::last)));
    const std::int64_t yearEnd = number(date.year() / 12 / 31);
    for (std::int64_t end : {monthEnd - 1, monthEnd, monthEnd + 1, yearEnd - 1, yearEnd})
      for (std::int64_t start : {day - 1, day, day + 1}) ranges.emplace_back(start, end);
  }
  for (const auto& [from, to] : ranges) {
    const std::string low = schema::dateFloor(from ? *from * 86400 : INT32_MIN);
    const std::string high = schema::dateCeiling(to ? *to * 86400 + 86399 : INT64_C(1) << 40);
    Xapian::Enquire enquire(database);
    enquire.set_query(Xapian::Query(Xapian::Query::OP_VALUE_RANGE, schema::kDateSlot, low, high));
    const auto expected = enquire.get_mset(0, 0, database.get_doccount()).get_matches_estimated();
    const std::string parameters = "QRY=&DBS=1" + field("fromdate", from) + field("todate", to);
    const int shown = server().search(parameters).expectedTotal;
    if (expected <= 10000) {
      EXPECT_EQ(shown, static_cast<int>(expected)) << parameters;
    } else {
      EXPECT_GT(shown, 10000) << parameters;
    }
  }
}

// The judged queries of tests/server/data: how many find what a reader expects, which
// must not fall below what the archive achieved when they were written.
TEST(CorpusTest, JudgedQueries) {
  if (kSpool.find("shared/corpus") == std::string::npos) GTEST_SKIP() << "needs the corpus";
  testing::TempFolder folder;
  std::string error;
  ASSERT_GT(writeDemoSpool(folder / "demo", error), 0) << error;
  testing::indexPaths(folder / "demo-index", {folder / "demo"});
  const testing::LocalServer demo(folder / "demo-index");
  int passed = 0, total = 0;
  for (const auto& row : testing::readTable("server/data/judged-queries.txt", 3)) {
    const bool onDemo = row[0].rfind("demo ", 0) == 0;
    const std::string parameters = row[0].substr(onDemo ? 5 : 0);
    std::istringstream order(row[2]);
    std::string above, below;
    order >> above >> below >> below;  // "A > B"
    const testing::LocalServer& on = onDemo ? demo : server();
    std::vector<std::string> ids;
    for (std::uint32_t number : on.search(parameters + "&DBS=1&maxhits=100").numbers)
      ids.push_back(on.articleText(number).messageId);
    const auto rank = [&](const std::string& id) {
      return std::find(ids.begin(), ids.end(), id) - ids.begin();
    };
    bool ok =
        above.empty() || (rank(above) < static_cast<long>(ids.size()) && rank(above) < rank(below));
    std::istringstream wanted(row[1]);
    for (std::string id; wanted >> id;) ok = ok && rank(id) < std::min<long>(10, ids.size());
    if (!ok) std::cout << "judged query not passed: " << parameters << "\n";
    passed += ok;
    ++total;
  }
  std::cout << "judged queries: " << passed << " of " << total << " pass\n";
  EXPECT_GE(total, 30);
  EXPECT_GE(passed, 36);
}

}  // namespace
}  // namespace varnook::server
