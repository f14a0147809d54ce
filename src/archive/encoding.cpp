#include "archive/encoding.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "archive/textsearch.h"

namespace varnook {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr std::array<std::uint8_t, 256> makeEscapeTable(bool blanksAsPlus) {
  std::array<std::uint8_t, 256> table{};
  for (char c : std::string_view("\n\r \"#%&'()*+,/:;<>?@\\^~"))
    table[static_cast<unsigned char>(c)] = 1;
  if (blanksAsPlus) table[' '] = 0;
  return table;
}
constexpr std::array<std::uint8_t, 256> kEscape = makeEscapeTable(false);
constexpr std::array<std::uint8_t, 256> kEscapeKeepBlank = makeEscapeTable(true);

// What urlEncode writes for a byte: up to three output bytes, and in the fourth byte their
// count.
struct alignas(4) EncodedByte {
  char bytes[4];
};
constexpr std::array<EncodedByte, 256> makeEncodedTable(bool blanksAsPlus) {
  std::array<EncodedByte, 256> table{};
  for (unsigned c = 0; c < 256; ++c) {
    if (c == ' ' && blanksAsPlus)
      table[c] = {{'+', 0, 0, 1}};
    else if (kEscape[c])
      table[c] = {{'%', kHexDigits[c >> 4], kHexDigits[c & 15], 3}};
    else
      table[c] = {{static_cast<char>(c), 0, 0, 1}};
  }
  return table;
}
constexpr std::array<EncodedByte, 256> kEncodedPercent = makeEncodedTable(false);
constexpr std::array<EncodedByte, 256> kEncodedPlus = makeEncodedTable(true);

#if defined(__SSE2__)
// The bytes of `v` that urlEncode escapes, as a byte mask (0xFF = escaped). The set is
// LF, CR, 34..44 without "$", 58..64 without "=", and "/ \\ ^ ~"; the blank counts when
// `blankKey` is a blank (pass another escaped byte to leave it out).
__m128i escapeMask(__m128i v, __m128i blankKey) {
  const auto equal = [v](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
  const auto inRange = [v](char low, char span) {
    const __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8(low));
    return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(span)), offset);
  };
  const __m128i ranges = _mm_or_si128(_mm_andnot_si128(equal('$'), inRange('"', 10)),
                                      _mm_andnot_si128(equal('='), inRange(':', 6)));
  const __m128i singles = _mm_or_si128(
      _mm_or_si128(_mm_or_si128(equal('\n'), equal('\r')), _mm_or_si128(equal('/'), equal('\\'))),
      _mm_or_si128(_mm_or_si128(equal('^'), equal('~')), _mm_cmpeq_epi8(v, blankKey)));
  return _mm_or_si128(ranges, singles);
}
#endif

// How many bytes urlEncode escapes (the blank only when it is not written as "+").
std::size_t countEscapes(const unsigned char* in, std::size_t size, bool blanksAsPlus) {
  std::size_t count = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i blankKey = _mm_set1_epi8(blanksAsPlus ? '~' : ' ');
  const __m128i zero = _mm_setzero_si128();
  while (size - i >= 16) {
    // Per-byte counters, summed up before any of them can pass 255.
    __m128i counters = zero;
    for (int block = 0; block < 255 && size - i >= 16; ++block, i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      counters = _mm_sub_epi8(counters, escapeMask(v, blankKey));
    }
    const __m128i sums = _mm_sad_epu8(counters, zero);
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  const std::array<std::uint8_t, 256>& table = blanksAsPlus ? kEscapeKeepBlank : kEscape;
  for (; i < size; ++i) count += table[in[i]];
  return count;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The Latin-1 entity names for the codes 160 to 255, in code order.
constexpr std::string_view kLatin1Entities[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

bool isAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Character classes of htmlToText's fast path: 0 = plain, copied as it stands.
enum : std::uint8_t { kPlain = 0, kTagOpen = 1, kAmp = 2, kSpace = 4 };

constexpr std::array<std::uint8_t, 256> makeHtmlClasses() {
  std::array<std::uint8_t, 256> table{};
  table['<'] = kTagOpen;
  table['&'] = kAmp;
  table[' '] = table['\t'] = table['\n'] = table['\r'] = kSpace;
  return table;
}
constexpr std::array<std::uint8_t, 256> kHtmlClass = makeHtmlClasses();

}  // namespace

std::string urlEncode(std::string_view text, bool blanksAsPlus) {
  const unsigned char* const in = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();

  const std::array<EncodedByte, 256>& codes = blanksAsPlus ? kEncodedPlus : kEncodedPercent;
  // Writes each byte's (up to three) output bytes plus one spare byte at once and moves on
  // by their true length: no branches. The spare bytes land where the next byte writes, or
  // in slack that is cut off.
  const auto encodeInto = [&](char* o) {
    for (std::size_t i = 0; i < size; ++i) {
      std::uint32_t word;
      std::memcpy(&word, codes[in[i]].bytes, 4);
      std::memcpy(o, &word, 4);
      // The count is the fourth byte in memory: the top byte of the word on little-endian.
      if constexpr (std::endian::native == std::endian::little)
        o += word >> 24;
      else
        o += word & 0xFF;
    }
    return o;
  };

  // A short value (a query parameter) is encoded in one pass on the stack and copied out.
  constexpr std::size_t kShort = 128;
  if (size <= kShort) {
    char buffer[3 * kShort + 4];
    const char* const end = encodeInto(buffer);
    return std::string(buffer, static_cast<std::size_t>(end - buffer));
  }

  // First pass: the number of escaped characters sizes the result exactly.
  const std::size_t escapes = countEscapes(in, size, blanksAsPlus);
  if (escapes == 0 && (!blanksAsPlus || text.find(' ') == std::string_view::npos))
    return std::string(text);

  const std::size_t length = size + 2 * escapes;
  std::string out(length + 4, '\0');
  encodeInto(out.data());
  out.resize(length);
  return out;
}

std::string urlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      const std::size_t left = text.size() - i - 1;
      if (left >= 2) {
        const int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
        out += (hi < 0 || lo < 0) ? '?' : static_cast<char>(hi * 16 + lo);
        i += 2;
      } else if (left == 1) {
        const int v = hexValue(text[i + 1]);
        out += v < 0 ? '?' : static_cast<char>(v);
        i += 1;
      } else {
        out += '?';
      }
    } else {
      out += c;
    }
  }
  return out;
}

int htmlEntityChar(std::string_view name) {
  if (name.empty()) return 0;
  if (equalsNoCase(name, "lt")) return '<';
  if (equalsNoCase(name, "gt")) return '>';
  if (equalsNoCase(name, "amp")) return '&';
  if (equalsNoCase(name, "quot")) return '"';
  if (equalsNoCase(name, "nbsp")) return ' ';
  if (name[0] >= '0' && name[0] <= '9') {
    // A decimal number within the 32-bit range; anything else counts as 0.
    std::int64_t value = 0;
    for (char c : name) {
      if (c < '0' || c > '9') return 0;
      value = value * 10 + (c - '0');
      if (value > 0x7FFFFFFF) return 0;
    }
    return static_cast<int>(value & 0xFF);
  }
  for (int i = 0; i < 96; ++i) {
    const std::string_view entity = kLatin1Entities[i];
    if (entity.size() == name.size() && entity[0] == name[0] && entity == name) return 160 + i;
  }
  return 0;
}

std::string htmlToText(std::string_view html, bool dropTags, bool collapseWhiteSpace) {
  std::string out(html.size(), '\0');
  char* const outBegin = out.data();
  char* o = outBegin;
  const char* p = html.data();
  const char* const end = p + html.size();
  bool lastCollapsed = false;

  // Class bits that end a plain run.
  const std::uint8_t stopMask = static_cast<std::uint8_t>(kAmp | (dropTags ? kTagOpen : 0) |
                                                          (collapseWhiteSpace ? kSpace : 0));
#if defined(__SSE2__)
  const __m128i ampKey = _mm_set1_epi8('&');
  const __m128i tagKey = _mm_set1_epi8(dropTags ? '<' : '&');
  const __m128i blankKey = _mm_set1_epi8(' ');
  const __m128i tabKey = _mm_set1_epi8('\t');
  const __m128i lfKey = _mm_set1_epi8('\n');
  const __m128i crKey = _mm_set1_epi8('\r');
  const __m128i closeKey = _mm_set1_epi8('>');
#endif

  // Skips a tag whose "<" was just read: up to and including its ">", or to the end.
  auto skipTag = [&] {
#if defined(__SSE2__)
    if (end - p >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(block, closeKey));
      if (mask != 0) {
        p += __builtin_ctz(static_cast<unsigned>(mask)) + 1;
        return;
      }
    }
#endif
    const void* close = std::memchr(p, '>', static_cast<std::size_t>(end - p));
    p = close ? static_cast<const char*>(close) + 1 : end;
  };

  while (p < end) {
    bool atSpecial = false;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the block is stored at `o` speculatively and `o` moves on by
    // its plain prefix. The output never runs ahead of the input, so the store stays inside
    // the buffer whenever the load does. With collapsing on, a blank after a character
    // comes out as it stands (it starts the collapsed state), so only a blank after white
    // space or after a collapsed blank stops the block.
    while (end - p >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), block);
      __m128i stops = _mm_or_si128(_mm_cmpeq_epi8(block, ampKey), _mm_cmpeq_epi8(block, tagKey));
      if (collapseWhiteSpace) {
        const __m128i blanks = _mm_cmpeq_epi8(block, blankKey);
        const __m128i others =
            _mm_or_si128(_mm_cmpeq_epi8(block, tabKey),
                         _mm_or_si128(_mm_cmpeq_epi8(block, lfKey), _mm_cmpeq_epi8(block, crKey)));
        const __m128i afterWhite = _mm_or_si128(_mm_slli_si128(_mm_or_si128(blanks, others), 1),
                                                _mm_cvtsi32_si128(lastCollapsed ? 0xFF : 0));
        stops = _mm_or_si128(stops, _mm_or_si128(others, _mm_and_si128(blanks, afterWhite)));
      }
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stops));
      const unsigned plain = mask == 0 ? 16 : static_cast<unsigned>(__builtin_ctz(mask));
      if (plain != 0) lastCollapsed = collapseWhiteSpace && p[plain - 1] == ' ';
      p += plain;
      o += plain;
      if (mask != 0) {
        atSpecial = true;
        break;
      }
    }
#endif
    if (!atSpecial) {
      // A plain run is copied as it stands.
      while (p < end && (kHtmlClass[static_cast<unsigned char>(*p)] & stopMask) == 0) {
        *o++ = *p++;
        lastCollapsed = false;
      }
      if (p == end) break;
    }

    const char c = *p++;
    if (c == '<') {
      skipTag();
      continue;
    }
    if (c == '&') {
      // An entity: its letters and digits are collected up to ";" or the first other
      // character. A tag inside it is dropped without ending it.
      char* const ampersand = o;
      *o++ = '&';
      while (p < end) {
        const char e = *p++;
        if (dropTags && e == '<') {
          skipTag();
          continue;
        }
        lastCollapsed = false;
        if (e == ';') {
          const std::string_view name(ampersand + 1, static_cast<std::size_t>(o - ampersand - 1));
          const int ch = htmlEntityChar(name);
          if (ch != 0) {
            o = ampersand;
            *o++ = static_cast<char>(ch);
          }
          break;
        }
        *o++ = e;
        if (!isAlnum(e)) break;
      }
      // An entity still open at the end stays as "&name".
      continue;
    }
    // White space with collapsing on: one blank for the run, none after a collapsed blank.
    // Further white space adds nothing while the state lasts, so the run is passed at once.
    if (!lastCollapsed) {
      *o++ = ' ';
      lastCollapsed = true;
    }
    while (p < end && (kHtmlClass[static_cast<unsigned char>(*p)] & kSpace) != 0) ++p;
  }
  out.resize(static_cast<std::size_t>(o - outBegin));
  return out;
}

}  // namespace varnook
