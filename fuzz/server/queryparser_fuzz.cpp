// Query texts as typed or sent in QRY, query, subjects, authors and groups: the parser,
// the compiler over a small index and the check of candidates against an article.

#include <xapian.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/documentbuilder.h"
#include "server/grouprules.h"
#include "server/querycompiler.h"
#include "server/queryparser.h"

namespace {

using namespace varnook::server;

StoredArticle sample(std::uint32_t number, std::string subject, std::string body,
                     std::vector<std::string> groups) {
  StoredArticle article;
  article.number = number;
  article.subject = std::move(subject);
  article.from = "John Smith <jsmith@example.com>";
  article.body = std::move(body);
  article.groups = std::move(groups);
  article.date = 733000000;
  return article;
}

struct Fixture {
  Xapian::WritableDatabase database{std::string(), Xapian::DB_BACKEND_INMEMORY};
  TextIndexer indexer;
  std::vector<StoredArticle> articles;

  Fixture() {
    articles.push_back(sample(1, "Modem drops carrier", "My USR Sportster modem drops\n> quoted\n",
                              {"comp.dcom.modems"}));
    articles.push_back(sample(2, "Re: e-mail \xE5\xA4\xA9\xE4\xBD\x93",
                              "quick brown fox\n-- \nsig\n",
                              {"comp.sys.mac.hardware", "misc.forsale"}));
    for (const StoredArticle& article : articles) {
      Xapian::Document document;
      indexer.build(article, "<" + std::to_string(article.number) + ">",
                    GroupRules::defaults().archivesOf(article.groups), document);
      database.add_document(document);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  if (size == 0) return 0;
  const bool matchAll = data[0] & 1;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const ParsedQuery parsed = parseQueryText(text, matchAll);
  if (!parsed.error.empty() && parsed.root) std::abort();
  if (text.size() > kMaxQueryBytes && parsed.error.empty()) std::abort();
  if (parsed.root) (void)describeQuery(*parsed.root);
  (void)splitGroupList(text);
  (void)wildcardMatch(text, "comp.sys.mac.hardware");

  try {
    const Xapian::Stem stemmer = stemmerFor(data[0] & 2 ? "german" : "");
    QueryCompiler compiler(fixture.database, stemmer, fixture.indexer);
    std::optional<Xapian::Query> query;
    if (parsed.root) query = compiler.keywords(*parsed.root);
    (void)compiler.subjects(text);
    (void)compiler.authors(text);
    (void)compiler.groups(text);
    if (query) {
      Xapian::Enquire enquire(fixture.database);
      enquire.set_query(*query);
      const Xapian::MSet mset = enquire.get_mset(0, 10);
      (void)mset.size();
    }
  } catch (const Xapian::Error&) {
    // Xapian refuses some queries (too many expansions); that is an answer, not a crash.
  }
  return 0;
}
