#pragma once

// Builds result pages in the archive service's layout for the parser's tests and
// benchmarks: the count before "matches</font>", one link with "/getdoc.xp?AN=<n>" per
// entry, the labelled Forum, Date and Author fields, a closing "<p>", and a
// "Next matches</a>" link with an absolute URL.

#include <cstdint>
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

// Deterministic realistic entries: numbers from `firstNumber` on, varied subjects with
// entities and follow-up markers, excerpts with highlighted words, forums, dates, authors.
inline std::vector<PageEntry> realisticEntries(int count, std::uint32_t firstNumber = 447000000) {
  static const char* const kSubjects[] = {
      "Re: 28.8 modem drops carrier after a few minutes",
      "Linux &amp; PPP: chat script hangs at CONNECT",
      "Re: US Robotics Sportster vs. Zoom &quot;V.34&quot; - which one?",
      "WTB: external modem, cheap",
      "Re: Re: init string for  Hayes   Accura",
      "FAQ: comp.dcom.modems frequently asked questions (part 1 of 3)",
      "Re: Why does my modem &lt;beep&gt; at 3am?",
      "Caf&eacute; with dial-up access in M&uuml;nchen?"};
  static const char* const kForums[] = {"comp.dcom.modems", "comp.os.linux.networking",
                                        "alt.comp.hardware", "de.comp.hardware.modems"};
  static const char* const kAuthors[] = {"John Smith &lt;jsmith@example.com&gt;",
                                         "modemguy@isp.net", "Ren&eacute; Dupont",
                                         "&quot;Dr. K&quot; &lt;k@uni.example.edu&gt;"};
  static const char* const kExcerpts[] = {
      "... after dialing the <b>modem</b> connects at 28800 but drops the line after a few "
      "minutes of idle time; the init string is AT&amp;F&amp;C1&amp;D2 and the port speed is "
      "115200 ...",
      "... I have tried every <b>modem</b> setting I could find in the HOWTO, including the "
      "flow control options, without any luck ...",
      "... <b>modem</b> works fine under the other OS, so the hardware is OK. Any idea what "
      "the kernel expects here? ..."};
  static const char* const kExcerptTail =
      " ... &gt; and the <i>second</i> line of the quote, with the usual\n &quot;signature&quot; "
      "&amp; a few more words so the excerpt reads like real text ...";
  std::vector<PageEntry> entries;
  for (int i = 0; i < count; ++i) {
    PageEntry e;
    const std::uint32_t number = firstNumber + static_cast<std::uint32_t>(i) * 7;
    const bool followUp = i % 5 == 3;
    e.number = std::to_string(number) + (followUp ? ".2" : "");
    e.subjectHtml = kSubjects[i % 8];
    if (followUp) e.subjectHtml += " #2";
    e.forumHtml = kForums[i % 4];
    e.dateHtml = "1999/0" + std::to_string(1 + i % 9) + "/" + std::to_string(10 + i % 19);
    e.authorHtml = kAuthors[i % 4];
    e.excerptHtml = std::string(kExcerpts[i % 3]) + kExcerptTail;
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace varnook::testing
