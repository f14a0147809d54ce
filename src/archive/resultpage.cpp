#include "archive/resultpage.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "archive/encoding.h"
#include "archive/textsearch.h"
#include "collection/article.h"
#include "collection/request.h"

namespace varnook {
namespace {

// Fixed markers of the service's result page layout.
constexpr std::string_view kNoMatchSentence = "Your search did not match any articles at all";
constexpr std::string_view kNextPageMarker = "Next matches</a>";
constexpr std::string_view kCountMarker = "matches</font>";
constexpr std::string_view kEntryLinkMarker = "/getdoc.xp?AN=";
constexpr std::string_view kDescriptionEnd = "<p>";
constexpr std::string_view kForumLabel = "<b>Forum</b>:";
constexpr std::string_view kAuthorLabel = "<b>Author</b>:";
constexpr std::string_view kDateLabel = "<b>Date</b>:";

constexpr std::size_t npos = std::string_view::npos;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The nearest '"' before `pos`, never looking before the page start.
std::size_t quoteBefore(std::string_view page, std::size_t pos) {
  if (pos == 0) return npos;
  const void* hit = memrchr(page.data(), '"', pos);
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - page.data()) : npos;
}

std::size_t findChar(std::string_view text, char c, std::size_t from) {
  if (from >= text.size()) return npos;
  const void* hit = std::memchr(text.data() + from, c, text.size() - from);
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : npos;
}

// htmlToText with both flags, trimmed of codes 0..32, in place.
std::string fieldText(std::string_view html) {
  std::string text = htmlToText(html, true, true);
  std::size_t end = text.size();
  while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  std::size_t begin = 0;
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  text.resize(end);
  text.erase(0, begin);
  return text;
}

// The expected total: the digits just before the blanks that precede `markerPos`.
// A count too large for 32 bits saturates.
std::int32_t countBefore(std::string_view page, std::size_t markerPos) {
  std::size_t p = markerPos;
  while (p > 0 && page[p - 1] == ' ') --p;
  const std::size_t digitsEnd = p;
  while (p > 0 && isDigit(page[p - 1])) --p;
  std::int64_t value = 0;
  for (std::size_t i = p; i < digitsEnd; ++i) {
    value = value * 10 + (page[i] - '0');
    if (value > std::numeric_limits<std::int32_t>::max())
      return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

// Reads the article number at `pos` and returns the position behind its digits. A run of
// digits that does not fit 32 bits is no article number (0), like a missing one.
std::size_t readArticleNumber(std::string_view page, std::size_t pos, std::uint32_t& number) {
  std::uint64_t value = 0;
  bool overflow = false;
  while (pos < page.size() && isDigit(page[pos])) {
    if (!overflow) {
      value = value * 10 + static_cast<std::uint64_t>(page[pos] - '0');
      overflow = value > std::numeric_limits<std::uint32_t>::max();
    }
    ++pos;
  }
  number = overflow ? 0 : static_cast<std::uint32_t>(value);
  return pos;
}

}  // namespace

DayDate parseListDate(std::string_view text) {
  if (text.empty()) return 0;
  // Pages of the last century give the year in two digits ("99/03/25").
  if (text.size() > 2 && text[2] == '/' && isDigit(text[0]) && isDigit(text[1]))
    return parseShortDate((text[0] >= '7' ? "19" : "20") + std::string(text)).value_or(0);
  return parseShortDate(text).value_or(0);
}

std::string extractLabelledField(std::string_view text, std::string_view label,
                                 std::string_view terminator) {
  const std::size_t at = findNoCase(text, label);
  if (at == npos) return {};
  const std::size_t start = at + label.size();
  const std::size_t end = findNoCase(text, terminator, start);
  if (end == npos) return {};
  return fieldText(text.substr(start, end - start));
}

std::string parseResultPage(std::string_view page, Request& request) {
  // The page is read as a zero-terminated buffer: a NUL byte ends it.
  if (const void* nul = page.empty() ? nullptr : std::memchr(page.data(), '\0', page.size()))
    page = page.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - page.data()));

  if (findNoCase(page, kNoMatchSentence) != npos) return std::string(kNoMatches);

  // The next page's link: the href value that ends the nearest quote pair before the
  // link text.
  if (const std::size_t next = findNoCase(page, kNextPageMarker); next != npos) {
    const std::size_t urlEnd = quoteBefore(page, next);
    if (urlEnd == npos) return std::string(kNextUrlEndMissing);
    const std::size_t urlStart = quoteBefore(page, urlEnd);
    if (urlStart == npos) return std::string(kNextUrlStartMissing);
    request.url.assign(page.substr(urlStart + 1, urlEnd - urlStart - 1));
  }

  if (const std::size_t count = findNoCase(page, kCountMarker); count != npos)
    request.expectedTotal = countBefore(page, count);

  int entries = 0;
  std::size_t scan = 0;
  for (;;) {
    const std::size_t link = findNoCase(page, kEntryLinkMarker, scan);
    if (link == npos) break;
    ++entries;

    std::uint32_t number = 0;
    const std::size_t digitsEnd = readArticleNumber(page, link + kEntryLinkMarker.size(), number);
    const bool numberHasSuffix = digitsEnd < page.size() && page[digitsEnd] == '.';

    const std::size_t urlStart = quoteBefore(page, link);
    if (urlStart == npos) return std::string(kEntryUrlStartMissing);
    const std::size_t urlEnd = findChar(page, '"', digitsEnd);
    if (urlEnd == npos) return std::string(kEntryUrlEndMissing);
    const std::string_view entryUrl = page.substr(urlStart + 1, urlEnd - urlStart - 1);

    const std::size_t tagEnd = findChar(page, '>', urlEnd);
    if (tagEnd == npos) return std::string(kLinkTagEndMissing);
    const std::size_t subjectStart = tagEnd + 1;
    const std::size_t subjectEnd = findChar(page, '<', subjectStart);
    if (subjectEnd == npos) return std::string(kSubjectEndMissing);
    std::string subject = fieldText(page.substr(subjectStart, subjectEnd - subjectStart));

    const std::size_t descriptionEnd = findNoCase(page, kDescriptionEnd, subjectStart);
    if (descriptionEnd == npos) return std::string(kDescriptionEndMissing);
    // Up to and including the "<" of "<p>", so the last field always finds its terminator.
    const std::string_view description =
        page.substr(subjectStart, descriptionEnd + 1 - subjectStart);
    scan = descriptionEnd + kDescriptionEnd.size();

    // A number with a suffix ("AN=123.2") marks a follow-up hit whose subject carries
    // the hit's index after a "#".
    if (numberHasSuffix) {
      if (const std::size_t hash = subject.rfind('#'); hash != std::string::npos)
        subject.resize(hash);
    }

    Article* article = request.addArticle(number, subject);
    if (article == nullptr) continue;
    // The fields are only read for entries that become articles; reading them has no
    // other effect.
    article->url.assign(entryUrl);
    article->forum = extractLabelledField(description, kForumLabel, "<");
    article->author = extractLabelledField(description, kAuthorLabel, "<");
    article->date = parseListDate(extractLabelledField(description, kDateLabel, "<"));
    article->requestId = request.name;
    article->updateListItem();
  }

  if (entries == 0) return std::string(kNoEntriesNoNotice);
  return {};
}

}  // namespace varnook
