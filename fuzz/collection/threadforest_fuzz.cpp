// Reply trees over articles whose headers are arbitrary bytes: no crash, no sanitizer
// report, and in both ways of linking every article appears exactly once in tree order,
// under a parent that comes before it, whatever loops the References make.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "collection/threadforest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One article per line: subject, forum, Message-ID and References separated by tabs; a
  // line with a Message-ID counts as loaded.
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::unique_ptr<varnook::Article>> articles;
  for (std::size_t at = 0; at < input.size() && articles.size() < 500;) {
    const std::size_t end = std::min(input.find('\n', at), input.size());
    std::string fields[4];
    std::size_t field = 0;
    for (std::size_t i = at; i < end; ++i) {
      if (input[i] == '\t' && field < 3)
        ++field;
      else
        fields[field] += input[i];
    }
    auto article = std::make_unique<varnook::Article>(1, fields[0]);
    article->forum = fields[1];
    article->messageId = fields[2];
    article->references = fields[3];
    article->date = static_cast<double>(articles.size() % 7);
    if (!fields[2].empty()) article->text = "body";
    articles.push_back(std::move(article));
    at = end + 1;
  }
  for (const auto links :
       {varnook::ThreadLinks::Headers, varnook::ThreadLinks::HeadersAndSubjects}) {
    const varnook::ThreadForest forest = varnook::groupThreads(articles, links);
    std::vector<int> seen(articles.size(), 0);
    std::vector<std::int32_t> path;  // the ancestors of the current article
    for (const auto& [article, depth] : forest.treeOrder()) {
      if (++seen[static_cast<std::size_t>(article)] != 1) std::abort();
      path.resize(static_cast<std::size_t>(depth));
      const std::int32_t parent = forest.parent[static_cast<std::size_t>(article)];
      if ((depth == 0) != (parent == varnook::ThreadForest::none)) std::abort();
      if (depth > 0 && path.back() != parent) std::abort();
      path.push_back(article);
    }
    for (const int count : seen)
      if (count != 1) std::abort();
  }
  return 0;
}
