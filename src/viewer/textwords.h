#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace varnook {

// The words of a query's keyword field for the viewer's keyword rule: every maximal run of
// ASCII letters, digits and "_", in order, without a second copy of a word that differs
// only in letter case.
std::vector<std::string> queryKeywords(std::string_view keywordField);

// The words of a query's keyword field as the archive matches them, for the keyword
// rule's folded matches: every maximal run of ASCII letters, digits, "_" and bytes of 128
// and above, folded (foldText), each once.
std::vector<std::string> foldedQueryWords(std::string_view keywordField);

// The word around a caret: word characters are the ASCII letters, digits and "_". When the
// byte after the caret is one, the word containing it; else, when the byte before the caret
// is one, the word ending at the caret; else empty. A caret past the end counts as the end.
std::string wordAtCaret(std::string_view text, std::size_t caret);

}  // namespace varnook
