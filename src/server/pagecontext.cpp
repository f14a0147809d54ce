#include "server/pagecontext.h"

#include "archive/encoding.h"
#include "archive/textsearch.h"
#include "server/textutil.h"

namespace varnook::server {
namespace {

constexpr std::string_view kNoMatchSentence = "Your search did not match any articles at all";

constexpr std::string_view kStyle = R"css(
body{font-family:system-ui,-apple-system,"Segoe UI",Roboto,"DejaVu Sans",sans-serif;margin:0;color:#1d2330;background:#f6f7f9}
a{color:#1f4fbf;text-decoration:none}a:hover{text-decoration:underline}
header.bar{background:#23365f;color:#fff;padding:.6em 1.2em;display:flex;align-items:center;gap:1.2em;flex-wrap:wrap}
header.bar a.home{color:#fff;font-weight:700;font-size:1.15em;letter-spacing:.02em}
header.bar form{display:flex;gap:.4em;flex:1;min-width:16em}
header.bar input[type=text]{flex:1;padding:.35em .5em;border:0;border-radius:3px}
main{max-width:60em;margin:1.2em auto;padding:0 1.2em}
.summary{color:#4a5366;margin:.4em 0 1em}
.hit{background:#fff;border:1px solid #dde1e8;border-radius:4px;padding:.6em .9em;margin:.5em 0}
.hit .n{color:#8a93a6;margin-right:.3em}
.hit a.subject{font-size:1.05em;font-weight:600}
.meta{color:#4a5366;font-size:.9em;margin-top:.25em}
.hit p{margin:0}
.meta span{margin-right:1.2em}
.pager{margin:1.2em 0;display:flex;gap:1.5em}
.pager a{font-weight:600}
table.headers{border-collapse:collapse;margin:.5em 0 1em;font-size:.95em}
table.headers th{text-align:right;color:#4a5366;padding:.15em .8em .15em 0;vertical-align:top;font-weight:600}
pre.body{background:#fff;border:1px solid #dde1e8;border-radius:4px;padding:1em;white-space:pre-wrap;word-wrap:break-word;font-size:.92em;line-height:1.35}
.q1{color:#1f6f3a}.q2{color:#8a4b0f}.q3{color:#6b2f8f}.q4{color:#276b8a}.sig{color:#8a93a6}
form.search fieldset{border:1px solid #dde1e8;background:#fff;border-radius:4px;padding:1em 1.2em}
form.search label{display:inline-block;min-width:8.5em;color:#4a5366}
form.search .row{margin:.45em 0}
form.search input[type=text]{width:24em;max-width:70%;padding:.3em}
form.search button{padding:.4em 1.4em;font-weight:600}
table.counts td{padding:.1em 1em .1em 0}
ul.thread{list-style:none;padding:0}
ul.thread li{background:#fff;border:1px solid #dde1e8;border-radius:4px;padding:.35em .7em;margin:.25em 0}
ul.thread li.current{border-color:#1f4fbf;background:#eef3ff}
ul.thread .here{color:#1f4fbf;font-size:.9em}
footer{color:#8a93a6;font-size:.85em;text-align:center;margin:2em 0}
.notice{background:#fff;border-left:4px solid #c0392b;padding:.8em 1em}
)css";

}  // namespace

std::string pageStart(const PageContext& context, std::string_view title) {
  std::string html;
  html.reserve(4096);
  html +=
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  html += echoText(title);
  html += " - Varnook Archive</title>\n<style>";
  html += kStyle;
  html += "</style></head>\n<body>\n<header class=\"bar\"><a class=\"home\" href=\"";
  html += htmlEscape(absoluteUrl(context, "/"));
  html +=
      "\">Varnook Archive</a>\n<form action=\"/dnquery.xp\" method=\"get\">"
      "<input type=\"text\" name=\"QRY\" aria-label=\"Search words\" "
      "placeholder=\"Search Usenet articles\"><button type=\"submit\">Search</button>"
      "</form></header>\n<main>\n";
  return html;
}

std::string pageEnd() {
  return "</main>\n<footer>Varnook Archive &middot; a searchable archive of Usenet "
         "articles</footer>\n</body></html>\n";
}

std::string echoText(std::string_view text) {
  const std::string display = toDisplayUtf8(text);
  std::string out;
  out.reserve(display.size() * 2);
  for (char c : display) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain =
        byte >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (plain) {
      out += c;
    } else {
      out += "&#" + std::to_string(byte) + ";";
    }
  }
  return out;
}

std::string entryText(std::string_view text) {
  std::string escaped = htmlText(text);
  // "&nbsp;" reads as a blank to the agent and to browsers, but breaks the sentence.
  std::size_t at = 0;
  while ((at = findNoCase(escaped, kNoMatchSentence, at)) != std::string::npos) {
    const std::size_t blank = escaped.find(' ', at);
    escaped.replace(blank, 1, "&nbsp;");
    at = blank + 6;
  }
  return escaped;
}

namespace {

void appendPercent(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

// Bytes that must not appear in a link as they are: control bytes, blanks, DEL, bytes
// of 128 and above (a page stays ASCII in its links and never holds a NUL), and the
// ones that would end an attribute or start markup.
bool unsafeInLink(unsigned char byte) {
  return byte <= 0x20 || byte >= 0x7F || byte == '"' || byte == '\'' || byte == '<' ||
         byte == '>' || byte == '`' || byte == '&';
}

}  // namespace

std::string queryString(const std::vector<Parameter>& parameters) {
  // The agent's encoding leaves "=" alone; in a key it would split the pair.
  const auto append = [](std::string& out, std::string_view text, bool isKey) {
    for (char c : urlEncode(text, true)) {
      const auto byte = static_cast<unsigned char>(c);
      if (unsafeInLink(byte) || (isKey && c == '=')) {
        appendPercent(out, byte);
      } else {
        out += c;
      }
    }
  };
  std::string out;
  for (const auto& [key, value] : parameters) {
    out += out.empty() ? '?' : '&';
    append(out, key, true);
    out += '=';
    append(out, value, false);
  }
  return out;
}

std::string linkPath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (unsafeInLink(static_cast<unsigned char>(c))) {
      appendPercent(out, static_cast<unsigned char>(c));
    } else {
      out += c;
    }
  }
  return out;
}

std::string absoluteUrl(const PageContext& context, std::string_view pathAndQuery) {
  std::string url = context.scheme + "://" + context.host;
  url += pathAndQuery;
  return url;
}

}  // namespace varnook::server
