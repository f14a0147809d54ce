#pragma once

// How articles are laid out in the Xapian index: term prefixes, value slots and metadata
// keys. Writers and readers of the index share these and nothing else.
//
// Format 2 (format 1 kept no body positions and did not fold accents; an index of format
// 1 must be made again):
//   - every word term is folded (foldText: case, accents, compatibility forms);
//   - body words carry positions, so phrases are answered by the index; quoted lines and
//     signatures have the same terms and positions with a within-document frequency of 0:
//     they match and take part in phrases but never add weight, so an article that says
//     a word ranks above one that only quotes it, however often;
//   - consecutive body runs (new text, quoted text) are a position apart, so a phrase
//     never spans a quotation boundary;
//   - a word whose written form differs from its folded form also adds the written form
//     (lower-cased) under "U" plus its field's prefix, without positions: a query written
//     with accents ranks the articles that write the word so above the others.
//   - threads (threads.h): value slot 2 keeps each entry's thread links, written once;
//     the thread table is recomputed for every published generation and kept in its
//     metadata (the keys below), so merging threads never rewrites a document.
//   - posting-date terms (an index whose metadata has kDateTermsKey): the UTC day, month
//     and year of each article, so a date range walks the articles of its days instead
//     of testing the date value of every article. Indexes made before them answer date
//     ranges from the date values.

#include <xapian.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/grouprules.h"
#include "server/storedarticle.h"

namespace varnook::server::schema {

// Positional word terms.
inline constexpr std::string_view kSubjectPrefix = "S";
inline constexpr std::string_view kAuthorPrefix = "A";
// Boolean terms.
inline constexpr std::string_view kGroupPrefix = "G";      // exact newsgroup name
inline constexpr std::string_view kAddressPrefix = "E";    // author's mail address
inline constexpr std::string_view kNumberPrefix = "Q";     // article number
inline constexpr std::string_view kMessageIdPrefix = "M";  // dedupe key
inline constexpr std::string_view kArchivePrefix = "K";    // special archive membership
// Written forms of folded words, followed by the field's prefix: "U" body and subject
// words, "US" subject, "UA" author.
inline constexpr std::string_view kWrittenFormPrefix = "U";
inline constexpr std::string_view kDayPrefix = "XD";    // XD19930410
inline constexpr std::string_view kMonthPrefix = "XM";  // XM199304
inline constexpr std::string_view kYearPrefix = "XY";   // XY1993

// Value slots.
// The posting date and the article number (dateValue): sorting by it orders by date and
// never leaves a tie, so results come in the same order however the index was built.
inline constexpr Xapian::valueno kDateSlot = 0;
// The fields a result list shows (StoredArticle::serializeSummary): reading them does
// not decompress the stored article.
inline constexpr Xapian::valueno kSummarySlot = 1;
// The article's thread links (threadLinkValue in threads.h), written once with the entry.
inline constexpr Xapian::valueno kThreadSlot = 2;

// Metadata.
inline constexpr const char* kNextNumberKey = "varnook.next-number";
inline constexpr const char* kFormatKey = "varnook.format";
inline constexpr const char* kFormatVersion = "2";
// What to do with an index of an older format, as the commands say it.
inline constexpr const char* kReindexAdvice =
    "index its articles again into a new folder (varnook-archive index --db NEWDIR PATH...) "
    "and serve that one";
// "1": every article of the index has its posting-date terms.
inline constexpr const char* kDateTermsKey = "varnook.date-terms";
inline constexpr const char* kTermlistKey = "varnook.termlist";  // "1": has term lists
// The thread table (threads.h), rewritten for each published generation: for each
// article in a thread of two or more, prefix + article number -> "<thread> <size>"; for
// each such thread, prefix + thread number -> its members in tree order; and the counts,
// "<threads> <largest size> <largest thread>". A thread's number is its lowest article
// number.
inline constexpr std::string_view kThreadOfKeyPrefix = "varnook.thread-of.";
inline constexpr std::string_view kThreadKeyPrefix = "varnook.thread.";
inline constexpr const char* kThreadCountsKey = "varnook.threads";

// Within-document frequency increments: a word in the subject counts most, then new
// text; quoted text and signatures count nothing (see the format notes above).
inline constexpr Xapian::termcount kSubjectWeight = 5;
inline constexpr Xapian::termcount kNewTextWeight = 3;
inline constexpr Xapian::termcount kQuotedWeight = 0;

std::string numberTerm(std::uint32_t number);
std::string messageIdTerm(std::string_view dedupeKey);
std::string groupTerm(std::string_view group);
std::string addressTerm(std::string_view address);
std::string archiveTerm(Archive archive);
// The sort value: the date, then the number, so that ties are ordered by number.
std::string dateValue(UnixTime time, std::uint32_t number);
// Bounds for date ranges over those values: every article of `time` sorts after
// dateFloor(time) and before dateCeiling(time).
std::string dateFloor(UnixTime time);
std::string dateCeiling(UnixTime time);
// The date of a value made by dateValue.
UnixTime dateOfValue(std::string_view value);

// Days since 1970-01-01 (UTC) of a time, the day the date terms give it.
std::int64_t dayOf(UnixTime time);
// The day, month and year terms of an article posted on `day`; none for days outside
// the years 1 to 9999.
std::vector<std::string> dateTermsOf(std::int64_t day);
// The fewest date terms that together hold exactly the articles of the days first..last
// (whole years and months where the range covers them); nothing when the range reaches
// beyond the years the terms cover.
std::optional<std::vector<std::string>> dateRangeTerms(std::int64_t first, std::int64_t last);

}  // namespace varnook::server::schema
