#include "collection/threadforest.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <unordered_map>

#include "base/asciicase.h"

namespace varnook {
namespace {

using Index = std::int32_t;
constexpr Index kNone = ThreadForest::none;

bool isBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The length of the reply or forward prefix that `text` begins with, 0 when none.
std::size_t replyPrefixLength(std::string_view text) {
  static constexpr std::string_view kPrefixes[] = {"re", "fwd", "fw", "aw", "sv"};
  for (const std::string_view prefix : kPrefixes) {
    if (!startsWithNoCase(text, prefix)) continue;
    std::size_t at = prefix.size();
    // A count, as some programs write it: "Re[2]:" or "Re^2:".
    const bool bracket = at < text.size() && text[at] == '[';
    if (bracket || (at < text.size() && text[at] == '^')) {
      ++at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
      if (bracket) {
        if (at >= text.size() || text[at] != ']') continue;
        ++at;
      }
    }
    if (at < text.size() && text[at] == ':') return at + 1;
  }
  return 0;
}

// The article the References of `article` name last among those held, or none.
Index referencedParent(const Article& article, Index self,
                       const std::unordered_map<std::string_view, Index>& byMessageId,
                       std::vector<std::string_view>& ids) {
  ids.clear();
  const std::string_view references = article.references;
  std::size_t at = 0;
  while (at < references.size()) {
    while (at < references.size() && isBlank(references[at])) ++at;
    const std::size_t start = at;
    while (at < references.size() && !isBlank(references[at])) ++at;
    if (at > start) ids.push_back(references.substr(start, at - start));
  }
  for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
    const auto found = byMessageId.find(*id);
    if (found != byMessageId.end() && found->second != self) return found->second;
  }
  return kNone;
}

// Cuts every loop of parent links at the link that closes it.
void cutLoops(std::vector<Index>& parent) {
  enum : char { unseen, onPath, done };
  std::vector<char> state(parent.size(), unseen);
  std::vector<Index> path;
  for (std::size_t start = 0; start < parent.size(); ++start) {
    path.clear();
    Index at = static_cast<Index>(start);
    while (at != kNone && state[static_cast<std::size_t>(at)] == unseen) {
      state[static_cast<std::size_t>(at)] = onPath;
      path.push_back(at);
      at = parent[static_cast<std::size_t>(at)];
    }
    if (at != kNone && state[static_cast<std::size_t>(at)] == onPath)
      parent[static_cast<std::size_t>(path.back())] = kNone;
    for (const Index visited : path) state[static_cast<std::size_t>(visited)] = done;
  }
}

}  // namespace

std::string_view threadSubject(std::string_view subject) {
  std::string_view rest = trimmed(subject);
  while (const std::size_t length = replyPrefixLength(rest)) rest = trimmed(rest.substr(length));
  return rest;
}

ThreadForest groupThreads(const std::vector<std::unique_ptr<Article>>& articles,
                          ThreadLinks links) {
  const std::size_t count = articles.size();
  ThreadForest forest;
  std::vector<Index>& parent = forest.parent;
  parent.assign(count, kNone);

  std::unordered_map<std::string_view, Index> byMessageId;
  byMessageId.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    if (!articles[i]->messageId.empty())
      byMessageId.try_emplace(articles[i]->messageId, static_cast<Index>(i));

  // Headers first; what they leave unplaced may join by subject.
  const bool bySubject = links == ThreadLinks::HeadersAndSubjects;
  std::vector<char> joinsBySubject(count, 0);
  std::vector<std::string_view> ids;
  for (std::size_t i = 0; i < count; ++i) {
    const Article& article = *articles[i];
    parent[i] = referencedParent(article, static_cast<Index>(i), byMessageId, ids);
    if (bySubject && parent[i] == kNone && (!article.isLoaded() || !ids.empty()))
      joinsBySubject[i] = 1;
  }
  cutLoops(parent);

  if (bySubject) {
    // The thread start of each subject within its forum: the article without a reply prefix
    // if there is one, else the oldest. Only articles that are roots so far qualify, so
    // subject links never close a loop.
    std::unordered_map<std::string, Index> starts;
    std::vector<std::string> keys(count);
    const auto rank = [&](Index i) {
      const Article& article = *articles[static_cast<std::size_t>(i)];
      const bool reply = threadSubject(article.subject).size() != trimmed(article.subject).size();
      return std::tuple(reply, article.date, i);
    };
    for (std::size_t i = 0; i < count; ++i) {
      if (parent[i] != kNone) continue;
      const std::string_view subject = threadSubject(articles[i]->subject);
      if (subject.empty()) continue;
      keys[i].reserve(articles[i]->forum.size() + 1 + subject.size());
      keys[i].append(articles[i]->forum).append(1, '\n').append(subject);
      const auto [start, added] = starts.try_emplace(keys[i], static_cast<Index>(i));
      if (!added && rank(static_cast<Index>(i)) < rank(start->second))
        start->second = static_cast<Index>(i);
    }
    for (std::size_t i = 0; i < count; ++i) {
      if (joinsBySubject[i] == 0 || keys[i].empty()) continue;
      const Index start = starts.find(keys[i])->second;
      if (start != static_cast<Index>(i)) parent[i] = start;
    }
  }

  // The children of each article together, after the roots.
  forest.childCount.assign(count, 0);
  for (const Index up : parent)
    if (up != kNone) ++forest.childCount[static_cast<std::size_t>(up)];
  forest.firstChild.assign(count, 0);
  Index next = static_cast<Index>(std::count(parent.begin(), parent.end(), kNone));
  forest.rootCount = next;
  for (std::size_t i = 0; i < count; ++i) {
    forest.firstChild[i] = next;
    next += forest.childCount[i];
  }
  forest.grouped.assign(count, 0);
  std::vector<Index> filled(count, 0);
  Index roots = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const Index up = parent[i];
    if (up == kNone) {
      forest.grouped[static_cast<std::size_t>(roots++)] = static_cast<Index>(i);
    } else {
      const auto u = static_cast<std::size_t>(up);
      forest.grouped[static_cast<std::size_t>(forest.firstChild[u] + filled[u]++)] =
          static_cast<Index>(i);
    }
  }
  const auto byDate = [&](Index a, Index b) {
    return std::tuple(articles[static_cast<std::size_t>(a)]->date, a) <
           std::tuple(articles[static_cast<std::size_t>(b)]->date, b);
  };
  forest.position.assign(count, 0);
  for (std::size_t i = 0; i <= count; ++i) {
    // The roots last, as the range past every article's children.
    auto [first, size] = forest.children(i < count ? static_cast<Index>(i) : kNone);
    auto* begin = forest.grouped.data() + (first - forest.grouped.data());
    if (i < count && size > 1) std::sort(begin, begin + size, byDate);
    for (Index row = 0; row < size; ++row)
      forest.position[static_cast<std::size_t>(begin[row])] = row;
  }
  return forest;
}

std::vector<std::pair<std::int32_t, std::int32_t>> ThreadForest::treeOrder() const {
  std::vector<std::pair<Index, Index>> order;
  order.reserve(size());
  std::vector<std::pair<Index, Index>> stack;
  for (Index root = rootCount - 1; root >= 0; --root)
    stack.emplace_back(grouped[static_cast<std::size_t>(root)], 0);
  while (!stack.empty()) {
    const auto [article, depth] = stack.back();
    stack.pop_back();
    order.emplace_back(article, depth);
    const auto [first, size] = children(article);
    for (Index child = size - 1; child >= 0; --child) stack.emplace_back(first[child], depth + 1);
  }
  return order;
}

}  // namespace varnook
