#include "mail/messagefile.h"

#include "archive/charset.h"
#include "base/wholefile.h"
#include "collection/article.h"
#include "mail/mboxexport.h"

namespace varnook {

namespace {

void headerLine(std::string& out, std::string_view name, std::string_view value) {
  out += name;
  out += ": ";
  for (char c : value) out += (c == '\r' || c == '\n') ? ' ' : c;
  out += "\r\n";
}

}  // namespace

std::vector<std::string_view> splitTextLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

std::string messageText(const Article& article, MessageMode mode, const MessageContext& context) {
  std::string out;
  out.reserve(article.text.size() + article.text.size() / 16 + 512);
  if (mode == MessageMode::SaveArticle) {
    headerLine(out, "From", article.author);
    headerLine(out, "Subject", article.subject);
    headerLine(out, "Newsgroups", article.forum);
    headerLine(out, "Date", formatMessageDate(article.date, context.dateNames));
    if (!article.messageId.empty()) headerLine(out, "Message-ID", article.messageId);
    if (!article.references.empty()) headerLine(out, "References", article.references);
    out += "\r\n";
    out += article.text;
    return out;
  }
  headerLine(out, "From", asUtf8(context.sender));
  headerLine(out, "Subject",
             (mode == MessageMode::Forward ? "Fw: " : "Re: ") + asUtf8(article.subject));
  if (mode == MessageMode::ReplyAuthor) headerLine(out, "To", asUtf8(article.author));
  if (mode == MessageMode::ReplyGroup) {
    headerLine(out, "Newsgroups", asUtf8(article.forum));
    if (!article.messageId.empty()) headerLine(out, "References", asUtf8(article.messageId));
  }
  headerLine(out, "Date", rfc5322Date(context.now));
  out +=
      "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
      "Content-Transfer-Encoding: 8bit\r\nX-Unsent: 1\r\n\r\n";
  const std::string body = asUtf8(article.text);
  for (std::string_view line : splitTextLines(body)) {
    out += '>';
    out += line;
    out += "\r\n";
  }
  return out;
}

std::string writeMessageFile(const Article& article, const std::string& fileName, MessageMode mode,
                             const MessageContext& context, bool ownerOnly) {
  return writeWholeFile(fileName, messageText(article, mode, context),
                        ownerOnly ? FileAccess::OwnerOnly : FileAccess::Usual);
}

}  // namespace varnook
