#include "server/threads.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <optional>
#include <tuple>
#include <unordered_set>

#include "base/decimal.h"
#include "server/indexschema.h"

namespace varnook::server {
namespace {

constexpr char kLinkVersion = '\x01';
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr Archive kSpecialArchives[] = {Archive::Adult, Archive::Jobs, Archive::ForSale};

// A Message-ID's place in the thread graph. 64 bits keep accidental collisions out of
// reach of any archive; a deliberate one gains nothing that naming the ID in References
// would not give.
std::uint64_t idDigest(std::string_view id) {
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a, then a finalizer that spreads it
  for (char c : id) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdull;
  hash ^= hash >> 33;
  hash *= 0xc4ceb9fe1a85ec53ull;
  return hash ^ (hash >> 33);
}

void putVarint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out += static_cast<char>(value);
}

void putFixed(std::string& out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

struct Reader {
  std::string_view data;
  bool varint(std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64 && !data.empty(); shift += 7) {
      const auto byte = static_cast<unsigned char>(data.front());
      data.remove_prefix(1);
      value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
      if (byte < 0x80) return true;
    }
    return false;
  }
  bool fixed(std::uint64_t& value) {
    if (data.size() < 8) return false;
    value = 0;
    for (int i = 0; i < 8; ++i)
      value |= static_cast<std::uint64_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    data.remove_prefix(8);
    return true;
  }
};

}  // namespace

std::vector<std::string> messageIdTokens(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = std::string_view::npos;  // the "<" of the token being read
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '<') {
      start = i;  // a "<" inside starts the token again
    } else if (c == '>') {
      if (start != std::string_view::npos && i > start + 1)
        out.emplace_back(text.substr(start, i - start + 1));
      start = std::string_view::npos;
    } else if (static_cast<unsigned char>(c) <= ' ') {
      start = std::string_view::npos;  // no Message-ID holds a blank
    }
  }
  return out;
}

namespace {

std::string threadOfKey(std::uint32_t number) {
  return std::string(schema::kThreadOfKeyPrefix) + std::to_string(number);
}

std::string threadKey(std::uint32_t thread) {
  return std::string(schema::kThreadKeyPrefix) + std::to_string(thread);
}

std::optional<std::uint32_t> parseNumber(std::string_view text) {
  return parseDecimal<std::uint32_t>(text);
}

// One index entry's links, as read back.
struct Linked {
  Xapian::docid document = 0;
  std::uint32_t number = 0;
  std::uint64_t date = 0;
  bool hasId = false;
  std::uint64_t own = 0;
  std::size_t firstReference = 0, endReference = 0;  // into the shared reference list
};

bool readLinks(std::string_view value, Linked& linked, std::vector<std::uint64_t>& references) {
  if (value.empty() || value.front() != kLinkVersion) return false;
  Reader reader{value.substr(1)};
  std::uint64_t number = 0;
  if (!reader.varint(number) || number == 0 || number > kNone - 1 || !reader.varint(linked.date) ||
      reader.data.empty())
    return false;
  linked.number = static_cast<std::uint32_t>(number);
  linked.hasId = reader.data.front() == '\x01';
  reader.data.remove_prefix(1);
  if (linked.hasId && !reader.fixed(linked.own)) return false;
  if (reader.data.size() % 8 != 0) return false;
  linked.firstReference = references.size();
  for (std::uint64_t digest = 0; reader.fixed(digest);) references.push_back(digest);
  linked.endReference = references.size();
  return true;
}

class UnionFind {
 public:
  explicit UnionFind(std::size_t size) : parent_(size) {
    std::iota(parent_.begin(), parent_.end(), 0u);
  }
  std::uint32_t find(std::uint32_t node) {
    while (parent_[node] != node) node = parent_[node] = parent_[parent_[node]];
    return node;
  }
  void join(std::uint32_t a, std::uint32_t b) {
    a = find(a);
    b = find(b);
    if (a != b) parent_[std::max(a, b)] = std::min(a, b);
  }

 private:
  std::vector<std::uint32_t> parent_;
};

// The thread table being built: the metadata it wants under each prefix, by number.
using Entries = std::vector<std::pair<std::uint32_t, std::string>>;
struct Table {
  Entries threadOf, threads;
  ThreadCounts counts;
};

// Orders one thread (two or more entries, all `linked` indexes) as its reply tree and
// adds its records to the table.
void addThread(const std::vector<Linked>& linked, const std::vector<std::uint64_t>& references,
               const std::vector<std::uint64_t>& nodes, const std::vector<std::uint32_t>& heldBy,
               const std::vector<std::uint8_t>& archives, std::vector<std::uint32_t>& members,
               std::vector<std::uint32_t>& localOf, Table& table) {
  const std::size_t size = members.size();
  // Roots and siblings in date order: sorting the members once fixes both.
  std::sort(members.begin(), members.end(), [&](std::uint32_t a, std::uint32_t b) {
    return std::tie(linked[a].date, linked[a].number) < std::tie(linked[b].date, linked[b].number);
  });
  for (std::uint32_t i = 0; i < size; ++i) localOf[members[i]] = i;

  std::vector<std::uint32_t> parent(size, kNone);
  for (std::uint32_t i = 0; i < size; ++i) {
    const Linked& entry = linked[members[i]];
    for (std::size_t r = entry.endReference; r-- > entry.firstReference;) {
      const auto node = static_cast<std::uint32_t>(
          std::lower_bound(nodes.begin(), nodes.end(), references[r]) - nodes.begin());
      const std::uint32_t held = heldBy[node];
      if (held != kNone && held != members[i]) {
        parent[i] = localOf[held];
        break;
      }
    }
  }
  // References can form a loop (forged or broken headers): its earliest member, the one
  // first in `members`, becomes a root.
  std::vector<std::uint8_t> state(size, 0);  // 0 new, 1 on the current walk, 2 done
  std::vector<std::uint32_t> walk;
  for (std::uint32_t start = 0; start < size; ++start) {
    walk.clear();
    std::uint32_t at = start;
    while (at != kNone && state[at] == 0) {
      state[at] = 1;
      walk.push_back(at);
      at = parent[at];
    }
    if (at != kNone && state[at] == 1) {
      const auto loopStart = std::find(walk.begin(), walk.end(), at);
      parent[*std::min_element(loopStart, walk.end())] = kNone;
    }
    for (std::uint32_t i : walk) state[i] = 2;
  }

  // Children of each member in date order (counting sort keeps `members` order), then a
  // depth-first walk from each root.
  std::vector<std::uint32_t> firstChild(size + 1, 0), children(size);
  for (std::uint32_t i = 0; i < size; ++i)
    if (parent[i] != kNone) ++firstChild[parent[i] + 1];
  std::partial_sum(firstChild.begin(), firstChild.end(), firstChild.begin());
  std::vector<std::uint32_t> fill(firstChild.begin(), firstChild.end() - 1);
  for (std::uint32_t i = 0; i < size; ++i)
    if (parent[i] != kNone) children[fill[parent[i]]++] = i;

  const std::uint32_t thread =
      linked[*std::min_element(members.begin(), members.end(),
                               [&](std::uint32_t a, std::uint32_t b) {
                                 return linked[a].number < linked[b].number;
                               })]
          .number;
  std::string record;
  record.reserve(size * 6);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> stack;  // member, depth
  for (std::uint32_t root = size; root-- > 0;)
    if (parent[root] == kNone) stack.emplace_back(root, 0);
  while (!stack.empty()) {
    const auto [at, depth] = stack.back();
    stack.pop_back();
    const Linked& entry = linked[members[at]];
    putVarint(record, entry.number);
    putVarint(record, depth);
    record += static_cast<char>(archives[entry.document]);
    table.threadOf.emplace_back(entry.number, std::to_string(thread) + " " + std::to_string(size));
    for (std::uint32_t c = firstChild[at + 1]; c-- > firstChild[at];)
      stack.emplace_back(children[c], depth + 1);
  }
  table.threads.emplace_back(thread, std::move(record));
  if (size > table.counts.largest ||
      (size == table.counts.largest && thread < table.counts.largestThread)) {
    table.counts.largest = size;
    table.counts.largestThread = thread;
  }
}

// Brings the metadata under `prefix` to `wanted`, touching only what differs. Memory
// stays a few bytes a key beyond `wanted` itself.
void syncMetadata(Xapian::WritableDatabase& database, std::string_view prefix, Entries& wanted) {
  std::sort(wanted.begin(), wanted.end());
  const std::string start(prefix);
  std::vector<std::uint32_t> present;
  std::vector<std::string> foreign;
  for (auto it = database.metadata_keys_begin(start); it != database.metadata_keys_end(start);
       ++it) {
    const std::string key = *it;
    const auto number = parseNumber(std::string_view(key).substr(prefix.size()));
    if (number && key == start + std::to_string(*number)) {
      present.push_back(*number);
    } else {
      foreign.push_back(key);
    }
  }
  for (const std::string& key : foreign) database.set_metadata(key, {});
  std::vector<bool> written(wanted.size(), false);
  for (std::uint32_t number : present) {
    const std::string key = start + std::to_string(number);
    const auto found =
        std::lower_bound(wanted.begin(), wanted.end(), number,
                         [](const auto& entry, std::uint32_t n) { return entry.first < n; });
    if (found == wanted.end() || found->first != number) {
      database.set_metadata(key, {});
      continue;
    }
    written[static_cast<std::size_t>(found - wanted.begin())] = true;
    if (database.get_metadata(key) != found->second) database.set_metadata(key, found->second);
  }
  for (std::size_t i = 0; i < wanted.size(); ++i)
    if (!written[i])
      database.set_metadata(start + std::to_string(wanted[i].first), wanted[i].second);
}

std::uint8_t archivesOfDocument(const Xapian::Database& database, Xapian::docid document) {
  std::uint8_t bits = 0;
  for (Archive archive : kSpecialArchives) {
    const std::string term = schema::archiveTerm(archive);
    Xapian::PostingIterator posting = database.postlist_begin(term);
    posting.skip_to(document);
    if (posting != database.postlist_end(term) && *posting == document)
      bits |= static_cast<std::uint8_t>(1u << static_cast<int>(archive));
  }
  return bits;
}

}  // namespace

std::vector<std::string> referencedMessageIds(std::string_view references,
                                              std::string_view inReplyTo, std::string_view ownId) {
  const std::vector<std::string> fromReferences = messageIdTokens(references);
  const std::vector<std::string> fromReply = messageIdTokens(inReplyTo);
  const std::unordered_set<std::string_view> inReferences(fromReferences.begin(),
                                                          fromReferences.end());
  std::unordered_set<std::string_view> seen{ownId};
  std::vector<std::string> ids;
  for (const std::string& id : fromReply)
    if (!inReferences.count(id) && seen.insert(id).second) ids.push_back(id);
  for (const std::string& id : fromReferences)
    if (seen.insert(id).second) ids.push_back(id);
  if (ids.size() > kMaxThreadLinks)
    ids.erase(ids.begin() + 1, ids.end() - static_cast<std::ptrdiff_t>(kMaxThreadLinks - 1));
  return ids;
}

std::string threadLinkValue(const StoredArticle& article,
                            const std::vector<std::string>& referenced) {
  std::string value(1, kLinkVersion);
  putVarint(value, article.number);
  putVarint(value, static_cast<std::uint64_t>(article.date));
  value += article.messageId.empty() ? '\0' : '\x01';
  if (!article.messageId.empty()) putFixed(value, idDigest(article.messageId));
  for (const std::string& id : referenced) putFixed(value, idDigest(id));
  return value;
}

ThreadCounts updateThreadTable(Xapian::WritableDatabase& database) {
  std::vector<Linked> linked;
  std::vector<std::uint64_t> references;
  linked.reserve(database.get_doccount());
  for (auto it = database.valuestream_begin(schema::kThreadSlot);
       it != database.valuestream_end(schema::kThreadSlot); ++it) {
    Linked entry;
    entry.document = it.get_docid();
    if (readLinks(*it, entry, references)) {
      linked.push_back(entry);
    } else {
      references.resize(entry.firstReference);
    }
  }

  // Every Message-ID seen, owned or referenced, is a node; articles without one get a
  // node of their own after them.
  std::vector<std::uint64_t> nodes = references;
  for (const Linked& entry : linked)
    if (entry.hasId) nodes.push_back(entry.own);
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  const auto nodeOf = [&](std::uint64_t digest) {
    return static_cast<std::uint32_t>(std::lower_bound(nodes.begin(), nodes.end(), digest) -
                                      nodes.begin());
  };
  UnionFind components(nodes.size() + linked.size());
  std::vector<std::uint32_t> heldBy(nodes.size(), kNone), nodeOfEntry(linked.size());
  for (std::uint32_t i = 0; i < linked.size(); ++i) {
    const Linked& entry = linked[i];
    nodeOfEntry[i] = entry.hasId ? nodeOf(entry.own) : static_cast<std::uint32_t>(nodes.size() + i);
    if (entry.hasId && heldBy[nodeOfEntry[i]] == kNone) heldBy[nodeOfEntry[i]] = i;
    for (std::size_t r = entry.firstReference; r < entry.endReference; ++r)
      components.join(nodeOfEntry[i], nodeOf(references[r]));
  }

  std::vector<std::uint8_t> archives(database.get_lastdocid() + 1, 0);
  for (Archive archive : kSpecialArchives) {
    const std::string term = schema::archiveTerm(archive);
    for (auto it = database.postlist_begin(term); it != database.postlist_end(term); ++it)
      if (*it < archives.size())
        archives[*it] |= static_cast<std::uint8_t>(1u << static_cast<int>(archive));
  }

  std::vector<std::uint32_t> order(linked.size()), component(linked.size());
  for (std::uint32_t i = 0; i < linked.size(); ++i) component[i] = components.find(nodeOfEntry[i]);
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(),
            [&](std::uint32_t a, std::uint32_t b) { return component[a] < component[b]; });

  Table table;
  // Entries without links are threads of their own.
  table.counts.threads = database.get_doccount() - linked.size();
  table.counts.largest = table.counts.threads > 0 ? 1 : 0;
  std::vector<std::uint32_t> members, localOf(linked.size());
  for (std::size_t start = 0; start < order.size();) {
    std::size_t end = start + 1;
    while (end < order.size() && component[order[end]] == component[order[start]]) ++end;
    ++table.counts.threads;
    if (end - start == 1 && table.counts.largestThread == 0) {
      table.counts.largest = 1;
      table.counts.largestThread = linked[order[start]].number;
    } else if (end - start > 1) {
      members.assign(order.begin() + static_cast<std::ptrdiff_t>(start),
                     order.begin() + static_cast<std::ptrdiff_t>(end));
      addThread(linked, references, nodes, heldBy, archives, members, localOf, table);
    }
    start = end;
  }

  syncMetadata(database, schema::kThreadOfKeyPrefix, table.threadOf);
  syncMetadata(database, schema::kThreadKeyPrefix, table.threads);
  const ThreadCounts& counts = table.counts;
  database.set_metadata(schema::kThreadCountsKey, std::to_string(counts.threads) + " " +
                                                      std::to_string(counts.largest) + " " +
                                                      std::to_string(counts.largestThread));
  return counts;
}

namespace {

// The thread number and size that the table records for an article.
std::optional<std::pair<std::uint32_t, std::uint32_t>> threadEntry(const Xapian::Database& database,
                                                                   std::uint32_t number) {
  const std::string text = database.get_metadata(threadOfKey(number));
  const std::size_t blank = text.find(' ');
  if (blank == std::string::npos) return std::nullopt;
  const auto thread = parseNumber(std::string_view(text).substr(0, blank));
  const auto size = parseNumber(std::string_view(text).substr(blank + 1));
  if (!thread || !size) return std::nullopt;
  return std::pair(*thread, *size);
}

}  // namespace

std::vector<ThreadMember> threadOf(const Xapian::Database& database, std::uint32_t number) {
  std::vector<ThreadMember> members;
  if (const auto entry = threadEntry(database, number)) {
    const std::string record = database.get_metadata(threadKey(entry->first));
    Reader reader{record};
    std::uint64_t memberNumber = 0, depth = 0;
    while (reader.varint(memberNumber) && reader.varint(depth) && !reader.data.empty()) {
      members.push_back({static_cast<std::uint32_t>(memberNumber),
                         static_cast<std::uint32_t>(std::min<std::uint64_t>(depth, kNone)),
                         static_cast<std::uint8_t>(reader.data.front())});
      reader.data.remove_prefix(1);
    }
    const bool listed = std::any_of(members.begin(), members.end(),
                                    [&](const ThreadMember& m) { return m.number == number; });
    if (listed) return members;
    members.clear();  // a damaged table: the article is still shown, alone
  }
  const std::string term = schema::numberTerm(number);
  const Xapian::PostingIterator posting = database.postlist_begin(term);
  if (posting != database.postlist_end(term))
    members.push_back({number, 0, archivesOfDocument(database, *posting)});
  return members;
}

std::uint64_t threadSize(const Xapian::Database& database, std::uint32_t number) {
  const auto entry = threadEntry(database, number);
  return entry ? entry->second : 1;
}

bool inArchive(const ThreadMember& member, std::int32_t archive) {
  const auto has = [&](Archive special) {
    return (member.archives >> static_cast<int>(special)) & 1;
  };
  switch (archive) {
    case static_cast<int>(Archive::Complete):
      return true;
    case static_cast<int>(Archive::Adult):
    case static_cast<int>(Archive::Jobs):
    case static_cast<int>(Archive::ForSale):
      return has(static_cast<Archive>(archive));
    default:  // standard, also when absent or unknown
      return !has(Archive::Adult);
  }
}

ThreadCounts threadCounts(const Xapian::Database& database) {
  ThreadCounts counts;
  const std::string text = database.get_metadata(schema::kThreadCountsKey);
  const std::size_t first = text.find(' '), second = text.find(' ', first + 1);
  if (second == std::string::npos) return counts;
  const auto threads = parseNumber(text.substr(0, first));  // at most 2^32 articles
  const auto largest = parseNumber(text.substr(first + 1, second - first - 1));
  const auto thread = parseNumber(text.substr(second + 1));
  if (threads && largest && thread) counts = {*threads, *largest, *thread};
  return counts;
}

}  // namespace varnook::server
