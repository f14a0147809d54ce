#include "viewer/textwords.h"

#include <algorithm>

#include "base/asciicase.h"
#include "base/textfold.h"

namespace varnook {
namespace {

bool isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::vector<std::string> queryKeywords(std::string_view keywordField) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < keywordField.size()) {
    if (!isWordChar(keywordField[i])) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < keywordField.size() && isWordChar(keywordField[i])) ++i;
    const std::string_view word = keywordField.substr(start, i - start);
    const bool known = std::any_of(words.begin(), words.end(),
                                   [&](const std::string& w) { return equalsNoCase(w, word); });
    if (!known) words.emplace_back(word);
  }
  return words;
}

bool isFoldedWordByte(char c) {
  return isWordChar(c) || static_cast<unsigned char>(c) >= 0x80;
}

std::vector<std::string> foldedQueryWords(std::string_view keywordField) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < keywordField.size()) {
    if (!isFoldedWordByte(keywordField[i])) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < keywordField.size() && isFoldedWordByte(keywordField[i])) ++i;
    std::string word = foldText(keywordField.substr(start, i - start));
    if (std::find(words.begin(), words.end(), word) == words.end())
      words.push_back(std::move(word));
  }
  return words;
}

std::string wordAtCaret(std::string_view text, std::size_t caret) {
  caret = std::min(caret, text.size());
  const bool wordAfter = caret < text.size() && isWordChar(text[caret]);
  const bool wordBefore = caret > 0 && isWordChar(text[caret - 1]);
  if (!wordAfter && !wordBefore) return {};
  // Either way the word reaches as far as word characters go on both sides.
  std::size_t start = caret;
  while (start > 0 && isWordChar(text[start - 1])) --start;
  std::size_t end = caret;
  while (end < text.size() && isWordChar(text[end])) ++end;
  return std::string(text.substr(start, end - start));
}

}  // namespace varnook
