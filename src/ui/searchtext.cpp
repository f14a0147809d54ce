#include "ui/searchtext.h"

#include "base/asciicase.h"

namespace varnook {
namespace {

bool isBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

std::string_view trimBlanksAndControls(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlankOrControl(text[begin])) ++begin;
  while (end > begin && isBlankOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string combineTerms(std::string_view old, std::string_view value) {
  const std::string_view term = trimBlanksAndControls(value);
  if (term.empty()) return std::string(old);
  std::string quoted;
  if (term.find(' ') != std::string_view::npos) {
    quoted.reserve(term.size() + 2);
    quoted += '"';
    quoted += term;
    quoted += '"';
  } else {
    quoted = term;
  }
  if (old.empty()) return quoted;
  std::string result(old);
  result += " & ";
  result += quoted;
  return result;
}

std::string stripReplyPrefixes(std::string_view subject) {
  std::string_view rest = trimBlanksAndControls(subject);
  while (startsWithNoCase(rest, "re:") || startsWithNoCase(rest, "fw:"))
    rest = trimBlanksAndControls(rest.substr(3));
  return std::string(rest);
}

std::string safeFileName(std::string_view text) {
  constexpr std::size_t kMaxLength = 32;
  std::string name;
  for (const char c : text) {
    const bool keep = c == ' ' || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      (c >= '0' && c <= '9');
    if (!keep) continue;
    name += c;
    if (name.size() == kMaxLength) break;
  }
  return name;
}

}  // namespace varnook
