#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/service.h"
#include "base/daydate.h"
#include "collection/queryfields.h"

namespace varnook {

class Article;

// The search URL of a query's first result page (storedForm false), or the stored
// parameter string that a collection file keeps (storedForm true, begins with "&").
// Relative dates are resolved against `now` in the URL form and kept relative in the
// stored form. A date with a time of day is stored as "yyyy/mm/dd hh:mm:ss".
std::string buildQueryUrl(const QueryFields& query, bool storedForm, const ServiceSettings& service,
                          DayDate now);
std::string buildQueryUrl(const QueryFields& query, bool storedForm,
                          const ServiceSettings& service);

// The scheme of every URL of the service (searches, profiles, article servers):
// "https://" when `serviceHost` begins with it (any case), "http://" otherwise, so a host
// written without a scheme keeps plain HTTP.
std::string serviceScheme(const ServiceSettings& service);
// A host (or domain) setting without the scheme and the trailing "/" a user may write
// around it: "https://archive.example.org/" -> "archive.example.org".
std::string_view hostWithoutScheme(std::string_view host);

// Reads a search URL or a stored parameter string back into the fields; keys that are
// absent leave their field as it was. Returns an empty string, or the conversion error
// "'<value>' is not a valid date" for a date it cannot read (fields read before it stay
// assigned). Dates are read as "yyyy/mm/dd", optionally followed by a time, or in the
// URL form "Mmm d yyyy".
std::string parseQueryParameters(QueryFields& query, std::string_view text);

bool isQueryUrl(std::string_view text);
bool isArticleUrl(std::string_view text);
// The article number of an article URL ("...?AN=123&..."), 0 when there is none.
std::uint32_t articleNumberFromUrl(std::string_view text);

// The article-server rotation: a character offset into the server list, shared by every
// article download of the process.
class ArticleServerRotation {
 public:
  // The next server name of `hostList` in turn; the cursor moves past it.
  std::string next(std::string_view hostList);
  std::size_t cursor() const { return cursor_; }

 private:
  std::size_t cursor_ = 0;
};

// The process-wide rotation used by buildArticleUrl.
ArticleServerRotation& articleServerRotation();

// The download URL of an article: "<scheme><server>.<domain>/[ST_rn=ps]/getdoc.xp?AN=<n>&fmt=text",
// the server chosen by the rotation (or the first of the list). An article without a
// number keeps its URL.
std::string buildArticleUrl(const Article& article, const ServiceSettings& service,
                            ArticleServerRotation& rotation);
std::string buildArticleUrl(const Article& article, const ServiceSettings& service);

// The author's posting-profile page.
std::string buildProfileUrl(std::string_view author, const ServiceSettings& service);

// Removes leading and trailing characters 0..32 and turns runs of blanks inside into one.
std::string compactBlanks(std::string_view value);

}  // namespace varnook
