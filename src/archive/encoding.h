#pragma once

#include <string>
#include <string_view>

namespace varnook {

// Percent-encodes the 23 characters that matter to the archive service's URLs
// (LF, CR, blank, " # % & ' ( ) * + , / : ; < > ? @ \ ^ ~); everything else, bytes of 128
// and above included, passes unchanged. With `blanksAsPlus` a blank becomes "+".
std::string urlEncode(std::string_view text, bool blanksAsPlus);

// Reverses urlEncode: "%hh" gives the byte (a malformed escape gives "?"), "+" a blank.
std::string urlDecode(std::string_view text);

// Converts an HTML fragment to plain text in one pass: entities are decoded (unknown ones
// are kept as "&name"), tags are dropped when `dropTags`, runs of white space become one
// blank when `collapseWhiteSpace`. The result is never longer than the input.
std::string htmlToText(std::string_view html, bool dropTags, bool collapseWhiteSpace);

// The character an entity name stands for ("amp" -> '&', "eacute" -> 233, "65" -> 'A'),
// 0 when the name is unknown.
int htmlEntityChar(std::string_view name);

}  // namespace varnook
