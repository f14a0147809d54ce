#include "mail/mailto.h"

#include "archive/charset.h"
#include "archive/encoding.h"
#include "collection/article.h"
#include "mail/messagefile.h"

namespace varnook {

namespace {

constexpr std::size_t kLongestLink = 254;
constexpr std::size_t kCutLength = 250;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte escaped as the three characters before `end`, or -1 when they are no escape.
int escapedByteBefore(const std::string& link, std::size_t end) {
  if (end < 3 || link[end - 3] != '%') return -1;
  const int high = hexValue(link[end - 2]), low = hexValue(link[end - 1]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Where a cut at `length` is safe: not inside "%hh", and not between the escaped bytes of
// one UTF-8 character (every "%" of the link starts an escape, so stepping back over whole
// escapes stays in step).
std::size_t safeCut(const std::string& link, std::size_t length) {
  if (length >= 1 && link[length - 1] == '%')
    length -= 1;
  else if (length >= 2 && link[length - 2] == '%')
    length -= 2;
  std::size_t cut = length;
  int continuations = 0;
  for (int byte = escapedByteBefore(link, cut); byte >= 0 && (byte & 0xC0) == 0x80;
       byte = escapedByteBefore(link, cut)) {
    cut -= 3;
    ++continuations;
  }
  const int lead = escapedByteBefore(link, cut);
  if (lead >= 0xC0) {
    const int size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (continuations + 1 < size) return cut - 3;
  }
  return length;
}

// UrlEncode (blanks as "%20") of the text as UTF-8, with every byte that no URL carries
// as it is (controls, and the bytes of characters beyond ASCII) escaped too.
std::string linkEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : urlEncode(asUtf8(text), false)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

}  // namespace

std::string mailtoLink(const Article& article) {
  std::string link = "mailto:" + linkEncode(article.author) + "?";
  if (!article.subject.empty()) link += "subject=" + linkEncode(article.subject);
  if (!article.text.empty()) {
    std::string quoted;
    quoted.reserve(article.text.size() + 64);
    for (std::string_view line : splitTextLines(article.text)) {
      quoted += '>';
      quoted += line;
      quoted += "\r\n";
    }
    link += "&body=" + linkEncode(quoted);
  }
  if (link.size() > kLongestLink) {
    link.resize(safeCut(link, kCutLength));
    link += "...";
  }
  return link;
}

}  // namespace varnook
