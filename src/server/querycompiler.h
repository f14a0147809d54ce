#pragma once

// Turns parsed queries and the search form's restrictions into Xapian queries over the
// archive's index (see indexschema.h for its terms). Words are folded as the index folds
// them; a word written with accents also prefers the articles that write it so. Phrases
// are matched on word positions, in the body (quoted text included) and in the subject.

#include <xapian.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/documentbuilder.h"
#include "server/queryparser.h"

namespace varnook::server {

// A query that matches every article. Xapian's shared Query::MatchAll must not be used:
// its reference count is not atomic, and copies made by several search threads at once
// corrupt it.
inline Xapian::Query matchAll() {
  return Xapian::Query(std::string());
}

// The Snowball stemmer for a "LNG" value ("english", "german", "de", ...); English for an
// empty or unknown one (also for languages without a stemmer, such as Chinese).
Xapian::Stem stemmerFor(std::string_view language);

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
  // True when a query so far compiled matches word positions (a phrase).
  bool hasPhrase() const { return phrase_; }

 private:
  std::optional<Xapian::Query> compile(const QueryNode& node, char field, bool boolean);
  std::optional<Xapian::Query> leaf(const QueryNode& node, char field);
  std::optional<Xapian::Query> restriction(std::string_view text, char field);
  std::optional<Xapian::Query> groupPatterns(const std::vector<std::string>& patterns);
  std::vector<std::string> stemVariants(const std::string& term, std::size_t prefixLength);

  const Xapian::Database& database_;
  const Xapian::Stem& stemmer_;
  TextIndexer& indexer_;
  bool rankedWords_ = false;
  bool phrase_ = false;
};

}  // namespace varnook::server
