// The front page with the search form, and error pages.

#include "server/pages.h"
#include "server/textutil.h"

namespace varnook::server {
namespace {

constexpr const char* kLanguages[] = {
    "English",    "Chinese",   "Danish",  "Dutch",    "Finnish", "French",
    "German",     "Hungarian", "Italian", "Japanese", "Korean",  "Norwegian",
    "Portuguese", "Polish",    "Russian", "Spanish",  "Swedish", "Vietnamese",
};
constexpr const char* kArchives[] = {"complete", "standard", "adult", "jobs", "for sale"};

std::string textRow(std::string_view label, std::string_view name, std::string_view hint) {
  return "<div class=\"row\"><label for=\"" + std::string(name) + "\">" + std::string(label) +
         "</label> <input type=\"text\" id=\"" + std::string(name) + "\" name=\"" +
         std::string(name) + "\" placeholder=\"" + htmlEscape(hint) + "\"></div>\n";
}

}  // namespace

std::string frontPage(const PageContext& context, const IndexStatistics& statistics) {
  std::string html = pageStart(context, "Search");
  html += "<p class=\"summary\">Searching " + groupedNumber(statistics.articles) +
          (statistics.articles == 1 ? " Usenet article in " : " Usenet articles in ") +
          groupedNumber(statistics.groups.size()) +
          (statistics.groups.size() == 1 ? " newsgroup" : " newsgroups");
  if (statistics.first != kUnknownDate)
    html +=
        ", posted " + formatListDate(statistics.first) + " to " + formatListDate(statistics.last);
  html += ".</p>\n<form class=\"search\" action=\"/dnquery.xp\" method=\"get\"><fieldset>\n";
  html += textRow("Keywords:", "QRY", "modem & \"usr sportster\"");
  html +=
      "<div class=\"row\"><label for=\"defaultOp\">Match:</label> <select id=\"defaultOp\" "
      "name=\"defaultOp\"><option value=\"AND\" selected>all words</option>"
      "<option value=\"OR\">any word</option></select></div>\n";
  html += textRow("Subject:", "subjects", "words in the subject");
  html += textRow("Author(s):", "authors", "name or address");
  html += textRow("Newsgroup(s):", "groups", "comp.sys.* rec.autos");
  html +=
      "<div class=\"row\"><label for=\"fromdate\">Since:</label> <input type=\"date\" "
      "id=\"fromdate\" name=\"fromdate\"> <label for=\"todate\" style=\"min-width:0\">"
      "Till:</label> <input type=\"date\" id=\"todate\" name=\"todate\"></div>\n";
  html +=
      "<div class=\"row\"><label for=\"DBS\">Archive:</label> <select id=\"DBS\" "
      "name=\"DBS\"><option value=\"\">standard</option>";
  for (int i = 0; i < 5; ++i)
    html += "<option value=\"" + std::to_string(i + 1) + "\">" + kArchives[i] + "</option>";
  html +=
      "</select> <label for=\"LNG\" style=\"min-width:0\">Language:</label> <select "
      "id=\"LNG\" name=\"LNG\"><option value=\"\">(any)</option>";
  for (const char* language : kLanguages)
    html += "<option value=\"" + asciiLowered(language) + "\">" + language + "</option>";
  html +=
      "</select></div>\n<div class=\"row\"><label for=\"maxhits\">Results:</label> "
      "<select id=\"maxhits\" name=\"maxhits\"><option>10</option><option>20</option>"
      "<option selected>40</option><option>100</option><option>200</option></select> per "
      "page, <select name=\"sort\" aria-label=\"Order\"><option value=\"relevance\">best "
      "first</option><option value=\"date\">newest first</option></select></div>\n"
      "<div class=\"row\"><button type=\"submit\">Search</button></div>\n"
      "</fieldset></form>\n";
  html +=
      "<p class=\"summary\">Words are joined by the match setting; "
      "<code>&amp;</code> (and), <code>|</code> (or), <code>&amp;!</code> (and not), "
      "parentheses, <code>\"phrases\"</code> and <code>word*</code> work in the keywords, "
      "as do <code>~a</code>, <code>~s</code> and <code>~g</code> for author, subject and "
      "newsgroup.</p>\n";
  html += "<p class=\"summary\">Agent settings for this archive: service host <b>" +
          htmlText((context.scheme == "https" ? "https://" : "") + context.serviceHost) +
          "</b>, article server domain <b>" + htmlText(context.serviceDomain) + "</b>.</p>\n";
  html += pageEnd();
  return html;
}

std::string errorPage(const PageContext& context, int status, std::string_view title,
                      std::string_view message) {
  std::string html = pageStart(context, title);
  html += "<h2>" + std::to_string(status) + " " + htmlText(title) + "</h2>\n<p class=\"notice\">" +
          htmlText(message) + "</p>\n";
  html += pageEnd();
  return html;
}

}  // namespace varnook::server
