#include "viewer/hotspot.h"

namespace varnook {

bool isOnHotSpot(std::string_view line, std::size_t pos, char beginChar, char endChar) {
  if (pos >= line.size()) return false;
  const std::string_view rest = line.substr(pos);
  const std::size_t end = rest.find(endChar);
  if (end == std::string_view::npos) return false;
  if (beginChar == endChar) return true;
  const std::size_t begin = rest.find(beginChar);
  return begin == std::string_view::npos || begin > end;
}

std::optional<std::string> hotSpotTextAt(std::string_view line, std::size_t pos, char beginChar,
                                         char endChar) {
  if (!isOnHotSpot(line, pos, beginChar, endChar)) return std::nullopt;
  const std::size_t end = line.find(endChar, pos);
  const std::size_t lastBegin = pos == 0 ? std::string_view::npos : line.rfind(beginChar, pos - 1);
  const std::size_t start = lastBegin == std::string_view::npos ? 0 : lastBegin + 1;
  return std::string(line.substr(start, end - start));
}

std::string withoutLinkMarkers(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\x1E' && c != '\x1F') out.push_back(c);
  }
  return out;
}

}  // namespace varnook
