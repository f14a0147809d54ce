#include "collection/queryfields.h"

#include <cmath>

namespace varnook {

bool QueryFields::sameQuery(const QueryFields& other) const {
  return subject == other.subject && forum == other.forum && author == other.author &&
         keywords == other.keywords && matchAll == other.matchAll &&
         std::round(fromDate) == std::round(other.fromDate) && toDate == other.toDate &&
         language == other.language && archive == other.archive && thread == other.thread;
}

std::string querySummaryText(const QueryFields& query) {
  // The service answers a thread without searching the other fields.
  if (query.thread != 0) return "Thread of article " + std::to_string(query.thread);
  std::string text = query.keywords;
  const struct {
    const std::string& value;
    char letter;
  } parts[] = {{query.author, 'a'}, {query.subject, 's'}, {query.forum, 'g'}};
  for (const auto& part : parts) {
    if (part.value.empty()) continue;
    const bool quoted = part.value.front() == '"' && part.value.back() == '"';
    const bool wrap = part.value.find(' ') != std::string::npos && !quoted;
    text += " ~";
    text += part.letter;
    text += ' ';
    if (wrap) text += '(';
    text += part.value;
    if (wrap) text += ')';
  }
  return text;
}

}  // namespace varnook
