#pragma once

#include <string>
#include <string_view>

#include "base/daydate.h"

namespace varnook {

class Request;

// The error texts of parseResultPage. kNoMatches is the quiet outcome of a query without
// hits; the others mean that the page does not have the layout the parser knows.
inline constexpr std::string_view kNoMatches = "none";
inline constexpr std::string_view kNextUrlEndMissing =
    "Couldn't find the '\"' terminating the next page URL!";
inline constexpr std::string_view kNextUrlStartMissing =
    "Expected '\"' at the start of the next page URL!";
inline constexpr std::string_view kEntryUrlStartMissing = "Expected '\"' at the start of an URL!";
inline constexpr std::string_view kEntryUrlEndMissing =
    "Couldn't find the '\"' terminating the URL!";
inline constexpr std::string_view kLinkTagEndMissing = "Expected '>' of the <A ...> tag!";
inline constexpr std::string_view kSubjectEndMissing = "Expected next tag after the subject!";
inline constexpr std::string_view kDescriptionEndMissing =
    "Can't find a <p> tag terminating an article description!";
inline constexpr std::string_view kNoEntriesNoNotice =
    "The page lists no articles and does not say that nothing matched!";

// Reads one result page of the archive service into the collection that holds `request`
// (the request must be in a collection; without one, entries are counted but none is added).
//
// Sets the request's `url` to the next page's link when the page has one (leaves it as it
// was otherwise) and its `expectedTotal` to the announced count of matches; counts every
// entry in the request and appends one article per entry whose number is new to the
// collection, with its URL, forum, author, list date and request name filled in.
//
// Returns "" on success, kNoMatches when the page says there are no hits, otherwise one of
// the messages above: a page that lists no entry without saying so is no result page
// (an error page, a login form) and must not pass for a search without hits. The scan stops at the
// first error; what was read before it (next URL, count, earlier entries) stays in the collection.
// The page ends at its first NUL byte, if it has one: nothing after it is read.
std::string parseResultPage(std::string_view page, Request& request);

// Reads a result entry's "yyyy/mm/dd" date, or "yy/mm/dd" with 70-99 as 19xx and 00-69 as
// 20xx; an empty or unreadable text gives 0.
DayDate parseListDate(std::string_view text);

// The text after the first `label` up to the next `terminator` (both found ignoring ASCII
// letter case), as plain text: tags dropped, entities decoded, white space collapsed and
// trimmed. Empty when the label or the terminator is missing.
std::string extractLabelledField(std::string_view text, std::string_view label,
                                 std::string_view terminator);

}  // namespace varnook
