#pragma once

// Turns parsed queries and the search form's restrictions into Xapian queries over the
// archive's index, and checks candidate articles where the index alone cannot decide.
//
// Body words are indexed without positions (it keeps the index smaller than the
// articles), so a phrase in the body is searched as "all of its words" and the
// candidates are then checked against the stored text (`matches`). Subject and author
// words carry positions and match phrases in the index itself.

#include <xapian.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "server/documentbuilder.h"
#include "server/queryparser.h"
#include "server/storedarticle.h"

namespace varnook::server {

// The Snowball stemmer for a "LNG" value ("english", "german", "de", ...); English for an
// empty or unknown one (also for languages without a stemmer, such as Chinese).
Xapian::Stem stemmerFor(std::string_view language);

// The words of an article as the checker sees them: every term, and the positional words
// of each field and body run in order, with "" between runs.
struct ArticleTerms {
  std::unordered_set<std::string> terms;
  std::vector<std::string> sequence;
};
ArticleTerms articleTerms(const StoredArticle& article, TextIndexer& indexer);

class QueryCompiler {
 public:
  // The database is read for stem variants, wildcards and group patterns; it, the
  // stemmer and the indexer must outlive the compiler.
  QueryCompiler(const Xapian::Database& database, const Xapian::Stem& stemmer,
                TextIndexer& indexer);

  // The weighted query of a keyword tree (field clauses inside it only filter). Nothing
  // when the tree holds no searchable word.
  std::optional<Xapian::Query> keywords(const QueryNode& root);

  // Filters for the "subjects" and "authors" texts (all words must match, the query
  // language applies) and the "groups" list (any of the names or patterns).
  std::optional<Xapian::Query> subjects(std::string_view text);
  std::optional<Xapian::Query> authors(std::string_view text);
  std::optional<Xapian::Query> groups(std::string_view text);

  // True when the keyword query holds a word that counts for ranking (not only field
  // clauses): then results are ranked, otherwise listed newest first.
  bool hasRankedWords() const { return rankedWords_; }
  // True when candidates of the keyword query must be checked with `matches`.
  bool needsCheck() const { return needsCheck_; }
  // Whether an article satisfies the keyword tree given to `keywords` (the same node).
  bool matches(const QueryNode& root, const ArticleTerms& article) const;

 private:
  struct Leaf {
    std::vector<std::string> alternatives;  // any of these terms
    std::vector<std::string> sequence;      // these terms in order (a phrase)
    std::vector<std::string> allOf;         // every one of these terms (CJK n-grams)
    std::string wildcardPrefix;             // any term beginning with this
    bool present = false;                   // the leaf gave a query
  };

  // `negated`: the node sits under an odd number of negations.
  std::optional<Xapian::Query> compile(const QueryNode& node, char field, bool boolean,
                                       bool negated);
  std::optional<Xapian::Query> leaf(const QueryNode& node, char field, bool negated);
  std::optional<Xapian::Query> leafQuery(const QueryNode& node, char field, Leaf& info,
                                         bool negated);
  std::optional<Xapian::Query> restriction(std::string_view text, char field);
  std::optional<bool> evaluate(const QueryNode& node, const ArticleTerms& article) const;
  std::optional<Xapian::Query> groupPatterns(const std::vector<std::string>& patterns, Leaf* leaf);
  std::vector<std::string> stemVariants(const std::string& term, std::size_t prefixLength);
  bool matchesLeaf(const Leaf& leaf, const ArticleTerms& article) const;

  const Xapian::Database& database_;
  const Xapian::Stem& stemmer_;
  TextIndexer& indexer_;
  std::unordered_map<const QueryNode*, Leaf> leaves_;
  bool rankedWords_ = false;
  bool needsCheck_ = false;
};

}  // namespace varnook::server
