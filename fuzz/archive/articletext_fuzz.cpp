// Article text bytes: the parser, the header date reader and the line-break conversion.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "archive/articletext.h"
#include "collection/article.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnook;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  Article article(1, "");
  const std::string error = parseArticleText(text, article);
  if (!error.empty() && error != kMessageBodyNotFound) std::abort();
  if (article.subject.size() > 999 || article.author.size() > 999) std::abort();

  // The conversion: up to the first NUL, a CR before every LF that lacks one, nothing else.
  const std::string converted = convertLineBreaks(text);
  const std::string_view kept = text.substr(0, std::min(text.size(), text.find('\0')));
  std::size_t in = 0;
  for (std::size_t out = 0; out < converted.size(); ++out, ++in) {
    if (in >= kept.size()) std::abort();
    if (converted[out] == '\r' && kept[in] == '\n') {
      if (in > 0 && kept[in - 1] == '\r') std::abort();
      ++out;
      if (out >= converted.size() || converted[out] != '\n') std::abort();
    } else if (converted[out] != kept[in] ||
               (kept[in] == '\n' && (in == 0 || kept[in - 1] != '\r'))) {
      std::abort();
    }
  }
  if (in != kept.size()) std::abort();

  const HeaderDate date = parseHeaderDate(text);
  if (!date.ok() && date.date != 0) std::abort();
  if (date.ok() && date.date < 0) std::abort();

  const HeaderLine line = splitHeaderLine(text);
  if (line.value.size() > 999) std::abort();
  return 0;
}
