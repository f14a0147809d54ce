#pragma once

// How articles are laid out in the Xapian index: term prefixes, value slots and metadata
// keys. Writers and readers of the index share these and nothing else.

#include <xapian.h>

#include <cstdint>
#include <string>
#include <string_view>

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

// Value slots.
inline constexpr Xapian::valueno kDateSlot = 0;  // sortable_serialise(UnixTime)
// The fields a result list shows (StoredArticle::serializeSummary): reading them does
// not decompress the stored article.
inline constexpr Xapian::valueno kSummarySlot = 1;
// The article's thread links (threadLinkValue in threads.h), written once with the entry.
inline constexpr Xapian::valueno kThreadSlot = 2;

// Metadata.
inline constexpr const char* kNextNumberKey = "varnook.next-number";
inline constexpr const char* kFormatKey = "varnook.format";
inline constexpr const char* kFormatVersion = "1";
inline constexpr const char* kTermlistKey = "varnook.termlist";  // "1": has term lists
// The thread table (threads.h), rewritten for each published generation: for each
// article in a thread of two or more, prefix + article number -> "<thread> <size>"; for
// each such thread, prefix + thread number -> its members in tree order; and the counts,
// "<threads> <largest size> <largest thread>". A thread's number is its lowest article
// number.
inline constexpr std::string_view kThreadOfKeyPrefix = "varnook.thread-of.";
inline constexpr std::string_view kThreadKeyPrefix = "varnook.thread.";
inline constexpr const char* kThreadCountsKey = "varnook.threads";

// Within-document frequency increments: a word in the subject counts most, new text more
// than quoted text and signatures, so an article that says a word ranks above one that
// only quotes it.
inline constexpr Xapian::termcount kSubjectWeight = 5;
inline constexpr Xapian::termcount kNewTextWeight = 3;
inline constexpr Xapian::termcount kQuotedWeight = 1;

std::string numberTerm(std::uint32_t number);
std::string messageIdTerm(std::string_view dedupeKey);
std::string groupTerm(std::string_view group);
std::string addressTerm(std::string_view address);
std::string archiveTerm(Archive archive);
std::string dateValue(UnixTime time);

}  // namespace varnook::server::schema
