#pragma once

#include <cstddef>
#include <string>

#include "base/daydate.h"

namespace varnook {

class Article;
class Collection;

// Appends one article to an mbox in the mboxrd form: the envelope line "From <sender>
// <date in asctime form, UTC>", header lines made of the article's fields (From, Subject,
// Date in the RFC 5322 form with the local zone, Message-ID, References, Newsgroups;
// empty fields are left out), an empty line, the body with LF line ends, and an empty line
// that ends the message. A body line that starts with any number of ">" followed by
// "From " gets one more ">" in front, so every reader gets the body back exactly.
void appendMboxMessage(std::string& mbox, const Article& article);

// The envelope sender: the address inside "<...>", else the first word holding "@",
// else "MAILER-DAEMON".
std::string envelopeSender(const std::string& author);

// The RFC 5322 form of a local day-count date ("Mon, 05 Apr 1993 23:23:53 +0200"), and
// the asctime form in UTC of the envelope line ("Mon Apr  5 21:23:53 1993"). Empty / the
// Unix epoch for 0.
std::string rfc5322Date(DayDate date);
std::string envelopeDate(DayDate date);

struct ExportResult {
  bool ok = false;
  std::size_t articles = 0;  // how many were written
  std::string message;       // why not, for the user
};

// Writes the collection's loaded articles (those with text), in list order, to `fileName`
// as an mbox, as a whole or not at all. Articles without text are skipped.
ExportResult exportMbox(const Collection& collection, const std::string& fileName);

}  // namespace varnook
