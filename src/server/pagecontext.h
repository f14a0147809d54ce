#pragma once

// What every HTML page of the archive needs to know about the request it answers.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnook::server {

// A decoded URL parameter, in the order the URL gave them.
using Parameter = std::pair<std::string, std::string>;

struct PageContext {
  // host[:port] that absolute links point to: the Host the client asked for, or the
  // configured service host when it sent none (or an unusable one).
  std::string host = "localhost:8119";
  // "http", or "https" when the archive serves HTTPS: the scheme of every absolute link.
  std::string scheme = "http";
  // The path the request came in on ("/[ST_rn=ps]/dnquery.xp"), made safe for links
  // with linkPath; next-page links keep it.
  std::string path = "/dnquery.xp";
  // Shown on the front page: the settings an agent uses to reach this archive.
  std::string serviceHost = "localhost:8119";
  std::string serviceDomain = "localhost:8119";
};

// The shared page frame: doctype, UTF-8, title, style sheet, the header bar with the
// archive's name linking to the front page, and the footer.
std::string pageStart(const PageContext& context, std::string_view title);
std::string pageEnd();

// Text typed by the visitor (a query echoed into a form or a heading), escaped so that
// it renders as typed but can never spell one of the result page's markers.
std::string echoText(std::string_view text);

// An article header text (subject, author, group) for a result entry: escaped for HTML,
// and with the no-match sentence defused, so that no posted text can make the agent
// misread the page. The agent's reader turns it back into the same text.
std::string entryText(std::string_view text);

// "?k=v&k=v" with URL-encoded values and the raw "&" separators the agent expects.
// Control bytes, DEL and bytes of 128 and above are percent-encoded as well.
std::string queryString(const std::vector<Parameter>& parameters);

// A request path as sent, for a link: control bytes, blanks, DEL, bytes of 128 and above
// and the characters that end an attribute or start markup ('"', '\'', '<', '>', '`',
// '&') are percent-encoded; everything else, escapes included, stays as it was sent.
std::string linkPath(std::string_view path);

// "<scheme>://<host>" + path.
std::string absoluteUrl(const PageContext& context, std::string_view pathAndQuery);

}  // namespace varnook::server
