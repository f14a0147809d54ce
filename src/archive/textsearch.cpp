#include "archive/textsearch.h"

#include <cstring>

namespace varnook {
namespace {

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool matchesAt(const char* p, std::string_view needle) {
  for (std::size_t i = 0; i < needle.size(); ++i)
    if (asciiLower(p[i]) != asciiLower(needle[i])) return false;
  return true;
}

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && matchesAt(a.data(), b);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && matchesAt(text.data(), prefix);
}

std::size_t findNoCase(std::string_view haystack, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= haystack.size() ? from : std::string_view::npos;
  if (from > haystack.size() || haystack.size() - from < needle.size())
    return std::string_view::npos;
  const char* const begin = haystack.data();
  const char* const lastStart = begin + haystack.size() - needle.size();

  // Anchor on a byte whose case cannot vary, preferably not the first one of the needle.
  std::size_t anchor = needle.size();
  for (std::size_t i = needle.size(); i-- > 0;)
    if (!isAsciiLetter(needle[i])) {
      anchor = i;
      break;
    }
  if (anchor < needle.size()) {
    const char key = needle[anchor];
    const char* p = begin + from + anchor;
    const char* const end = lastStart + anchor + 1;
    while (p < end) {
      p = static_cast<const char*>(std::memchr(p, key, static_cast<std::size_t>(end - p)));
      if (p == nullptr) return std::string_view::npos;
      const char* start = p - anchor;
      if (matchesAt(start, needle)) return static_cast<std::size_t>(start - begin);
      ++p;
    }
    return std::string_view::npos;
  }

  // All letters: look for either case of the first letter.
  const char lower = asciiLower(needle[0]);
  const char upper = static_cast<char>(lower - 32);
  for (const char* p = begin + from; p <= lastStart; ++p) {
    if ((*p == lower || *p == upper) && matchesAt(p, needle))
      return static_cast<std::size_t>(p - begin);
  }
  return std::string_view::npos;
}

std::string_view trimControls(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return text.substr(b, e - b);
}

}  // namespace varnook
