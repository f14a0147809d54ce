#include "archive/encoding.h"

#include <array>
#include <cstdint>

#include "archive/textsearch.h"

namespace varnook {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr std::array<bool, 256> makeEscapeTable() {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view("\n\r \"#%&'()*+,/:;<>?@\\^~")) table[c] = true;
  return table;
}
constexpr std::array<bool, 256> kEscape = makeEscapeTable();

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The Latin-1 entity names for the codes 160 to 255, in code order.
constexpr const char* kLatin1Entities[96] = {
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
  std::size_t escapes = 0, blanks = 0;
  for (unsigned char c : text) {
    escapes += kEscape[c];
    blanks += c == ' ';
  }
  if (blanksAsPlus) escapes -= blanks;
  if (escapes == 0 && blanks == 0) return std::string(text);

  std::string out(text.size() + 2 * escapes, '\0');
  char* o = out.data();
  for (unsigned char c : text) {
    if (c == ' ' && blanksAsPlus) {
      *o++ = '+';
    } else if (kEscape[c]) {
      *o++ = '%';
      *o++ = kHexDigits[c >> 4];
      *o++ = kHexDigits[c & 15];
    } else {
      *o++ = static_cast<char>(c);
    }
  }
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
  for (int i = 0; i < 96; ++i)
    if (name == kLatin1Entities[i]) return 160 + i;
  return 0;
}

std::string htmlToText(std::string_view html, bool dropTags, bool collapseWhiteSpace) {
  std::string out(html.size(), '\0');
  char* o = out.data();
  const char* p = html.data();
  const char* const end = p + html.size();
  bool lastCollapsed = false;

  // Class bits that leave the plain copy loop.
  const std::uint8_t stopMask = static_cast<std::uint8_t>(kAmp | (dropTags ? kTagOpen : 0) |
                                                          (collapseWhiteSpace ? kSpace : 0));

  while (p < end) {
    // Plain run: copied byte for byte.
    const char* runStart = p;
    while (p < end && (kHtmlClass[static_cast<unsigned char>(*p)] & stopMask) == 0) ++p;
    if (p != runStart) {
      for (const char* q = runStart; q < p; ++q) *o++ = *q;
      lastCollapsed = false;
      if (p == end) break;
    }
    const char c = *p++;
    if (c == '<') {
      // A tag: skipped up to its ">" (to the end when there is none).
      while (p < end && *p != '>') ++p;
      if (p < end) ++p;
      continue;
    }
    if (c == '&') {
      // An entity; its characters are collected up to ";" or the first other character.
      // A tag inside it is dropped without ending it.
      std::size_t nameStart = static_cast<std::size_t>(o - out.data());
      *o++ = '&';
      bool open = true;
      while (p < end) {
        const char e = *p++;
        if (dropTags && e == '<') {
          while (p < end && *p != '>') ++p;
          if (p < end) ++p;
          continue;
        }
        lastCollapsed = false;
        if (e == ';') {
          const std::string_view name(out.data() + nameStart + 1,
                                      static_cast<std::size_t>(o - out.data()) - nameStart - 1);
          const int ch = htmlEntityChar(name);
          if (ch != 0) {
            o = out.data() + nameStart;
            *o++ = static_cast<char>(ch);
          }
          open = false;
          break;
        }
        *o++ = e;
        if (!isAlnum(e)) {
          open = false;
          break;
        }
      }
      (void)open;  // an entity still open at the end stays as "&name"
      continue;
    }
    // White space with collapsing on.
    if (!lastCollapsed) {
      *o++ = ' ';
      lastCollapsed = true;
    }
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

}  // namespace varnook
