// Raw article bytes as found in spool files and mbox files: mbox splitting, the MIME
// ingest, the stored record, the agent's text form and the index document.

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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnook::server;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static TextIndexer indexer;

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
