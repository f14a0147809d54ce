#pragma once

// Builds result pages in the archive service's layout for the parser's tests and
// benchmarks (bench/archive/realisticentries.h adds realistic entries): the count before
// "matches</font>", one link with "/getdoc.xp?AN=<n>" per entry, the labelled Forum, Date and
// Author fields, a closing "<p>", and a "Next matches</a>" link with an absolute URL.

#include <string>
#include <string_view>
#include <vector>

namespace varnook::testing {

struct PageEntry {
  std::string number;       // what follows "AN=": "123", "123.2", "" ...
  std::string subjectHtml;  // as it stands between the link's ">" and the next "<"
  std::string forumHtml;    // field values as HTML; an empty one leaves its label out
  std::string dateHtml;
  std::string authorHtml;
  std::string excerptHtml;  // a text excerpt shown between the subject and the fields
};

inline std::string entryUrl(std::string_view number, int hit) {
  return "http://localhost:8119/[ST_rn=ps]/getdoc.xp?AN=" + std::string(number) +
         "&amp;CONTEXT=925823614.1580139&amp;hitnum=" + std::to_string(hit) +
         "&amp;ST=PS&amp;CONTEXT_QRY=modem&amp;defaultOp=AND&amp;maxhits=40";
}

inline std::string entryHtml(const PageEntry& e, int hit) {
  std::string html = "<dt><font size=-1>" + std::to_string(hit + 1) + ".</font> <a href=\"" +
                     entryUrl(e.number, hit) + "\">" + e.subjectHtml + "</a>\n<dd>";
  if (!e.excerptHtml.empty()) html += "<font size=-1>" + e.excerptHtml + "</font><br>\n";
  if (!e.forumHtml.empty()) html += "<b>Forum</b>: " + e.forumHtml + "<br>\n";
  if (!e.dateHtml.empty()) html += "<b>Date</b>: " + e.dateHtml + "<br>\n";
  if (!e.authorHtml.empty()) html += "<b>Author</b>: " + e.authorHtml + "\n";
  html += "<p>\n";
  return html;
}

inline std::string nextPageUrl(int firstHit) {
  return "http://localhost:8119/[ST_rn=ps]/dnquery.xp?search=next&DBS=1&LNG=english&"
         "QRY=modem&defaultOp=AND&maxhits=40&ST=PS&format=delta&firstHit=" +
         std::to_string(firstHit);
}

// A whole page. `countText` is what stands before "matches</font>" ("1234", "2,345");
// an empty `nextUrl` leaves out the next-page link.
inline std::string buildResultPage(const std::vector<PageEntry>& entries,
                                   std::string_view countText, std::string_view nextUrl) {
  std::string page =
      "<html><head><title>Varnook Archive: Query Results</title>\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
      "</head>\n<body bgcolor=\"#ffffff\" link=\"#0000cc\" vlink=\"#551a8b\">\n"
      "<table width=\"100%\" border=0 cellspacing=0 cellpadding=2><tr>\n"
      "<td bgcolor=\"#3366cc\"><font color=\"#ffffff\" face=\"arial,helvetica\">"
      "<b>Search results</b></font></td></tr></table>\n"
      "<form action=\"/[ST_rn=ps]/dnquery.xp\" method=get>\n"
      "<input type=hidden name=ST value=PS><input type=hidden name=format value=delta>\n"
      "<input type=text name=QRY size=40 value=\"modem\"> <input type=submit value=\"Find\">\n"
      "</form>\n<p><font size=-1>Matches <b>1-" +
      std::to_string(entries.size()) + "</b> of about " + std::string(countText) +
      " matches</font>\n";
  if (!nextUrl.empty())
    page += " &nbsp; <a href=\"" + std::string(nextUrl) + "\">Next matches</a>\n";
  page += "<dl>\n";
  for (std::size_t i = 0; i < entries.size(); ++i)
    page += entryHtml(entries[i], static_cast<int>(i));
  page += "</dl>\n";
  if (!nextUrl.empty())
    page += "<center><a href=\"" + std::string(nextUrl) + "\">Next matches</a></center>\n";
  page +=
      "<hr><font size=-2>Copyright &copy; 1999 Varnook Archive. Searches run over the "
      "articles indexed on this server.</font>\n</body></html>\n";
  return page;
}

}  // namespace varnook::testing
