#pragma once

// Conversations. Two articles belong to one thread when one's Message-ID appears in the
// other's References or In-Reply-To header, and transitively, also through Message-IDs
// the archive does not hold (replies to a lost root stay together). Inside a thread the
// articles form a reply tree: an article's parent is the nearest article it refers to
// that the archive holds; roots and siblings are ordered by date, then by number.
//
// Each index entry keeps its own thread links (a value slot, written once). The thread
// table is recomputed from all links for every generation the index publishes and kept
// in the generation's metadata, so it always describes exactly the articles published
// with it, whatever order they came in.

#include <xapian.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/grouprules.h"
#include "server/storedarticle.h"

namespace varnook::server {

// The "<...>" tokens of a header text that can be Message-IDs (no blanks inside), in order.
std::vector<std::string> messageIdTokens(std::string_view text);

// Message-IDs an article refers to: the "<...>" tokens of In-Reply-To that References
// lacks, then those of References in order, so the last one names the direct parent.
// Duplicates and the article's own ID are dropped. A list longer than kMaxThreadLinks
// keeps its first entry (the root) and its last ones.
inline constexpr std::size_t kMaxThreadLinks = 64;
std::vector<std::string> referencedMessageIds(std::string_view references,
                                              std::string_view inReplyTo, std::string_view ownId);

// The value an index entry keeps in schema::kThreadSlot: number, date and digests of its
// own and the referenced Message-IDs.
std::string threadLinkValue(const StoredArticle& article,
                            const std::vector<std::string>& referenced);

struct ThreadCounts {
  std::uint64_t threads = 0;        // an article without links is a thread of its own
  std::uint64_t largest = 0;        // articles in the largest thread
  std::uint32_t largestThread = 0;  // its number (its first article by number)
};

// Recomputes the thread table from the thread links of every entry and writes what
// changed into the database's metadata (not committed). Entries without links count as
// threads of their own. Throws Xapian::Error.
ThreadCounts updateThreadTable(Xapian::WritableDatabase& database);

struct ThreadMember {
  std::uint32_t number = 0;
  std::uint32_t depth = 0;    // 0 for a root
  std::uint8_t archives = 0;  // bit (1 << Archive) for the special archives it belongs to
};

// The thread of article `number` in tree order: the article alone when it has no
// thread, nothing when the index does not hold it. Throws Xapian::Error.
std::vector<ThreadMember> threadOf(const Xapian::Database& database, std::uint32_t number);

// The number of articles in article `number`'s thread (1 for an article alone), read
// without the thread's list.
std::uint64_t threadSize(const Xapian::Database& database, std::uint32_t number);

// Whether a member is in the archive a search names (DBS, with the same default).
bool inArchive(const ThreadMember& member, std::int32_t archive);

ThreadCounts threadCounts(const Xapian::Database& database);

}  // namespace varnook::server
