#pragma once

// The archive's HTML pages. Result pages carry the fixed layout the agent's result page
// reader relies on: the count right before "matches</font>", one link containing
// "/getdoc.xp?AN=<number>" per entry followed by the subject, the labelled
// "<b>Forum</b>:", "<b>Date</b>:" and "<b>Author</b>:" fields and a closing "<p>", a
// "Next matches" link with an absolute URL while more results follow, and the sentence
// "Your search did not match any articles at all" when nothing matched. The other pages
// are for people with browsers.

#include <string>
#include <string_view>
#include <vector>

#include "server/archiveindex.h"
#include "server/pagecontext.h"
#include "server/storedarticle.h"

namespace varnook::server {

// `parameters` are the request's own (decoded, in order); the next-page link repeats
// them with "start" moved on.
std::string resultPage(const PageContext& context, const std::vector<Parameter>& parameters,
                       const SearchParameters& search, const SearchOutcome& outcome);

// What an article page links to besides the article.
struct ArticleLinks {
  std::uint64_t threadSize = 0;  // articles in its thread; 0 leaves the line out
  std::vector<std::pair<std::string, std::uint32_t>> references;  // Message-IDs held
};

std::string articlePage(const PageContext& context, const StoredArticle& article,
                        const ArticleLinks& links = {});

// The reply tree of a thread, indented by depth, the article `current` marked.
std::string threadPage(const PageContext& context, const ThreadListing& thread,
                       std::uint32_t current);

std::string profilePage(const PageContext& context, const AuthorProfile& profile);

// The search form with the fields of the agent's query panel, and what the index holds.
std::string frontPage(const PageContext& context, const IndexStatistics& statistics);

// A page for an HTTP error: its title and a sentence that says what went wrong.
std::string errorPage(const PageContext& context, int status, std::string_view title,
                      std::string_view message);

// "1,234" for display (the result count for the agent is written without separators).
std::string groupedNumber(std::uint64_t value);

}  // namespace varnook::server
