#pragma once

// The archive's query language, as typed in the search form and as the agent sends it
// in "QRY" and "query":
//
//   words            joined by the default operator (defaultOp AND or OR)
//   "a phrase"       the words in this order
//   a & b, a | b     and, or ("&" binds tighter than "|"; juxtaposition tighter still)
//   a &! b           a and not b
//   ( ... )          grouping
//   word*            any word beginning with "word"
//   ~a X, ~s X, ~g X the author, subject or newsgroups must match X, a word, a phrase
//                    or a parenthesised group (words in a ~a or ~s group must all
//                    match; groups in a ~g group are alternatives)
//
// Field clauses restrict: next to other words they are always and-ed, whatever the
// default operator. The parser is lenient where a reader would be: a missing ")" or
// closing quote is supplied, a stray ")" or an operator without an operand is ignored.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnook::server {

struct QueryNode {
  enum class Kind { Term, Phrase, And, Or, AndNot, Not, Field };
  Kind kind = Kind::Term;
  std::string text;                 // Term: the word without its "*"; Phrase: the quoted text
  bool wildcard = false;            // Term written with a trailing "*"
  char field = 0;                   // Field: 'a', 's' or 'g'
  std::vector<QueryNode> children;  // And/Or/AndNot: two; Not/Field: one
};

struct ParsedQuery {
  std::optional<QueryNode> root;  // nothing for a query without any word
  std::string error;              // set for a query beyond the limits below
};

inline constexpr std::size_t kMaxQueryBytes = 4096;
inline constexpr int kMaxQueryDepth = 32;
inline constexpr int kMaxQueryWords = 64;

// Parses `text`; `matchAll` is the default operator (true: AND). Errors: "The query is
// too long.", "The query is nested too deeply.", "The query has too many words.".
ParsedQuery parseQueryText(std::string_view text, bool matchAll);

// A compact, unambiguous rendering for tests and logs, e.g.
// (and "modem" (field a (and "john" "smith"))).
std::string describeQuery(const QueryNode& node);

// The groups of a "groups" parameter or a ~g word: names and patterns separated by
// commas or blanks, lower-cased.
std::vector<std::string> splitGroupList(std::string_view text);

}  // namespace varnook::server
