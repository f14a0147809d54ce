// The search result page.

#include <algorithm>

#include "archive/encoding.h"
#include "server/pages.h"
#include "server/textutil.h"

namespace varnook::server {
namespace {

std::vector<Parameter> withStart(const std::vector<Parameter>& parameters, std::uint64_t start) {
  std::vector<Parameter> out;
  for (const Parameter& parameter : parameters)
    if (asciiLowered(parameter.first) != "start") out.push_back(parameter);
  if (start > 0) out.emplace_back("start", std::to_string(start));
  return out;
}

std::vector<Parameter> withSort(const std::vector<Parameter>& parameters, bool byDate) {
  std::vector<Parameter> out;
  for (const Parameter& parameter : parameters) {
    const std::string key = asciiLowered(parameter.first);
    if (key != "sort" && key != "start") out.push_back(parameter);
  }
  out.emplace_back("sort", byDate ? "date" : "relevance");
  return out;
}

std::string searchedText(const SearchParameters& search) {
  const QueryFields& f = search.fields;
  if (f.thread != 0) return "the thread of article " + std::to_string(f.thread);
  std::string text = f.keywords;
  auto add = [&](std::string_view label, const std::string& value) {
    if (value.empty()) return;
    if (!text.empty()) text += ", ";
    text += std::string(label) + value;
  };
  add("subject: ", f.subject);
  add("author: ", f.author);
  add("groups: ", f.forum);
  return text.empty() ? "all articles" : text;
}

void appendEntry(std::string& html, const PageContext& context, const StoredArticle& article,
                 std::uint64_t position) {
  const std::string link = absoluteUrl(context, "/getdoc.xp?AN=" + std::to_string(article.number));
  html += "<div class=\"hit\"><span class=\"n\">" + std::to_string(position) +
          ".</span> <a class=\"subject\" href=\"" + link + "\">";
  html += article.subject.empty() ? std::string("(no subject)") : entryText(article.subject);
  html += "</a>\n<div class=\"meta\"><span><b>Forum</b>: ";
  html += entryText(article.groupList());
  html += "</span> <span><b>Date</b>: ";
  html += formatListDate(article.date);
  html += "</span> <span><b>Author</b>: ";
  html += entryText(article.from);
  html += "</span>";
  if (!article.from.empty()) {
    html +=
        " <a class=\"profile\" href=\"" +
        htmlEscape(absoluteUrl(context, "/profile.xp" + queryString({{"author", article.from}}))) +
        "\">profile</a>";
  }
  html += "</div><p></div>\n";
}

}  // namespace

std::string resultPage(const PageContext& context, const std::vector<Parameter>& parameters,
                       const SearchParameters& search, const SearchOutcome& outcome) {
  const std::string searched = searchedText(search);
  std::string html = pageStart(context, "Search: " + searched);
  html.reserve(html.size() + 1024 + outcome.hits.size() * 600);
  if (outcome.total == 0) {
    html +=
        "<p class=\"notice\">Your search did not match any articles at all.</p>\n"
        "<p class=\"summary\">You searched for <b>" +
        echoText(searched) +
        "</b>. Try fewer or other words, a wildcard such as <code>modem*</code>, "
        "\"any word\" instead of \"all words\", or the complete archive.</p>\n";
    html += pageEnd();
    return html;
  }

  const std::uint64_t first = search.start + 1;
  const std::uint64_t last = search.start + outcome.hits.size();
  html += "<p class=\"summary\"><font size=\"-1\">";
  if (outcome.hits.empty()) {
    html += "No articles on this page; the search found " + std::to_string(outcome.total);
  } else {
    html += "Articles " + std::to_string(first) + "&ndash;" + std::to_string(last) + " of " +
            (outcome.exact ? "" : "about ") + std::to_string(outcome.total);
  }
  html += " matches</font> for <b>" + echoText(searched) + "</b>, ";
  if (outcome.threadOrder) {
    html += "replies after the articles they answer.</p>\n";
  } else {
    html += std::string(outcome.newestFirst ? "newest first" : "best first") + ". <a href=\"" +
            htmlEscape(absoluteUrl(
                context, context.path + queryString(withSort(parameters, !outcome.newestFirst)))) +
            "\">" + (outcome.newestFirst ? "Sort by relevance" : "Sort by date") + "</a></p>\n";
  }

  std::uint64_t position = first;
  for (const StoredArticle& article : outcome.hits) appendEntry(html, context, article, position++);

  html += "<div class=\"pager\">";
  if (search.start > 0) {
    const std::uint64_t previous =
        search.start > search.maxHits ? search.start - search.maxHits : 0;
    html += "<a href=\"" +
            htmlEscape(
                absoluteUrl(context, context.path + queryString(withStart(parameters, previous)))) +
            "\">Previous matches</a>";
  }
  if (last < outcome.total && !outcome.hits.empty()) {
    // The agent takes this URL as it stands, so its "&" separators stay raw.
    html += "<a href=\"" +
            absoluteUrl(context, context.path + queryString(withStart(parameters, last))) +
            "\">Next matches</a>";
  }
  html += "</div>\n";
  html += pageEnd();
  return html;
}

std::string groupedNumber(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
    digits.insert(static_cast<std::size_t>(i), ",");
  return digits;
}

}  // namespace varnook::server
