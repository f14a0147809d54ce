#pragma once

// Readers for the dates that news articles carry. Real headers come in dozens of forms
// ("Mon, 5 Apr 1993 23:23:53 GMT", "5 Apr 93 23:23:53 EDT", "Apr 5 23:23:53 1993",
// "1993-04-05 23:23:53", named or numeric zones, comments); each reader answers nothing
// for a text it cannot read.

#include <optional>
#include <string_view>

#include "server/storedarticle.h"

namespace varnook::server {

// A Date (or NNTP-Posting-Date) header value as UTC. Two-digit years are read as
// 1950..2049, three-digit years as 1900 + the number; a missing zone means GMT, an unknown
// zone name is ignored; "GMT+12" means twelve hours east of Greenwich.
std::optional<UnixTime> parseHeaderDate(std::string_view value);

// The date after the last ";" of a Received header.
std::optional<UnixTime> parseReceivedDate(std::string_view value);

// The date of an mbox envelope line, "From sender Mon Apr  5 23:23:53 1993" (with or
// without the "From "). The placeholder date 1970-01-01 00:00:00 that some tools write
// counts as no date.
std::optional<UnixTime> parseEnvelopeDate(std::string_view line);

}  // namespace varnook::server
