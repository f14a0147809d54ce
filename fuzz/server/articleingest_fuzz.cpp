// Raw article bytes as found in spool files and mbox files: the file reader (plain or
// gzip-compressed, cut short, bombs and endless lines, under small limits), mbox
// splitting, the MIME ingest and its thread links, the stored record, the agent's text
// form and the index document.

#include <sys/mman.h>
#include <unistd.h>
#include <xapian.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/articleingest.h"
#include "server/articlesource.h"
#include "server/documentbuilder.h"
#include "server/grouprules.h"
#include "server/threads.h"

namespace {

using namespace varnook::server;

constexpr std::size_t kSmallArticle = 16 * 1024;

// The bytes as a file, read by the walker with small limits: what it delivers stays
// within them.
void walkAsFile(std::string_view bytes) {
  const int file = memfd_create("article", MFD_CLOEXEC);
  if (file < 0) return;
  if (::write(file, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) {
    SourceOptions options;
    options.maxArticleBytes = kSmallArticle;
    options.maxLineBytes = 100;
    SourceCounters counters;
    walkArticleSources(
        {"/proc/self/fd/" + std::to_string(file)},
        [&](RawArticle&& article) {
          if (article.bytes.size() > kSmallArticle || (article.oversized && !article.bytes.empty()))
            std::abort();
          return true;
        },
        [](std::string_view) {}, counters, options);
  }
  ::close(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static TextIndexer indexer;

  walkAsFile(bytes);
  // Lines handed on in pieces split an mbox the same way as whole lines.
  SourceOptions pieces;
  pieces.maxLineBytes = 64;
  if (splitMbox(bytes, "fuzz", pieces).size() != splitMbox(bytes, "fuzz").size()) std::abort();

  std::vector<RawArticle> articles = splitMbox(bytes, "fuzz");
  if (articles.empty()) articles.push_back(RawArticle{std::string(bytes), std::nullopt, "fuzz"});
  for (const RawArticle& raw : articles) {
    (void)quickMessageId(raw.bytes);
    IngestResult result = ingestArticle(raw.bytes, raw.envelopeDate);
    if (!result.article) {
      if (result.warning.empty()) std::abort();
      continue;
    }
    StoredArticle& article = *result.article;
    article.number = 1;
    // Thread links are well-formed Message-IDs, bounded in number, never the article's own.
    if (result.referenced.size() > kMaxThreadLinks) std::abort();
    for (const std::string& id : result.referenced)
      if (id.size() < 3 || id.front() != '<' || id.back() != '>' || id == article.messageId ||
          id.find_first_of(" \t\r\n", 0) != std::string::npos)
        std::abort();
    // The text form keeps its header block on clean single lines.
    const std::string text = article.plainText();
    const std::size_t end = text.front() == '\n' ? 0 : text.find("\n\n");
    if (end == std::string::npos) std::abort();
    for (std::size_t i = 0; i < end; ++i)
      if (text[i] == '\r' || text[i] == '\0') std::abort();
    // The stored record reads back.
    const auto back = StoredArticle::deserialize(article.serialize());
    if (!back || back->body != article.body || back->subject != article.subject) std::abort();
    try {
      Xapian::Document document;
      indexer.build(article, result.dedupeKey, GroupRules::defaults().archivesOf(article.groups),
                    document);
    } catch (const Xapian::Error&) {
      std::abort();  // every ingested article must be indexable
    }
  }
  return 0;
}
