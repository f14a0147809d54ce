#pragma once

// Finds the articles under the paths given to "index": mbox files (mboxrd or mboxo,
// plain or gzip-compressed), news spool folders (one article per file, searched
// recursively) and Maildirs. Files are recognised by their content, not their names.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/articleingest.h"
#include "server/storedarticle.h"

namespace varnook::server {

struct RawArticle {
  std::string bytes;                     // the article as posted (mbox quoting removed)
  std::optional<UnixTime> envelopeDate;  // date of the mbox "From " line, if any
  std::string origin;                    // file name, and the message's place in an mbox
  bool oversized = false;                // longer than the article limit; bytes dropped
};

struct SourceOptions {
  // An article longer than this is not kept: it is delivered with `oversized` set and
  // no bytes, and a file that is one article is read no further.
  std::size_t maxArticleBytes = kMaxArticleBytes;
  // A line longer than this is handed on in pieces, so that a file without line ends
  // (or a compressed one that unpacks to gigabytes) is never held whole. At least 64.
  std::size_t maxLineBytes = 1u << 20;
  // Checked while reading, also inside a long file: once set, the walk ends soon.
  const std::atomic<bool>* stop = nullptr;
};

struct SourceCounters {
  std::uint64_t files = 0;      // files opened
  std::uint64_t articles = 0;   // articles handed to the sink
  std::uint64_t bytesRead = 0;  // bytes read from the files, after decompression
};

// Receives each article; returns false to stop the walk.
using ArticleSink = std::function<bool(RawArticle&&)>;
// Receives a warning line about a file or an article that could not be read.
using WarningSink = std::function<void(std::string_view)>;

// Walks every path in order: a folder recursively (entries sorted, numeric names by
// value; hidden entries and a Maildir's tmp/ skipped; each folder once, however many
// links lead to it), a file as an mbox when it starts with "From ", otherwise as one
// article. Missing or unreadable paths are reported to `warn` with the reason and
// skipped. Compressed data that ends early or is damaged is reported, and the article
// it cut off is not delivered. Returns false when the sink or `options.stop` ended the
// walk.
bool walkArticleSources(const std::vector<std::string>& paths, const ArticleSink& sink,
                        const WarningSink& warn, SourceCounters& counters,
                        const SourceOptions& options = {});

// Splits mbox data held in memory into articles: the same rules as the file reader (a
// "From " line at the start or after an empty line begins a message; ">From " lines,
// with any number of ">", lose one ">"), with the same limits. For tests and fuzzing.
std::vector<RawArticle> splitMbox(std::string_view data, std::string_view origin,
                                  const SourceOptions& options = {});

}  // namespace varnook::server
