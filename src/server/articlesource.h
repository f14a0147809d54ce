#pragma once

// Finds the articles under the paths given to "index": mbox files (mboxrd or mboxo,
// plain or gzip-compressed), news spool folders (one article per file, searched
// recursively) and Maildirs. Files are recognised by their content, not their names.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/storedarticle.h"

namespace varnook::server {

struct RawArticle {
  std::string bytes;                     // the article as posted (mbox quoting removed)
  std::optional<UnixTime> envelopeDate;  // date of the mbox "From " line, if any
  std::string origin;                    // file name, and the message's place in an mbox
  bool oversized = false;                // longer than kMaxArticleBytes; bytes dropped
};

struct SourceCounters {
  std::uint64_t files = 0;     // files opened
  std::uint64_t articles = 0;  // articles handed to the sink
};

// Receives each article; returns false to stop the walk.
using ArticleSink = std::function<bool(RawArticle&&)>;
// Receives a warning line about a file or an article that could not be read.
using WarningSink = std::function<void(std::string_view)>;

// Walks every path in order: a folder recursively (entries sorted, numeric names by
// value; hidden entries and a Maildir's tmp/ skipped), a file as an mbox when it starts
// with "From ", otherwise as one article. Missing or unreadable paths are reported to
// `warn` and skipped. Returns false when the sink stopped the walk.
bool walkArticleSources(const std::vector<std::string>& paths, const ArticleSink& sink,
                        const WarningSink& warn, SourceCounters& counters);

// Splits mbox data held in memory into articles: the same rules as the file reader (a
// "From " line at the start or after an empty line begins a message; ">From " lines,
// with any number of ">", lose one ">"). For tests and fuzzing.
std::vector<RawArticle> splitMbox(std::string_view data, std::string_view origin);

}  // namespace varnook::server
