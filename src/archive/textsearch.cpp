#include "archive/textsearch.h"

#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

std::size_t findNoCase(std::string_view haystack, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= haystack.size() ? from : std::string_view::npos;
  if (from > haystack.size() || haystack.size() - from < needle.size())
    return std::string_view::npos;
  const char* const begin = haystack.data();
  const char* const lastStart = begin + haystack.size() - needle.size();
  const char* p = begin + from;

#if defined(__SSE2__)
  // Sixteen candidate starts at a time: a start qualifies when both the needle's first and
  // last bytes match there (either case of a letter: OR-ing 0x20 folds exactly the two
  // cases of a letter onto its lower case). Only the qualifying starts are compared fully.
  const std::size_t lastOffset = needle.size() - 1;
  const char first = needle[0], last = needle[lastOffset];
  const __m128i firstFold = _mm_set1_epi8(isAsciiLetter(first) ? 0x20 : 0);
  const __m128i firstKey = _mm_set1_epi8(isAsciiLetter(first) ? asciiLower(first) : first);
  const __m128i lastFold = _mm_set1_epi8(isAsciiLetter(last) ? 0x20 : 0);
  const __m128i lastKey = _mm_set1_epi8(isAsciiLetter(last) ? asciiLower(last) : last);
  // The candidate starts at..at+15 whose first and last bytes match, as a byte mask.
  const auto hitsAt = [&](const char* at) {
    const __m128i firsts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i lasts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + lastOffset));
    return _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(firsts, firstFold), firstKey),
                         _mm_cmpeq_epi8(_mm_or_si128(lasts, lastFold), lastKey));
  };
  const auto candidates = [&](const char* at) {
    return static_cast<unsigned>(_mm_movemask_epi8(hitsAt(at)));
  };
  // Long stretches without a candidate go by 32 starts at a time.
  while (lastStart - p >= 31) {
    const __m128i low = hitsAt(p), high = hitsAt(p + 16);
    if (_mm_movemask_epi8(_mm_or_si128(low, high)) == 0) {
      p += 32;
      continue;
    }
    const unsigned lowMask = static_cast<unsigned>(_mm_movemask_epi8(low));
    const unsigned highMask = static_cast<unsigned>(_mm_movemask_epi8(high));
    for (unsigned mask = lowMask | highMask << 16; mask != 0; mask &= mask - 1) {
      const char* start = p + __builtin_ctz(mask);
      if (matchesAt(start, needle)) return static_cast<std::size_t>(start - begin);
    }
    p += 32;
  }
  while (lastStart - p >= 15) {
    for (unsigned mask = candidates(p); mask != 0; mask &= mask - 1) {
      const char* start = p + __builtin_ctz(mask);
      if (matchesAt(start, needle)) return static_cast<std::size_t>(start - begin);
    }
    p += 16;
  }
  // The last few starts: one more block ending at the last start when the haystack holds
  // one, leaving out the starts already looked at.
  if (p <= lastStart && lastStart - begin >= 15) {
    const char* const blockStart = lastStart - 15;
    const unsigned skipped = static_cast<unsigned>(p - blockStart);
    for (unsigned mask = candidates(blockStart) >> skipped << skipped; mask != 0;
         mask &= mask - 1) {
      const char* start = blockStart + __builtin_ctz(mask);
      if (matchesAt(start, needle)) return static_cast<std::size_t>(start - begin);
    }
    return std::string_view::npos;
  }
  for (; p <= lastStart; ++p)
    if (matchesAt(p, needle)) return static_cast<std::size_t>(p - begin);
  return std::string_view::npos;
#else
  // Anchor on a byte whose case cannot vary, preferably not the first one of the needle.
  std::size_t anchor = needle.size();
  for (std::size_t i = needle.size(); i-- > 0;)
    if (!isAsciiLetter(needle[i])) {
      anchor = i;
      break;
    }
  if (anchor < needle.size()) {
    const char key = needle[anchor];
    p += anchor;
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
  for (; p <= lastStart; ++p) {
    if ((*p == lower || *p == upper) && matchesAt(p, needle))
      return static_cast<std::size_t>(p - begin);
  }
  return std::string_view::npos;
#endif
}

std::optional<std::int32_t> parseInt32(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::string_view trimControls(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return text.substr(b, e - b);
}

}  // namespace varnook
