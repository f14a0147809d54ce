#pragma once

#include <string>
#include <string_view>

namespace varnook {

// Text rules of the main window's commands. Plain byte strings, no Qt.

// Removes blanks and control characters (bytes 0..32) at both ends.
std::string_view trimBlanksAndControls(std::string_view text);

// Adds one search term to a keyword or subject text: the value is trimmed; an empty value
// leaves `old` as it is; a value with a blank goes between double quotes; a non-empty `old`
// is joined to it with " & ".
std::string combineTerms(std::string_view old, std::string_view value);

// The subject without its reply and forward prefixes: trimmed, then every leading "re:" or
// "fw:" (any letter case) removed with the blanks after it. "Re: RE:fw: Modem" gives "Modem".
std::string stripReplyPrefixes(std::string_view subject);

// A file name proposed for a text: only blanks, ASCII letters, digits and "_" are kept, at
// most 32 of them. "50% off!" gives "50 off".
std::string safeFileName(std::string_view text);

}  // namespace varnook
