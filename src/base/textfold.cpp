#include "base/textfold.h"

#include <glib.h>

#include <array>
#include <cstdint>

namespace varnook {
namespace {

// Windows-1252 characters of the bytes 0x80 to 0x9F; 0 where it has none (the byte is
// then read as the Latin-1 control it is).
constexpr std::array<char32_t, 32> kWindows1252 = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Scripts whose search works on the characters as written: CJK, kana, Hangul and their
// half-width forms. (Decomposing them would split Hangul syllables and drop the kana
// voicing marks, which change the word.)
bool keptAsWritten(char32_t c) {
  return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0x9FFF) ||
         (c >= 0xA960 && c <= 0xA97F) || (c >= 0xAC00 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF61 && c <= 0xFFDC) || (c >= 0x20000 && c <= 0x3FFFF);
}

// The combining diacritical marks (accents, cedillas, umlaut dots, ...). Marks of other
// scripts (Indic vowel signs, Hebrew points) are part of their letters and stay.
bool isDiacritic(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
         (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
         (c >= 0xFE20 && c <= 0xFE2F);
}

// Decodes the character at text[i] and advances i; invalid UTF-8 reads one byte as
// Windows-1252.
char32_t nextCharacter(std::string_view text, std::size_t& i) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const gunichar c =
      g_utf8_get_char_validated(text.data() + i, static_cast<gssize>(text.size() - i));
  if (c < 0x110000) {
    i = static_cast<std::size_t>(g_utf8_next_char(text.data() + i) - text.data());
    return c;
  }
  const unsigned char byte = bytes[i++];
  if (byte >= 0x80 && byte < 0xA0) {
    const char32_t mapped = kWindows1252[static_cast<std::size_t>(byte - 0x80)];
    if (mapped != 0) return mapped;
  }
  return byte;
}

void appendUtf8(std::string& out, char32_t c) {
  char buffer[8];
  const gint length = g_unichar_to_utf8(c, buffer);
  out.append(buffer, static_cast<std::size_t>(length));
}

// Compatibility decomposition of `c` without its diacritics, appended to `out`.
void appendDecomposed(std::string& out, char32_t c) {
  gunichar parts[G_UNICHAR_MAX_DECOMPOSITION_LENGTH];
  const gsize count = g_unichar_fully_decompose(c, TRUE, parts, G_N_ELEMENTS(parts));
  for (gsize k = 0; k < count; ++k)
    if (!isDiacritic(parts[k])) appendUtf8(out, parts[k]);
}

void appendFolded(std::string& out, char32_t c) {
  // Decomposing first lets case folding see the base letters ("ǅ" -> "dž" -> "dz"); the
  // folded result is decomposed again because folding can compose ("İ" -> "i̇").
  std::string decomposed;
  appendDecomposed(decomposed, c);
  gchar* folded = g_utf8_casefold(decomposed.data(), static_cast<gssize>(decomposed.size()));
  for (const gchar* p = folded; *p != '\0'; p = g_utf8_next_char(p))
    appendDecomposed(out, g_utf8_get_char(p));
  g_free(folded);
}

}  // namespace

bool isAsciiText(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::string foldText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char byte = text[i];
    if (static_cast<unsigned char>(byte) < 0x80) {
      out += (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte + 32) : byte;
      ++i;
      continue;
    }
    const std::size_t start = i;
    const char32_t c = nextCharacter(text, i);
    if (keptAsWritten(c)) {
      out.append(text.substr(start, i - start));
    } else {
      appendFolded(out, c);
    }
  }
  return out;
}

}  // namespace varnook
