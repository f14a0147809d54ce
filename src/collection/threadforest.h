#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "collection/article.h"

namespace varnook {

// How articles are joined into reply trees.
enum class ThreadLinks {
  // Only through the headers: an article hangs under the nearest article its References
  // name. Articles without a held referenced article are roots.
  Headers,
  // As above for loaded articles; an article whose text is not loaded (it has no Headers
  // yet), or whose References name no article held, hangs under the first article of its
  // forum with the same subject once reply prefixes are removed (the one without a prefix
  // when there is one, else the oldest).
  HeadersAndSubjects,
};

// The reply trees over a list of articles, by index into that list. Roots keep the list's
// order (a sorted list sorts its threads by their roots); siblings are ordered by date, then
// by list order, so a conversation reads in the order it was written. A loop of References is
// cut at the link that closes it, so every article is reached from exactly one root.
struct ThreadForest {
  static constexpr std::int32_t none = -1;

  std::vector<std::int32_t> parent;      // per article: its parent, or none for a root
  std::vector<std::int32_t> position;    // per article: its row among its siblings
  std::vector<std::int32_t> firstChild;  // per article: where its children begin in `grouped`
  std::vector<std::int32_t> childCount;  // per article
  // The roots in order (the first rootCount entries), then each article's children together.
  std::vector<std::int32_t> grouped;
  std::int32_t rootCount = 0;

  std::size_t size() const { return parent.size(); }
  // The children of `article` (none: the roots) as a range of `grouped`.
  std::pair<const std::int32_t*, std::int32_t> children(std::int32_t article) const {
    if (article == none) return {grouped.data(), rootCount};
    const auto at = static_cast<std::size_t>(article);
    return {grouped.data() + firstChild[at], childCount[at]};
  }
  // Every article once, each tree in order (parent before children), with its depth.
  std::vector<std::pair<std::int32_t, std::int32_t>> treeOrder() const;
};

ThreadForest groupThreads(const std::vector<std::unique_ptr<Article>>& articles, ThreadLinks links);

// The subject that joins replies to their thread: trimmed, and every leading reply or forward
// prefix removed ("Re:", "Fw:", "Fwd:", "AW:", "SV:", also counted as in "Re[2]:" or "Re^2:"),
// with the blanks after it. "Re: AW: Re[3]: Modem" gives "Modem".
std::string_view threadSubject(std::string_view subject);

}  // namespace varnook
