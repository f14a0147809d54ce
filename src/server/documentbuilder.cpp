#include "server/documentbuilder.h"

#include <algorithm>
#include <map>

#include "base/textfold.h"
#include "server/indexschema.h"
#include "server/textutil.h"

namespace varnook::server {
namespace {

constexpr std::size_t kMaxIndexedBody = 512 * 1024;
// Keeps phrases from matching across the subject, the author and the body.
constexpr Xapian::termpos kFieldGap = 100;
// Keeps phrases from matching across the new and quoted runs of a body: any gap does,
// since a phrase of n words must fit n consecutive positions.
constexpr Xapian::termpos kRunGap = 1;

// The words of `text` as written (lower-cased), each once.
std::vector<std::string> writtenWords(Xapian::TermGenerator& generator, std::string_view text) {
  Xapian::Document scratch;
  generator.set_document(scratch);
  generator.index_text_without_positions(Xapian::Utf8Iterator(text.data(), text.size()));
  return {scratch.termlist_begin(), scratch.termlist_end()};
}

bool isAddressChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-/=?^_`{|}~.@").find(c) != std::string_view::npos;
}

}  // namespace

std::string authorAddress(std::string_view from) {
  const std::size_t open = from.find('<');
  if (open != std::string_view::npos) {
    const std::size_t close = from.find('>', open);
    if (close != std::string_view::npos) {
      std::string_view inside = trimBlanks(from.substr(open + 1, close - open - 1));
      if (inside.find('@') != std::string_view::npos) return asciiLowered(inside);
    }
  }
  const std::size_t at = from.find('@');
  if (at == std::string_view::npos) return {};
  std::size_t start = at, end = at + 1;
  while (start > 0 && isAddressChar(from[start - 1])) --start;
  while (end < from.size() && isAddressChar(from[end])) ++end;
  if (start == at || end == at + 1) return {};
  return asciiLowered(from.substr(start, end - start));
}

TextIndexer::TextIndexer() {
  for (Xapian::TermGenerator* generator : {&generator_, &writtenGenerator_}) {
    generator->set_flags(Xapian::TermGenerator::FLAG_CJK_NGRAM);
    generator->set_stemming_strategy(Xapian::TermGenerator::STEM_NONE);
  }
}

void TextIndexer::indexText(std::string_view text, std::string_view prefix,
                            Xapian::termcount weight, bool positions,
                            Xapian::termcount writtenWeight) {
  // Most text is ASCII, which folding only lowers, as the generator does itself.
  const bool ascii = isAsciiText(text);
  const std::string folded = ascii ? std::string() : foldText(text);
  const std::string_view indexed = ascii ? text : std::string_view(folded);
  const Xapian::Utf8Iterator words(indexed.data(), indexed.size());
  const std::string prefixText(prefix);
  if (positions) {
    generator_.index_text(words, weight, prefixText);
  } else {
    generator_.index_text_without_positions(words, weight, prefixText);
  }
  if (ascii || writtenWeight == 0) return;
  Xapian::Document document = generator_.get_document();  // a handle on the same entry
  const std::string writtenPrefix = std::string(schema::kWrittenFormPrefix) + prefixText;
  for (const std::string& word : writtenWords(writtenGenerator_, text))
    if (foldText(word) != word) document.add_term(writtenPrefix + word, writtenWeight);
}

void TextIndexer::indexBody(std::string_view body) {
  if (body.size() > kMaxIndexedBody) body = body.substr(0, kMaxIndexedBody);
  forEachBodyRun(body, [&](std::string_view run, bool quoted) {
    const Xapian::termcount weight = quoted ? schema::kQuotedWeight : schema::kNewTextWeight;
    indexText(run, {}, weight, true, weight);
    generator_.increase_termpos(kRunGap);
  });
}

void TextIndexer::build(const StoredArticle& article, std::string_view dedupeKey,
                        const std::vector<Archive>& archives, Xapian::Document& document) {
  generator_.set_document(document);
  indexText(article.subject, schema::kSubjectPrefix, 1, true, 1);
  generator_.increase_termpos(kFieldGap);
  indexText(article.subject, {}, schema::kSubjectWeight, false, schema::kSubjectWeight);
  indexText(article.from, schema::kAuthorPrefix, 1, true, 1);
  generator_.increase_termpos(kFieldGap);
  indexBody(article.body);

  document.add_boolean_term(schema::numberTerm(article.number));
  document.add_boolean_term(schema::messageIdTerm(dedupeKey));
  for (const std::string& group : article.groups)
    document.add_boolean_term(schema::groupTerm(group));
  if (const std::string address = authorAddress(article.from); !address.empty())
    document.add_boolean_term(schema::addressTerm(address));
  for (Archive archive : archives) document.add_boolean_term(schema::archiveTerm(archive));
  for (const std::string& term : schema::dateTermsOf(schema::dayOf(article.date)))
    document.add_boolean_term(term);

  document.add_value(schema::kDateSlot, schema::dateValue(article.date, article.number));
  document.add_value(schema::kSummarySlot, article.serializeSummary());
  document.set_data(article.serialize());
}

TextIndexer::Analysis TextIndexer::analyze(std::string_view text, std::string_view prefix) {
  Xapian::Document scratch;
  generator_.set_document(scratch);
  indexText(text, prefix, 1, true, 1);
  std::multimap<Xapian::termpos, std::string> byPosition;
  Analysis analysis;
  for (auto term = scratch.termlist_begin(); term != scratch.termlist_end(); ++term) {
    if (std::string_view(*term).starts_with(schema::kWrittenFormPrefix)) {
      analysis.writtenForms.push_back(*term);
      continue;
    }
    if (term.positionlist_count() == 0) {
      analysis.unpositioned.push_back(*term);
      continue;
    }
    for (auto pos = term.positionlist_begin(); pos != term.positionlist_end(); ++pos)
      byPosition.emplace(*pos, *term);
  }
  analysis.sequence.reserve(byPosition.size());
  for (auto& [position, term] : byPosition) analysis.sequence.push_back(term);
  return analysis;
}

}  // namespace varnook::server
