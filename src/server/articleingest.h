#pragma once

// Turns the raw bytes of one news article (RFC 5322 / RFC 1036 with MIME) into the
// archive's StoredArticle: headers unfolded and RFC 2047-decoded, the posting date read
// with fallbacks, and the text body decoded and converted to UTF-8 where a charset is
// declared. Built on GMime; safe to call from several threads at once.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/storedarticle.h"

namespace varnook::server {

// Articles larger than this are skipped with a warning.
inline constexpr std::size_t kMaxArticleBytes = 32u << 20;

struct IngestResult {
  // The article without its number (the index assigns it), or nothing when it was skipped.
  std::optional<StoredArticle> article;
  // The key under which the index recognises the article again: its Message-ID, or for an
  // article without one a digest of its bytes ("#" and hex digits).
  std::string dedupeKey;
  // The Message-IDs it refers to (referencedMessageIds in threads.h).
  std::vector<std::string> referenced;
  // Why the article was skipped, or what was repaired ("no readable date"); empty when
  // there was nothing to say.
  std::string warning;
};

// `envelopeDate` is the date of the mbox "From " line, used when no header has a
// readable date. Never throws.
IngestResult ingestArticle(std::string_view bytes,
                           std::optional<UnixTime> envelopeDate = std::nullopt);

// The Message-ID of a raw article, found by a quick scan of its header block without a
// full parse ("" when there is none). Used to skip articles the index already holds.
std::string quickMessageId(std::string_view bytes);

// The dedupe key ingestArticle would give an article with that Message-ID and bytes.
std::string dedupeKeyFor(std::string_view messageId, std::string_view bytes);

// The newsgroup names of a Newsgroups header: lower-cased, duplicates and malformed
// names dropped, in header order.
std::vector<std::string> parseNewsgroups(std::string_view value);

// Prepares GMime for use; ingestArticle calls it. Idempotent and thread-safe.
void initMimeLibrary();

}  // namespace varnook::server
