#pragma once

#include <string>
#include <string_view>

namespace varnook {

// Folds text for matching that ignores letter case and accents, as the archive's index,
// its queries and the viewer's keyword marks all do: Unicode case folding, compatibility
// decomposition, and the combining diacritical marks dropped ("Müller" -> "muller",
// "Grüße" -> "grusse", "ﬁle" -> "file", "Ｗｉｎ" -> "win"). CJK ideographs, kana and
// Hangul stay as they are, so n-gram search of those scripts is unchanged. Bytes that are
// not valid UTF-8 are read as Windows-1252 (Latin-1), as the agent shows them. ASCII
// text only has its capitals lowered. Never fails; thread-safe.
std::string foldText(std::string_view text);

// True when foldText(text) would only lower ASCII capitals (the text is pure ASCII).
bool isAsciiText(std::string_view text);

}  // namespace varnook
