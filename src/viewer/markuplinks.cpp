#include "viewer/markuplinks.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/asciicase.h"

namespace varnook {
namespace {

using Table = std::array<bool, 256>;

constexpr Table makeTable(std::string_view chars) {
  Table t{};
  for (char c : chars) t[static_cast<unsigned char>(c)] = true;
  return t;
}

constexpr std::string_view kUrlTerminators{"\0\n\r \"'(),;<>", 12};
constexpr Table kUrlEnd = makeTable(kUrlTerminators);
constexpr Table kMailEnd = [] {
  Table t = makeTable(kUrlTerminators);
  for (char c : std::string_view("#&/?@[\\]")) t[static_cast<unsigned char>(c)] = true;
  return t;
}();

bool ends(const Table& t, char c) {
  return t[static_cast<unsigned char>(c)];
}

std::uint32_t pack(std::size_t offset, std::size_t length) {
  return static_cast<std::uint32_t>(offset) | (static_cast<std::uint32_t>(length) << 24);
}
std::size_t startOf(std::uint32_t link) {
  return link & 0xFFFFFF;
}
std::size_t endOf(std::uint32_t link) {
  return (link & 0xFFFFFF) + (link >> 24);
}

bool isContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A link cut by the length limit at `end` ends before a UTF-8 sequence that the cut would
// split; not below `minEnd`.
std::size_t cutBeforeSplitSequence(std::string_view text, std::size_t minEnd, std::size_t end) {
  if (end >= text.size() || !isContinuation(text[end])) return end;
  for (std::size_t back = 1; back <= 3 && end >= minEnd + back; ++back) {
    const auto lead = static_cast<unsigned char>(text[end - back]);
    if ((lead & 0xC0) == 0x80) continue;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return end - back + length > end ? end - back : end;
  }
  return end;
}

// Steps through the sorted links of earlier passes while the positions asked about grow.
class InsideCheck {
 public:
  explicit InsideCheck(const std::vector<std::uint32_t>& links) : links_(links) {}
  bool inside(std::size_t pos) {
    while (next_ < links_.size() && endOf(links_[next_]) <= pos) ++next_;
    return next_ < links_.size() && startOf(links_[next_]) <= pos;
  }

 private:
  const std::vector<std::uint32_t>& links_;
  std::size_t next_ = 0;
};

// Adds `added` (sorted by start; its links may overlap each other and `links`) to the
// sorted, non-overlapping `links`. A new link that overlaps others is merged with them;
// when the merged link would pass the length limit the new link is dropped.
void mergeLinks(std::vector<std::uint32_t>& links, const std::vector<std::uint32_t>& added) {
  if (added.empty()) return;
  std::vector<std::uint32_t> out;
  out.reserve(links.size() + added.size());
  std::size_t i = 0;
  for (const std::uint32_t link : added) {
    const std::size_t start = startOf(link);
    while (i < links.size() && startOf(links[i]) <= start) out.push_back(links[i++]);
    std::size_t unionStart = start;
    std::size_t unionEnd = endOf(link);
    const bool mergesBack = !out.empty() && endOf(out.back()) > start;
    if (mergesBack) {
      unionStart = startOf(out.back());
      unionEnd = std::max(unionEnd, endOf(out.back()));
    }
    std::size_t j = i;
    while (j < links.size() && startOf(links[j]) < unionEnd) {
      unionEnd = std::max(unionEnd, endOf(links[j]));
      ++j;
    }
    if (unionEnd - unionStart > MarkupLinks::kMaxLinkLength) continue;
    if (mergesBack) out.pop_back();
    out.push_back(pack(unionStart, unionEnd - unionStart));
    i = j;
  }
  while (i < links.size()) out.push_back(links[i++]);
  links.swap(out);
}

// One prefix pass: every occurrence of `lowerPrefix` (any letter case) outside the links
// found so far, with the bytes after it up to a terminator, makes a link.
void findPrefixLinks(std::string_view text, std::string_view lowerPrefix, const Table& terminators,
                     std::vector<std::uint32_t>& links, std::vector<std::uint32_t>& found) {
  found.clear();
  // Scan for the prefix's first non-letter byte; it is rarer than any letter.
  std::size_t anchor = 0;
  while (anchor < lowerPrefix.size() && lowerPrefix[anchor] >= 'a' && lowerPrefix[anchor] <= 'z') {
    ++anchor;
  }
  const char anchorChar = lowerPrefix[anchor];
  InsideCheck earlier(links);
  std::size_t minStart = 0;
  const char* const base = text.data();
  std::size_t from = anchor;
  while (from < text.size()) {
    const void* hit = std::memchr(base + from, anchorChar, text.size() - from);
    if (hit == nullptr) break;
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
    from = at + 1;
    const std::size_t start = at - anchor;
    if (start < minStart || !startsWithNoCase(text.substr(start), lowerPrefix)) continue;
    minStart = start + lowerPrefix.size();  // searching goes on behind the prefix
    if (earlier.inside(start)) continue;
    if (!found.empty() && endOf(found.back()) > start) continue;
    const std::size_t first = start + lowerPrefix.size();
    const std::size_t limit = std::min(text.size(), start + MarkupLinks::kMaxLinkLength);
    std::size_t end = first;
    while (end < limit && !ends(terminators, text[end])) ++end;
    if (end == limit) end = cutBeforeSplitSequence(text, first, end);
    if (end > first) found.push_back(pack(start, end - start));
  }
  mergeLinks(links, found);
}

// The address pass: every "@" outside the links found so far, with the bytes after it up
// to an e-mail terminator, extended backwards up to the previous terminator.
void findAddresses(std::string_view text, std::vector<std::uint32_t>& links,
                   std::vector<std::uint32_t>& found) {
  found.clear();
  InsideCheck earlier(links);
  const char* const base = text.data();
  std::size_t from = 0;
  while (from < text.size()) {
    const void* hit = std::memchr(base + from, '@', text.size() - from);
    if (hit == nullptr) break;
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
    from = at + 1;
    if (earlier.inside(at)) continue;
    const std::size_t limit = std::min(text.size(), at + MarkupLinks::kMaxLinkLength);
    std::size_t end = at + 1;
    while (end < limit && !ends(kMailEnd, text[end])) ++end;
    if (end == limit) end = cutBeforeSplitSequence(text, at + 1, end);
    if (end == at + 1) continue;  // "@" followed directly by a terminator
    const std::size_t minStart = end - std::min(end, MarkupLinks::kMaxLinkLength);
    std::size_t start = at;
    while (start > minStart && !ends(kMailEnd, text[start - 1])) --start;
    if (start == minStart && start > 0 && !ends(kMailEnd, text[start - 1])) {
      // Cut by the length limit: do not start inside a UTF-8 sequence.
      for (int i = 0; i < 3 && start < at && isContinuation(text[start]); ++i) ++start;
    }
    if (start == at) continue;  // nothing before the "@"
    found.push_back(pack(start, end - start));
  }
  mergeLinks(links, found);
}

}  // namespace

std::vector<std::uint32_t> MarkupLinks::findLinks(std::string_view text) {
  std::vector<std::uint32_t> links;
  if (text.empty() || text.size() > kMaxTextLength) return links;
  std::vector<std::uint32_t> found;
  findPrefixLinks(text, "http://", kUrlEnd, links, found);
  findPrefixLinks(text, "ftp://", kUrlEnd, links, found);
  findPrefixLinks(text, "www.", kUrlEnd, links, found);
  findPrefixLinks(text, "mailto:", kMailEnd, links, found);
  findAddresses(text, links, found);
  return links;
}

MarkupLinks::Result MarkupLinks::markup(std::string_view text) const {
  Result result;
  if (text.size() > kMaxTextLength) {
    result.error = "String is too long";
    return result;
  }
  const std::vector<std::uint32_t> links = findLinks(text);
  if (links.empty()) {
    result.text.assign(text);
    return result;
  }
  std::string& out = result.text;
  out.reserve(text.size() + links.size() * (insertBefore_.size() + insertAfter_.size()));
  std::size_t done = 0;
  std::string converted;
  for (const std::uint32_t link : links) {
    const std::size_t start = linkOffset(link);
    const std::size_t length = linkLength(link);
    out.append(text, done, start - done);
    if (onConvert_) {
      converted.assign(text, start, length);
      onConvert_(converted);
      out += converted;
    } else {
      out += insertBefore_;
      out.append(text, start, length);
      out += insertAfter_;
    }
    done = start + length;
  }
  out.append(text, done);
  return result;
}

}  // namespace varnook
