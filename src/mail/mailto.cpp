#include "mail/mailto.h"

#include "archive/encoding.h"
#include "collection/article.h"
#include "mail/messagefile.h"

namespace varnook {

namespace {

constexpr std::size_t kLongestLink = 254;
constexpr std::size_t kCutLength = 250;

// Where a cut at `length` is safe: not inside "%hh" and not inside a UTF-8 sequence.
std::size_t safeCut(const std::string& link, std::size_t length) {
  if (length >= 1 && link[length - 1] == '%') return length - 1;
  if (length >= 2 && link[length - 2] == '%') return length - 2;
  std::size_t cut = length;
  // Back over continuation bytes to the lead byte, then leave the whole character out
  // unless it ends exactly at the cut.
  while (cut > 0 && (static_cast<unsigned char>(link[cut - 1]) & 0xC0) == 0x80) --cut;
  if (cut > 0 && static_cast<unsigned char>(link[cut - 1]) >= 0xC0) {
    const auto lead = static_cast<unsigned char>(link[cut - 1]);
    const std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (cut - 1 + size > length) return cut - 1;
  }
  return length;
}

}  // namespace

std::string mailtoLink(const Article& article) {
  std::string link = "mailto:" + urlEncode(article.author, false) + "?";
  if (!article.subject.empty()) link += "subject=" + urlEncode(article.subject, false);
  if (!article.text.empty()) {
    std::string quoted;
    quoted.reserve(article.text.size() + 64);
    for (std::string_view line : splitTextLines(article.text)) {
      quoted += '>';
      quoted += line;
      quoted += "\r\n";
    }
    link += "&body=" + urlEncode(quoted, false);
  }
  if (link.size() > kLongestLink) {
    link.resize(safeCut(link, kCutLength));
    link += "...";
  }
  return link;
}

}  // namespace varnook
