// The article page and the posting profile page.

#include <string_view>

#include "server/pages.h"
#include "server/textutil.h"

namespace varnook::server {
namespace {

bool startsWithUrl(std::string_view text) {
  for (std::string_view scheme : {"http://", "https://", "ftp://"})
    if (text.substr(0, scheme.size()) == scheme) return true;
  return false;
}

bool endsUrl(char c) {
  return static_cast<unsigned char>(c) <= ' ' || c == '<' || c == '>' || c == '"' || c == '\'' ||
         c == '(' || c == ')' || c == '[' || c == ']' || c == '{' || c == '}';
}

// One line of the body, escaped, with web addresses made into links.
std::string lineHtml(std::string_view line) {
  std::string html;
  std::size_t position = 0;
  while (position < line.size()) {
    std::size_t start = std::string_view::npos;
    for (std::size_t i = position; i < line.size(); ++i) {
      if ((line[i] == 'h' || line[i] == 'f') && startsWithUrl(line.substr(i)) &&
          (i == 0 || endsUrl(line[i - 1]))) {
        start = i;
        break;
      }
    }
    if (start == std::string_view::npos) {
      html += htmlText(line.substr(position));
      break;
    }
    html += htmlText(line.substr(position, start - position));
    std::size_t end = start;
    while (end < line.size() && !endsUrl(line[end])) ++end;
    while (end > start && std::string_view(".,;:!?").find(line[end - 1]) != std::string_view::npos)
      --end;
    const std::string url = htmlText(line.substr(start, end - start));
    html += "<a href=\"" + url + "\" rel=\"nofollow\">" + url + "</a>";
    position = end;
  }
  return html;
}

int quoteDepth(std::string_view line) {
  int depth = 0;
  for (char c : line) {
    if (c == '>') {
      ++depth;
    } else if (c != ' ' && c != '\t') {
      break;
    }
  }
  return depth;
}

std::string bodyHtml(std::string_view body) {
  std::string html;
  html.reserve(body.size() + body.size() / 4);
  bool signature = false;
  std::size_t position = 0;
  while (position < body.size()) {
    std::size_t end = body.find('\n', position);
    if (end == std::string_view::npos) end = body.size();
    std::string_view line = body.substr(position, end - position);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line == "-- ") signature = true;
    const int depth = quoteDepth(line);
    if (signature) {
      html += "<span class=\"sig\">" + lineHtml(line) + "</span>";
    } else if (depth > 0) {
      html += "<span class=\"q" + std::to_string((depth - 1) % 4 + 1) + "\">" + lineHtml(line) +
              "</span>";
    } else {
      html += lineHtml(line);
    }
    html += '\n';
    position = end + 1;
  }
  return html;
}

std::string searchLink(const PageContext& context, const std::vector<Parameter>& parameters) {
  return htmlEscape(absoluteUrl(context, "/dnquery.xp" + queryString(parameters)));
}

void headerRow(std::string& html, std::string_view name, const std::string& valueHtml) {
  if (valueHtml.empty()) return;
  html += "<tr><th>" + std::string(name) + "</th><td>" + valueHtml + "</td></tr>\n";
}

}  // namespace

std::string articlePage(const PageContext& context, const StoredArticle& article) {
  const std::string subject = article.subject.empty() ? "(no subject)" : article.subject;
  std::string html = pageStart(context, subject);
  html += "<h2>" + htmlText(subject) + "</h2>\n<table class=\"headers\">\n";
  std::string from = htmlText(article.from);
  if (!article.from.empty()) {
    from +=
        " &middot; <a href=\"" +
        htmlEscape(absoluteUrl(context, "/profile.xp" + queryString({{"author", article.from}}))) +
        "\">posting profile</a>";
  }
  headerRow(html, "From", from);
  headerRow(html, "Date", htmlText(formatHeaderDate(article.date)));
  std::string groups;
  for (const std::string& group : article.groups) {
    if (!groups.empty()) groups += ", ";
    groups += "<a href=\"" + searchLink(context, {{"groups", group}, {"sort", "date"}}) + "\">" +
              htmlText(group) + "</a>";
  }
  headerRow(html, "Newsgroups", groups);
  headerRow(html, "Message-ID", htmlText(article.messageId));
  headerRow(html, "References", htmlText(article.references));
  headerRow(html, "Article",
            std::to_string(article.number) + " &middot; <a href=\"" +
                htmlEscape(absoluteUrl(
                    context, "/getdoc.xp?AN=" + std::to_string(article.number) + "&fmt=text")) +
                "\">plain text</a>");
  html += "</table>\n<pre class=\"body\">" + bodyHtml(article.body) + "</pre>\n";
  html += pageEnd();
  return html;
}

std::string profilePage(const PageContext& context, const AuthorProfile& profile) {
  std::string html = pageStart(context, "Posting profile: " + profile.author);
  html += "<h2>Posting profile of " + echoText(profile.author) + "</h2>\n";
  if (profile.articles == 0) {
    html += "<p class=\"notice\">The archive holds no articles by this author.</p>\n";
    html += pageEnd();
    return html;
  }
  html += "<p class=\"summary\">" + groupedNumber(profile.articles) +
          (profile.articles == 1 ? " article" : " articles");
  if (profile.first != kUnknownDate) {
    html += ", first posted " + formatListDate(profile.first) + ", last posted " +
            formatListDate(profile.last);
  }
  if (!profile.address.empty()) html += " (by address " + htmlText(profile.address) + ")";
  html += ".</p>\n<h3>Newsgroups</h3>\n<table class=\"counts\">\n";
  for (const auto& [group, count] : profile.groups) {
    html += "<tr><td><a href=\"" +
            searchLink(context,
                       {{"authors", profile.address.empty() ? profile.author : profile.address},
                        {"groups", group},
                        {"sort", "date"}}) +
            "\">" + htmlText(group) + "</a></td><td>" + groupedNumber(count) + "</td></tr>\n";
  }
  html += "</table>\n<h3>Latest articles</h3>\n<ul>\n";
  for (const StoredArticle& article : profile.latest) {
    html += "<li>" + formatListDate(article.date) + " <a href=\"" +
            htmlEscape(absoluteUrl(context, "/getdoc.xp?AN=" + std::to_string(article.number))) +
            "\">" + htmlText(article.subject.empty() ? "(no subject)" : article.subject) +
            "</a> <span class=\"meta\">" + htmlText(article.groupList()) + "</span></li>\n";
  }
  html += "</ul>\n";
  html += pageEnd();
  return html;
}

}  // namespace varnook::server
