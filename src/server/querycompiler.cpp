#include "server/querycompiler.h"

#include <algorithm>

#include "server/grouprules.h"
#include "server/indexschema.h"
#include "server/textutil.h"

namespace varnook::server {
namespace {

constexpr Xapian::termcount kMaxWildcardTerms = 200;
constexpr int kMaxScannedTerms = 2000;

std::string prefixFor(char field) {
  switch (field) {
    case 's':
      return std::string(schema::kSubjectPrefix);
    case 'a':
      return std::string(schema::kAuthorPrefix);
    default:
      return {};
  }
}

Xapian::Query boolean(const Xapian::Query& query) {
  return Xapian::Query(Xapian::Query::OP_SCALE_WEIGHT, query, 0.0);
}

Xapian::Query allOf(const std::vector<std::string>& terms) {
  return Xapian::Query(Xapian::Query::OP_AND, terms.begin(), terms.end());
}

}  // namespace

Xapian::Stem stemmerFor(std::string_view language) {
  std::string name = asciiLowered(trimBlanks(language));
  if (!name.empty()) {
    try {
      return Xapian::Stem(name);
    } catch (const Xapian::Error&) {
      // Not a language Xapian stems: fall through to English.
    }
  }
  return Xapian::Stem("english");
}

QueryCompiler::QueryCompiler(const Xapian::Database& database, const Xapian::Stem& stemmer,
                             TextIndexer& indexer)
    : database_(database), stemmer_(stemmer), indexer_(indexer) {}

std::optional<Xapian::Query> QueryCompiler::keywords(const QueryNode& root) {
  return compile(root, 0, false);
}

std::optional<Xapian::Query> QueryCompiler::restriction(std::string_view text, char field) {
  ParsedQuery parsed = parseQueryText(text, true);
  if (!parsed.root) return std::nullopt;
  return compile(*parsed.root, field, true);
}

std::optional<Xapian::Query> QueryCompiler::subjects(std::string_view text) {
  return restriction(text, 's');
}

std::optional<Xapian::Query> QueryCompiler::authors(std::string_view text) {
  return restriction(text, 'a');
}

std::optional<Xapian::Query> QueryCompiler::groups(std::string_view text) {
  const std::vector<std::string> patterns = splitGroupList(text);
  if (patterns.empty()) return std::nullopt;
  return groupPatterns(patterns);
}

std::optional<Xapian::Query> QueryCompiler::compile(const QueryNode& node, char field,
                                                    bool isBoolean) {
  using Kind = QueryNode::Kind;
  switch (node.kind) {
    case Kind::Term:
    case Kind::Phrase: {
      auto query = leaf(node, field);
      if (query && !isBoolean) rankedWords_ = true;
      if (query && isBoolean) return boolean(*query);
      return query;
    }
    case Kind::Field: {
      return compile(node.children[0], node.field, true);
    }
    case Kind::Not: {
      auto inner = compile(node.children[0], field, true);
      if (!inner) return std::nullopt;
      return Xapian::Query(Xapian::Query::OP_AND_NOT, matchAll(), *inner);
    }
    case Kind::And:
    case Kind::Or:
    case Kind::AndNot: {
      auto left = compile(node.children[0], field, isBoolean);
      auto right = compile(node.children[1], field, node.kind == Kind::AndNot || isBoolean);
      if (!left) {
        if (node.kind != Kind::AndNot || !right) return right;
        return Xapian::Query(Xapian::Query::OP_AND_NOT, matchAll(), *right);
      }
      if (!right) return left;
      const auto op = node.kind == Kind::And  ? Xapian::Query::OP_AND
                      : node.kind == Kind::Or ? Xapian::Query::OP_OR
                                              : Xapian::Query::OP_AND_NOT;
      return Xapian::Query(op, *left, *right);
    }
  }
  return std::nullopt;
}

std::optional<Xapian::Query> QueryCompiler::leaf(const QueryNode& node, char field) {
  if (field == 'g') {
    std::vector<std::string> patterns = splitGroupList(node.text);
    if (node.wildcard && !patterns.empty()) patterns.back() += '*';
    return groupPatterns(patterns);
  }
  const std::string prefix = prefixFor(field);
  const TextIndexer::Analysis analysis = indexer_.analyze(node.text, prefix);
  if (!analysis.unpositioned.empty()) {
    // CJK text: every n-gram must occur.
    std::vector<std::string> terms = analysis.sequence;
    terms.insert(terms.end(), analysis.unpositioned.begin(), analysis.unpositioned.end());
    return allOf(terms);
  }
  const std::vector<std::string>& sequence = analysis.sequence;
  if (sequence.empty()) return std::nullopt;
  if (sequence.size() > 1) {
    phrase_ = true;
    const auto phrase = [](const std::vector<std::string>& terms) {
      return Xapian::Query(Xapian::Query::OP_PHRASE, terms.begin(), terms.end(),
                           static_cast<Xapian::termcount>(terms.size()));
    };
    if (field != 0) return phrase(sequence);
    // The body's words carry positions; the subject's do under their own prefix.
    std::vector<std::string> inSubject;
    for (const std::string& term : sequence)
      inSubject.push_back(std::string(schema::kSubjectPrefix) + term);
    return Xapian::Query(Xapian::Query::OP_OR, phrase(sequence), phrase(inSubject));
  }
  const std::string& term = sequence.front();
  if (node.kind == QueryNode::Kind::Term && node.wildcard) {
    return Xapian::Query(Xapian::Query::OP_WILDCARD, term, kMaxWildcardTerms,
                         Xapian::Query::WILDCARD_LIMIT_MOST_FREQUENT);
  }
  // Quoted words and names are taken as written; other words match their variants.
  const std::vector<std::string> alternatives = node.kind == QueryNode::Kind::Phrase || field == 'a'
                                                    ? std::vector<std::string>{term}
                                                    : stemVariants(term, prefix.size());
  Xapian::Query query =
      alternatives.size() == 1
          ? Xapian::Query(alternatives.front())
          : Xapian::Query(Xapian::Query::OP_SYNONYM, alternatives.begin(), alternatives.end());
  // A word typed with accents matches its folded form, and the articles that write it
  // the same way come first.
  if (!analysis.writtenForms.empty())
    query = Xapian::Query(Xapian::Query::OP_AND_MAYBE, query,
                          Xapian::Query(analysis.writtenForms.front()));
  return query;
}

std::optional<Xapian::Query> QueryCompiler::groupPatterns(
    const std::vector<std::string>& patterns) {
  std::vector<std::string> terms;
  for (const std::string& pattern : patterns) {
    const std::size_t wild = pattern.find_first_of("*?");
    if (wild == std::string::npos) {
      terms.push_back(schema::groupTerm(pattern));
      continue;
    }
    const std::string scan = schema::groupTerm(pattern.substr(0, wild));
    int scanned = 0;
    for (auto it = database_.allterms_begin(scan);
         it != database_.allterms_end(scan) && scanned < kMaxScannedTerms; ++it, ++scanned) {
      const std::string term = *it;
      if (wildcardMatch(pattern, std::string_view(term).substr(schema::kGroupPrefix.size())))
        terms.push_back(term);
    }
  }
  std::sort(terms.begin(), terms.end());
  terms.erase(std::unique(terms.begin(), terms.end()), terms.end());
  if (terms.empty()) return Xapian::Query();  // matches nothing
  return boolean(Xapian::Query(Xapian::Query::OP_OR, terms.begin(), terms.end()));
}

// The index holds words as written; a query word matches every indexed word with the
// same stem. The stem's beginning narrows the scan: stemmers change word endings only.
std::vector<std::string> QueryCompiler::stemVariants(const std::string& term,
                                                     std::size_t prefixLength) {
  std::vector<std::string> variants{term};
  const std::string word = term.substr(prefixLength);
  const std::string stem = stemmer_(word);
  if (stem.empty()) return variants;
  const std::string scan = term.substr(0, prefixLength) +
                           stem.substr(0, stem.size() >= 4 ? stem.size() - 1 : stem.size());
  int scanned = 0;
  for (auto it = database_.allterms_begin(scan);
       it != database_.allterms_end(scan) && scanned < kMaxScannedTerms; ++it, ++scanned) {
    const std::string candidate = *it;
    if (candidate != term && stemmer_(candidate.substr(prefixLength)) == stem)
      variants.push_back(candidate);
  }
  return variants;
}

}  // namespace varnook::server
