// Tests over the whole test corpus, indexed once by the ServerCorpus fixture. Expected
// results are computed here from the spool files directly, without the server's code.

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <xapian.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "archive/articletext.h"
#include "archive/encoding.h"
#include "collection/article.h"
#include "server/indexschema.h"
#include "serversupport.h"

namespace varnook::server {
namespace {

using testing::LocalServer;

struct CorpusArticle {
  std::string subject, date, messageId;
  std::set<std::string> groups;  // from the Newsgroups header, lower case
  int copies = 0;                // spool files holding it
};

// The corpus and its index; the environment may name others (for example a demo corpus
// indexed by hand, to try the tests the way a machine without the shared corpus runs them).
std::string corpusSpool() {
  const char* path = std::getenv("VARNOOK_TEST_CORPUS_SPOOL");
  return path && *path ? path : VARNOOK_CORPUS_SPOOL;
}
std::string corpusIndex() {
  const char* path = std::getenv("VARNOOK_TEST_CORPUS_INDEX");
  return path && *path ? path : VARNOOK_CORPUS_INDEX;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Reads the header block of every spool file, keyed by Message-ID.
std::map<std::string, CorpusArticle> readCorpus() {
  std::map<std::string, CorpusArticle> corpus;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpusSpool())) {
    if (!entry.is_regular_file()) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::string line, current;
    std::map<std::string, std::string> headers;
    auto flush = [&] {
      const auto colon = current.find(':');
      if (colon != std::string::npos) {
        const std::string name = lower(current.substr(0, colon));
        if (!headers.count(name)) headers[name] = trim(current.substr(colon + 1));
      }
      current.clear();
    };
    while (std::getline(file, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) break;
      if ((line[0] == ' ' || line[0] == '\t') && !current.empty()) {
        current += " " + trim(line);
        continue;
      }
      flush();
      current = line;
    }
    flush();
    std::string id = headers["message-id"];
    if (id.find('<') != std::string::npos)
      id = id.substr(id.find('<'), id.find('>') - id.find('<') + 1);
    CorpusArticle& article = corpus[id];
    article.messageId = id;
    article.subject = headers["subject"];
    article.date = headers["date"];
    std::string groups = lower(headers["newsgroups"]);
    std::replace(groups.begin(), groups.end(), ',', ' ');
    std::istringstream names(groups);
    for (std::string name; names >> name;) article.groups.insert(name);
    ++article.copies;
  }
  return corpus;
}

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> out;
  std::string word;
  for (char c : text + " ") {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (!word.empty()) {
      out.push_back(word);
      word.clear();
    }
  }
  return out;
}

class CorpusTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    corpus_ = new std::map<std::string, CorpusArticle>(readCorpus());
    server_ = new LocalServer(corpusIndex());
  }
  static void TearDownTestSuite() {
    delete server_;
    delete corpus_;
  }

  // Follows a search from its first page to its last with the agent's page reader and
  // returns the article numbers; checks the markers of every page on the way.
  std::vector<std::uint32_t> allPages(const std::string& firstTarget, int* pages = nullptr) {
    std::vector<std::uint32_t> numbers;
    std::string target = firstTarget;
    std::int32_t expected = -1;
    int count = 0;
    while (!target.empty()) {
      const testing::HttpReply reply = server_->get(target);
      EXPECT_EQ(reply.status, 200) << target;
      const testing::ParsedPage page = testing::parsePage(reply.body);
      ++count;
      if (page.error == "none") break;
      EXPECT_EQ(page.error, "") << target;
      if (expected < 0) expected = page.expectedTotal;
      EXPECT_EQ(page.expectedTotal, expected) << "the count changes between pages";
      numbers.insert(numbers.end(), page.numbers.begin(), page.numbers.end());
      target = page.nextUrl.empty() ? "" : testing::targetOf(page.nextUrl);
      if (count > 1000) break;
    }
    if (pages) *pages = count;
    if (expected >= 0) {
      EXPECT_EQ(numbers.size(), static_cast<std::size_t>(expected));
    }
    return numbers;
  }

  std::string messageIdOf(std::uint32_t number) {
    const testing::HttpReply reply =
        server_->get("/getdoc.xp?AN=" + std::to_string(number) + "&fmt=text");
    Article article(number, "");
    EXPECT_EQ(parseArticleText(reply.body, article), "");
    return article.messageId;
  }

  static std::map<std::string, CorpusArticle>* corpus_;
  static LocalServer* server_;
};

std::map<std::string, CorpusArticle>* CorpusTest::corpus_ = nullptr;
LocalServer* CorpusTest::server_ = nullptr;

TEST_F(CorpusTest, OneDocumentPerMessageId) {
  Xapian::Database database(corpusIndex());
  EXPECT_EQ(database.get_doccount(), corpus_->size());
  int crossPosts = 0;
  for (const auto& [id, article] : *corpus_) {
    if (article.copies < 2) continue;
    ++crossPosts;
    EXPECT_EQ(database.get_termfreq(schema::messageIdTerm(id)), 1u) << id;
  }
  EXPECT_GT(crossPosts, 0);
}

// Words of subjects, searched with "subjects=": the articles found are exactly those
// whose Subject holds the word (or a word with the same English stem).
TEST_F(CorpusTest, SubjectSearchFindsExactlyTheArticlesWithTheWord) {
  std::map<std::string, int> frequency;
  for (const auto& [id, article] : *corpus_) {
    std::set<std::string> seen;
    for (const std::string& word : words(article.subject))
      if (word.size() >= 6 && std::all_of(word.begin(), word.end(), ::isalpha) &&
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
    for (const auto& [id, article] : *corpus_)
      for (const std::string& w : words(article.subject))
        if (stem(w) == stem(word)) expected.insert(id);
    std::set<std::string> found;
    for (std::uint32_t number : allPages("/dnquery.xp?QRY=&subjects=" + word + "&DBS=1&maxhits=50"))
      found.insert(messageIdOf(number));
    EXPECT_EQ(found, expected) << word;
  }
}

TEST_F(CorpusTest, ArchivesAndGroupPatternsCountEveryArticle) {
  auto inAny = [](const CorpusArticle& article, const std::vector<const char*>& patterns) {
    for (const std::string& group : article.groups)
      for (const char* pattern : patterns)
        if (fnmatch(pattern, group.c_str(), 0) == 0) return true;
    return false;
  };
  const std::vector<const char*> adult = {"alt.sex*", "*.erotica*", "*.adult*"};
  // Articles in any of the groups; by default (the standard archive) not adult ones.
  auto count = [&](const std::vector<const char*>& patterns, bool withAdult = true) {
    std::size_t n = 0;
    for (const auto& [id, article] : *corpus_)
      n += inAny(article, patterns) && (withAdult || !inAny(article, adult));
    return n;
  };
  auto total = [&](const std::string& target) {
    return static_cast<std::size_t>(testing::parsePage(server_->get(target).body).expectedTotal);
  };
  EXPECT_EQ(total("/dnquery.xp?QRY=&groups=comp.sys.*&DBS=1"), count({"comp.sys.*"}));
  EXPECT_EQ(total("/dnquery.xp?QRY=&groups=*.graphics+rec.*&DBS=1"),
            count({"*.graphics", "rec.*"}));
  EXPECT_GT(count({"*.forsale*"}), 0u);
  EXPECT_EQ(total("/dnquery.xp?QRY=&DBS=5"),
            count({"*.forsale*", "*.for-sale*", "*.marketplace*"}));
  EXPECT_EQ(total("/dnquery.xp?QRY=&DBS=4"), count({"*.jobs*", "*.job*", "misc.jobs.*"}));
  EXPECT_EQ(total("/dnquery.xp?QRY=&DBS=3"), count(adult));
  // The standard archive is everything but the adult one.
  EXPECT_EQ(total("/dnquery.xp?QRY=&groups=alt.*+comp.graphics"),
            count({"alt.*", "comp.graphics"}, false));
  EXPECT_EQ(total("/dnquery.xp?QRY=&groups=alt.*+comp.graphics&DBS=2"),
            count({"alt.*", "comp.graphics"}, false));
  EXPECT_EQ(total("/dnquery.xp?QRY=&groups=alt.*+comp.graphics&DBS=1"),
            count({"alt.*", "comp.graphics"}));
}

TEST_F(CorpusTest, PagingReachesTheLastPage) {
  // The largest group: many pages of 200.
  std::map<std::string, std::size_t> sizes;
  for (const auto& [id, article] : *corpus_)
    for (const std::string& group : article.groups) ++sizes[group];
  const auto largest = std::max_element(
      sizes.begin(), sizes.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  ASSERT_NE(largest, sizes.end());
  int pages = 0;
  const auto numbers = allPages(
      "/dnquery.xp?QRY=&groups=" + urlEncode(largest->first, true) + "&DBS=1&maxhits=200", &pages);
  const std::set<std::uint32_t> distinct(numbers.begin(), numbers.end());
  EXPECT_EQ(distinct.size(), numbers.size());
  EXPECT_GT(pages, 1);
  EXPECT_EQ(numbers.size(), largest->second);
}

// Every stored article reads back with the agent's article reader, with the header
// values of its spool file, and a Date line the agent's date reader accepts.
TEST_F(CorpusTest, EveryArticleReadsBackWithTheAgentsParser) {
  Xapian::Database database(corpusIndex());
  int checkedDates = 0;
  for (std::uint32_t number = 1; number <= database.get_doccount(); ++number) {
    const std::optional<StoredArticle> stored = server_->index().article(number);
    ASSERT_TRUE(stored) << number;
    const std::string text = stored->plainText();
    Article article(number, "");
    ASSERT_EQ(parseArticleText(text, article), "") << number;
    const auto found = corpus_->find(article.messageId);
    ASSERT_NE(found, corpus_->end()) << article.messageId;
    EXPECT_EQ(text.substr(0, text.find("\n\n")).find('\r'), std::string::npos);
    // Plain "Www, d Mmm yyyy hh:mm:ss GMT" dates come back as they were, with two-digit days.
    const std::string& date = found->second.date;
    if (date.size() >= 28 && date.compare(date.size() - 4, 4, " GMT") == 0 && date[3] == ',') {
      std::string expected = date;
      if (expected[6] == ' ') expected.insert(5, "0");
      if (expected.size() == 29) {
        EXPECT_NE(text.find("\nDate: " + expected + "\n"), std::string::npos) << number;
        ++checkedDates;
      }
    }
    EXPECT_NE(article.date, 0.0) << number << " " << date;
    if (number % 50 == 0) {
      const testing::HttpReply reply =
          server_->get("/getdoc.xp?AN=" + std::to_string(number) + "&fmt=text");
      EXPECT_EQ(reply.body, text);
    }
  }
  EXPECT_GT(checkedDates, 100);
}

}  // namespace
}  // namespace varnook::server
