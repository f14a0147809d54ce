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

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
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

ArticleTerms articleTerms(const StoredArticle& article, TextIndexer& indexer) {
  ArticleTerms out;
  auto add = [&](std::string_view text, std::string_view prefix) {
    TextIndexer::Analysis analysis = indexer.analyze(text, prefix);
    for (std::string& term : analysis.unpositioned) out.terms.insert(std::move(term));
    for (std::string& term : analysis.sequence) {
      out.terms.insert(term);
      out.sequence.push_back(std::move(term));
    }
    out.sequence.emplace_back();
  };
  add(article.subject, schema::kSubjectPrefix);
  add(article.from, schema::kAuthorPrefix);
  add(article.subject, {});
  forEachBodyRun(article.body, [&](std::string_view run, bool) { add(run, {}); });
  for (const std::string& group : article.groups) out.terms.insert(schema::groupTerm(group));
  return out;
}

QueryCompiler::QueryCompiler(const Xapian::Database& database, const Xapian::Stem& stemmer,
                             TextIndexer& indexer)
    : database_(database), stemmer_(stemmer), indexer_(indexer) {}

std::optional<Xapian::Query> QueryCompiler::keywords(const QueryNode& root) {
  return compile(root, 0, false, false);
}

std::optional<Xapian::Query> QueryCompiler::restriction(std::string_view text, char field) {
  ParsedQuery parsed = parseQueryText(text, true);
  if (!parsed.root) return std::nullopt;
  // The parsed tree dies here: keep its leaves out of the table `matches` reads.
  auto saved = std::move(leaves_);
  leaves_.clear();
  auto query = compile(*parsed.root, field, true, false);
  leaves_ = std::move(saved);
  return query;
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
  return groupPatterns(patterns, nullptr);
}

std::optional<Xapian::Query> QueryCompiler::compile(const QueryNode& node, char field,
                                                    bool isBoolean, bool negated) {
  using Kind = QueryNode::Kind;
  switch (node.kind) {
    case Kind::Term:
    case Kind::Phrase: {
      auto query = leaf(node, field, negated);
      if (query && !isBoolean) rankedWords_ = true;
      if (query && isBoolean) return boolean(*query);
      return query;
    }
    case Kind::Field: {
      return compile(node.children[0], node.field, true, negated);
    }
    case Kind::Not: {
      auto inner = compile(node.children[0], field, true, !negated);
      if (!inner) return std::nullopt;
      return Xapian::Query(Xapian::Query::OP_AND_NOT, Xapian::Query::MatchAll, *inner);
    }
    case Kind::And:
    case Kind::Or:
    case Kind::AndNot: {
      const bool rightNegated = node.kind == Kind::AndNot ? !negated : negated;
      auto left = compile(node.children[0], field, isBoolean, negated);
      auto right =
          compile(node.children[1], field, node.kind == Kind::AndNot || isBoolean, rightNegated);
      if (!left) {
        if (node.kind != Kind::AndNot || !right) return right;
        return Xapian::Query(Xapian::Query::OP_AND_NOT, Xapian::Query::MatchAll, *right);
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

std::optional<Xapian::Query> QueryCompiler::leaf(const QueryNode& node, char field, bool negated) {
  Leaf& info = leaves_[&node];
  auto query = leafQuery(node, field, info, negated);
  info.present = query.has_value();
  return query;
}

std::optional<Xapian::Query> QueryCompiler::leafQuery(const QueryNode& node, char field, Leaf& info,
                                                      bool negated) {
  if (field == 'g') {
    std::vector<std::string> patterns = splitGroupList(node.text);
    if (node.wildcard && !patterns.empty()) patterns.back() += '*';
    return groupPatterns(patterns, &info);
  }
  const std::string prefix = prefixFor(field);
  TextIndexer::Analysis analysis = indexer_.analyze(node.text, prefix);
  if (!analysis.unpositioned.empty()) {
    // CJK text: every n-gram must occur.
    info.allOf = analysis.sequence;
    info.allOf.insert(info.allOf.end(), analysis.unpositioned.begin(), analysis.unpositioned.end());
    return allOf(info.allOf);
  }
  if (analysis.sequence.empty()) return std::nullopt;
  if (analysis.sequence.size() > 1) {
    info.sequence = analysis.sequence;
    if (field != 0) {
      return Xapian::Query(Xapian::Query::OP_PHRASE, info.sequence.begin(), info.sequence.end(),
                           static_cast<Xapian::termcount>(info.sequence.size()));
    }
    // The index can only narrow a body phrase down to "all of its words": a superset,
    // right where it counts positively. Under a negation a superset would exclude too
    // much, so there the phrase excludes nothing and the check decides.
    needsCheck_ = true;
    if (negated) return Xapian::Query::MatchNothing;
    return allOf(info.sequence);
  }
  const std::string& term = analysis.sequence.front();
  if (node.kind == QueryNode::Kind::Term && node.wildcard) {
    info.wildcardPrefix = term;
    return Xapian::Query(Xapian::Query::OP_WILDCARD, term, kMaxWildcardTerms,
                         Xapian::Query::WILDCARD_LIMIT_MOST_FREQUENT);
  }
  // Quoted words and names are taken as written; other words match their variants.
  if (node.kind == QueryNode::Kind::Phrase || field == 'a') {
    info.alternatives = {term};
  } else {
    info.alternatives = stemVariants(term, prefix.size());
  }
  if (info.alternatives.size() == 1) return Xapian::Query(info.alternatives.front());
  return Xapian::Query(Xapian::Query::OP_SYNONYM, info.alternatives.begin(),
                       info.alternatives.end());
}

std::optional<Xapian::Query> QueryCompiler::groupPatterns(const std::vector<std::string>& patterns,
                                                          Leaf* leafInfo) {
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
  if (leafInfo) leafInfo->alternatives = terms;
  if (terms.empty()) return Xapian::Query::MatchNothing;
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

bool QueryCompiler::matchesLeaf(const Leaf& leaf, const ArticleTerms& article) const {
  if (!leaf.allOf.empty()) {
    return std::all_of(leaf.allOf.begin(), leaf.allOf.end(),
                       [&](const std::string& term) { return article.terms.count(term) > 0; });
  }
  if (!leaf.sequence.empty()) {
    const auto& seq = article.sequence;
    return std::search(seq.begin(), seq.end(), leaf.sequence.begin(), leaf.sequence.end()) !=
           seq.end();
  }
  if (!leaf.wildcardPrefix.empty()) {
    return std::any_of(article.terms.begin(), article.terms.end(), [&](const std::string& term) {
      return startsWith(term, leaf.wildcardPrefix);
    });
  }
  return std::any_of(leaf.alternatives.begin(), leaf.alternatives.end(),
                     [&](const std::string& term) { return article.terms.count(term) > 0; });
}

// Mirrors `compile`: a leaf that gave no query is absent, and an operator with an
// absent side stands for its other side.
std::optional<bool> QueryCompiler::evaluate(const QueryNode& node,
                                            const ArticleTerms& article) const {
  using Kind = QueryNode::Kind;
  switch (node.kind) {
    case Kind::Term:
    case Kind::Phrase: {
      const auto found = leaves_.find(&node);
      if (found == leaves_.end() || !found->second.present) return std::nullopt;
      return matchesLeaf(found->second, article);
    }
    case Kind::Field:
      return evaluate(node.children[0], article);
    case Kind::Not: {
      const auto inner = evaluate(node.children[0], article);
      if (!inner) return std::nullopt;
      return !*inner;
    }
    case Kind::And:
    case Kind::Or:
    case Kind::AndNot: {
      const auto left = evaluate(node.children[0], article);
      const auto right = evaluate(node.children[1], article);
      if (!right) return left;
      if (!left) return node.kind == Kind::AndNot ? !*right : *right;
      if (node.kind == Kind::And) return *left && *right;
      if (node.kind == Kind::Or) return *left || *right;
      return *left && !*right;
    }
  }
  return std::nullopt;
}

bool QueryCompiler::matches(const QueryNode& root, const ArticleTerms& article) const {
  return evaluate(root, article).value_or(true);
}

}  // namespace varnook::server
