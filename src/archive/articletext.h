#pragma once

#include <string>
#include <string_view>

#include "base/daydate.h"

namespace varnook {

class Article;

// The error text of parseArticleText for a text without an empty line.
inline constexpr std::string_view kMessageBodyNotFound = "Message body not found";
// Error texts of parseHeaderDate (a time or an impossible date gives a conversion error).
inline constexpr std::string_view kIncorrectDayOfMonth = "Incorrect day of month";
inline constexpr std::string_view kMonthNotRecognized = "Month name not recognized";
inline constexpr std::string_view kInvalidDateEncode = "Invalid argument to date encode";

// Reads a downloaded article: header lines ending in line feeds, an empty line, the body.
// The known headers (Subject, From, Newsgroup, References, Message-ID, Date; names compared
// ignoring ASCII letter case, a later line overwriting an earlier one) go into the
// article's fields; the body, with CR LF line breaks, becomes its `text`. A Date header
// that cannot be read leaves `date` as it was.
//
// Returns "" on success, or kMessageBodyNotFound when no empty line ends the header (a
// text with CR LF line ends has none); then the headers read so far are set and `text` is
// left untouched. The text ends at its first NUL byte, if it has one.
std::string parseArticleText(std::string_view text, Article& article);
// The same, but the body goes to `body` instead of the article's text (left untouched), for
// callers that set it through the collection so that its loaded count stays right.
std::string parseArticleText(std::string_view text, Article& article, std::string& body);

// A header line split at its first ":". The views point into the line given.
struct HeaderLine {
  std::string_view name;   // everything before the ":", as it stands (the whole line without one)
  std::string_view value;  // at most 999 characters after the ":", trimmed of codes 0..32
  bool hasColon = false;   // false: the line is no header line
};
HeaderLine splitHeaderLine(std::string_view line);

// The result of parseHeaderDate: the date, or an error text (then `date` is 0).
struct HeaderDate {
  DayDate date = 0;
  std::string error;
  bool ok() const { return error.empty(); }
};

// Reads the value of a Date header, "[Www, ]d Mmm yyyy hh:mm[:ss] [zone]" or
// "Mmm d, yyyy hh:mm[:ss]", as the local reading of its wall-clock time (the zone is
// ignored). The month is a three-letter English name with that case, followed by a blank.
// A year outside 1901..3000 (a two-digit year) gives the date 0 without error. Errors:
// kIncorrectDayOfMonth, kMonthNotRecognized, kInvalidDateEncode for an impossible date
// (31 Feb), or "'<text>' is not a valid time".
HeaderDate parseHeaderDate(std::string_view value);

// The text up to its first NUL byte with a carriage return put before every line feed
// that has none. A text without such line feeds comes back as it is.
std::string convertLineBreaks(std::string_view text);

}  // namespace varnook
