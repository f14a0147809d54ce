#pragma once

// One article as the archive keeps it: the decoded header fields the endpoints show and
// the decoded body. It is stored as the document data of the article's index entry.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnook::server {

// Seconds since 1970-01-01 00:00:00 UTC.
using UnixTime = std::int64_t;
// The posting date of an article whose headers carry no readable date.
inline constexpr UnixTime kUnknownDate = 0;

struct StoredArticle {
  std::uint32_t number = 0;  // the archive's article number, 1..2^32-1
  UnixTime date = kUnknownDate;
  std::string messageId;            // "<...>", empty when the article had none
  std::string from;                 // decoded From header, one line
  std::string subject;              // decoded Subject header, one line
  std::string references;           // References header, one line
  std::vector<std::string> groups;  // lower-case newsgroup names, in header order
  std::string body;                 // decoded body text, line-feed line ends

  // The groups joined by "," (the Newsgroups header form).
  std::string groupList() const;

  // The article as the agent downloads it: header lines (From, Subject, Date,
  // Message-ID, References, Newsgroups, Newsgroup) ending in line feeds, one empty line,
  // the body. No carriage return appears in the header block; a header that is empty is
  // left out. The Date line always carries a four-digit year.
  std::string plainText() const;

  // Compact binary form for the index's document data, and its reader. deserialize
  // answers nothing for data it does not recognise (a foreign or damaged record); without
  // `withBody` the body is skipped and left empty.
  std::string serialize() const;
  static std::optional<StoredArticle> deserialize(std::string_view data, bool withBody = true);
  // The same form with only number, date, author, subject and groups: what a result
  // list shows. deserialize reads it back (the other fields empty).
  std::string serializeSummary() const;
};

// "Mon, 05 Apr 1993 23:23:53 GMT"; empty for kUnknownDate.
std::string formatHeaderDate(UnixTime time);
// "1993/04/05" (UTC); empty for kUnknownDate.
std::string formatListDate(UnixTime time);

// Civil-date conversions in UTC, valid for the years 1..9999.
UnixTime unixTimeFromCivil(int year, int month, int day, int hour = 0, int minute = 0,
                           int second = 0);
struct CivilTime {
  int year, month, day, hour, minute, second, weekday;  // weekday 0 = Sunday
};
CivilTime civilFromUnixTime(UnixTime time);

}  // namespace varnook::server
