#pragma once

// Builds the index entry of one article: its searchable terms, its values (date, groups)
// and its stored record.

#include <xapian.h>

#include <string>
#include <string_view>
#include <vector>

#include "server/grouprules.h"
#include "server/storedarticle.h"

namespace varnook::server {

// The mail address in a From text ("Name <a@b>", "a@b (Name)", "a@b"), lower-cased;
// empty when there is none.
std::string authorAddress(std::string_view from);

// Word indexing shared by the writer and the query side, so both split and fold text the
// same way (Unicode word rules, CJK text as n-grams, words folded by foldText, no
// stemming at index time). See indexschema.h for the terms it makes.
class TextIndexer {
 public:
  TextIndexer();

  // Fills `document` from the article: body and subject words, "S" subject words, "A"
  // author words, written forms of folded words, and the boolean terms for number,
  // dedupe key, groups, address and archives. The article must carry its number.
  void build(const StoredArticle& article, std::string_view dedupeKey,
             const std::vector<Archive>& archives, Xapian::Document& document);

  // The terms of `text` as they would be indexed under `prefix`: the folded words in
  // order, apart from them the CJK n-grams that carry no position, and the written forms
  // (with their "U" prefix) of the words whose folded form differs.
  struct Analysis {
    std::vector<std::string> sequence;
    std::vector<std::string> unpositioned;
    std::vector<std::string> writtenForms;
  };
  Analysis analyze(std::string_view text, std::string_view prefix = {});

 private:
  // Indexes `text` under `prefix` (with positions unless `positions` is false), and the
  // written forms of its folded words with `writtenWeight` (none when 0).
  void indexText(std::string_view text, std::string_view prefix, Xapian::termcount weight,
                 bool positions, Xapian::termcount writtenWeight);
  void indexBody(std::string_view body);

  Xapian::TermGenerator generator_;
  Xapian::TermGenerator writtenGenerator_;  // on the text as written
};

// Splits a body into runs for indexing: new text, and quoted text (lines beginning with
// ">", after optional blanks) together with the signature (after a "-- " line). Lines of
// uuencoded data are left out. Calls `run(text, quoted)` for each run in order.
template <typename RunSink>
void forEachBodyRun(std::string_view body, RunSink&& run);

}  // namespace varnook::server

#include "server/documentbuilder_inl.h"
