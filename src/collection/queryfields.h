#pragma once

#include <cstdint>
#include <string>

#include "base/daydate.h"

namespace varnook {

// The fields of a search query. A request carries them; the query panel fills them,
// the URL builder turns them into the service's search URL or the stored parameter form.
struct QueryFields {
  std::string subject;   // words that must occur in the subject ("subjects")
  std::string forum;     // newsgroup names or patterns ("groups")
  std::string author;    // author names or addresses ("authors")
  std::string keywords;  // free text; a "~" makes it a query in the extended syntax
  bool matchAll = true;  // all words must match ("defaultOp")
  DayDate fromDate = 0;  // 0 = not set, negative = days before sending
  DayDate toDate = 0;
  std::string language;      // "LNG"
  std::int32_t archive = 0;  // "DBS"; 0 or less = not sent
  // "thread": the thread of this article number instead of a search; 0 = none.
  std::uint32_t thread = 0;

  // Query equality: the texts, MatchAll, Language, Archive and Thread exactly, FromDate
  // rounded to whole days, ToDate exactly.
  bool sameQuery(const QueryFields& other) const;
};

// The one-line display text of a query in the service's extended syntax,
// e.g. "modem ~a (john smith) ~g comp.dcom.modems"; for a thread, "Thread of article 123".
std::string querySummaryText(const QueryFields& query);

}  // namespace varnook
