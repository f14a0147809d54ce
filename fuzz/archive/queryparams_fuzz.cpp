// Query parameters read from arbitrary text; the stored form of what was read, read again,
// gives the same fields as far as the stored form keeps them.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive/queryurl.h"
#include "archive/textsearch.h"

namespace {

std::string lowerCase(std::string text) {
  for (char& c : text) c = varnook::asciiLower(c);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnook;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ServiceSettings service;
  constexpr DayDate kNow = 36255.5;  // a fixed "now" for relative dates

  QueryFields read;
  parseQueryParameters(read, text);
  isQueryUrl(text);
  isArticleUrl(text);
  articleNumberFromUrl(text);
  buildQueryUrl(read, false, service, kNow);

  const std::string stored = buildQueryUrl(read, true, service, kNow);
  QueryFields again;
  if (!parseQueryParameters(again, stored).empty()) std::abort();

  const bool extended = read.keywords.find('~') != std::string::npos;
  if (again.keywords != compactBlanks(read.keywords)) std::abort();
  if (again.subject != (extended ? std::string() : compactBlanks(read.subject))) std::abort();
  if (again.author != (extended ? std::string() : compactBlanks(read.author))) std::abort();
  if (again.forum != (extended ? std::string() : compactBlanks(read.forum))) std::abort();
  if (again.matchAll != read.matchAll) std::abort();
  if (again.language != compactBlanks(lowerCase(read.language))) std::abort();
  if (again.archive != (read.archive > 0 ? read.archive : 0)) std::abort();
  if (again.thread != read.thread) std::abort();
  // Dates keep their day (and a relative date its whole days) and the time to the second.
  for (const auto& [before, after] :
       {std::pair{read.fromDate, again.fromDate}, std::pair{read.toDate, again.toDate}}) {
    if (before < 0) {
      // A relative date stays relative, to a millionth of a day.
      if (after >= 0 || std::fabs(after - before) > 1.5e-6) std::abort();
    } else if (std::fabs(after - before) > 1.0 / 86400) {
      std::abort();
    }
  }
  // And the stored form is a fixed point.
  if (buildQueryUrl(again, true, service, kNow) != stored) std::abort();
  return 0;
}
