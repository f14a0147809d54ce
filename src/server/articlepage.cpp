// The article page and the posting profile page.

#include <algorithm>
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

std::string articleLink(const PageContext& context, std::uint32_t number) {
  return htmlEscape(absoluteUrl(context, "/getdoc.xp?AN=" + std::to_string(number)));
}

// The References text with every Message-ID the archive holds made a link to its article.
std::string referencesHtml(const PageContext& context, std::string_view text,
                           const std::vector<std::pair<std::string, std::uint32_t>>& held) {
  std::string html;
  std::size_t done = 0;
  for (const auto& [id, number] : held) {
    const std::size_t at = text.find(id, done);
    if (at == std::string_view::npos) continue;
    html += htmlText(text.substr(done, at - done)) + "<a href=\"" + articleLink(context, number) +
            "\">" + htmlText(id) + "</a>";
    done = at + id.size();
  }
  return html + htmlText(text.substr(done));
}

}  // namespace

std::string articlePage(const PageContext& context, const StoredArticle& article,
                        const ArticleLinks& links) {
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
  headerRow(html, "References", referencesHtml(context, article.references, links.references));
  if (links.threadSize > 0) {
    headerRow(
        html, "Thread",
        "<a class=\"thread\" href=\"" +
            htmlEscape(absoluteUrl(context, "/thread.xp?AN=" + std::to_string(article.number))) +
            "\">" + groupedNumber(links.threadSize) +
            (links.threadSize == 1 ? " article" : " articles") + "</a>");
  }
  headerRow(html, "Article",
            std::to_string(article.number) + " &middot; <a href=\"" +
                htmlEscape(absoluteUrl(
                    context, "/getdoc.xp?AN=" + std::to_string(article.number) + "&fmt=text")) +
                "\">plain text</a>");
  html += "</table>\n<pre class=\"body\">" + bodyHtml(article.body) + "</pre>\n";
  html += pageEnd();
  return html;
}

std::string threadPage(const PageContext& context, const ThreadListing& thread,
                       std::uint32_t current) {
  const std::string subject =
      thread.entries.empty() || thread.entries.front().article.subject.empty()
          ? "(no subject)"
          : thread.entries.front().article.subject;
  std::string html = pageStart(context, "Thread: " + subject);
  // The page lists every article of the thread, so its result list searches every archive.
  html += "<h2>Thread: " + htmlText(subject) + "</h2>\n<p class=\"summary\">" +
          groupedNumber(thread.total) + (thread.total == 1 ? " article" : " articles") +
          ", each reply indented under the article it answers. <a href=\"" +
          searchLink(context, {{"thread", std::to_string(current)}, {"DBS", "1"}}) +
          "\">As a result list</a></p>\n<ul class=\"thread\">\n";
  for (const ThreadListing::Entry& entry : thread.entries) {
    const StoredArticle& article = entry.article;
    const bool here = article.number == current;
    // Deep trees stay readable: indentation stops growing at 30 levels.
    html += "<li" + std::string(here ? " class=\"current\"" : "") + " data-depth=\"" +
            std::to_string(entry.depth) + "\" style=\"margin-left:calc(1.5em*" +
            std::to_string(std::min<std::uint32_t>(entry.depth, 30)) + ")\"><a href=\"" +
            articleLink(context, article.number) + "\">" +
            htmlText(article.subject.empty() ? "(no subject)" : article.subject) +
            "</a> <span class=\"meta\">" + htmlText(article.from) + " &middot; " +
            formatListDate(article.date) + "</span>" +
            (here ? " <b class=\"here\">&larr; this article</b>" : "") + "</li>\n";
  }
  html += "</ul>\n";
  if (thread.entries.size() < thread.total) {
    html += "<p class=\"notice\">The first " + groupedNumber(thread.entries.size()) +
            " articles are shown; the <a href=\"" +
            searchLink(context, {{"thread", std::to_string(current)}, {"DBS", "1"}}) +
            "\">result list</a> has them all.</p>\n";
  }
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
