#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/daydate.h"
#include "mail/datenames.h"

namespace varnook {

class Article;

// What a message file is for; the numbers are the ones the commands pass.
enum class MessageMode {
  ReplyAuthor = 0,  // "Reply to author"
  Forward = 1,      // "Forward"
  ReplyGroup = 2,   // "Reply to the newsgroup(s)"
  SaveArticle = 3,  // "S&ave article as..."
};

// What a message file takes besides the article.
struct MessageContext {
  std::string sender;  // the "From" of a reply or forward; may be empty
  DayDate now = 0;     // the "Date" of a reply or forward
  DateNames dateNames = DateNames::classic();
};

// The lines of a text, split at CR LF, LF or a lone CR; a line end at the very end starts
// no further line ("a\r\nb\r\n" is two lines).
std::vector<std::string_view> splitTextLines(std::string_view text);

// The message file's bytes, every line ended by CR LF:
// - reply and forward: From (sender), Subject ("Re: " or "Fw: " + subject, added even when
//   one is there), To (author, reply to author only), Newsgroups (reply to group only),
//   References (reply to group, when the article has a Message-ID), Date (now, in local
//   time as mail headers write dates: rfc5322Date), MIME-Version, Content-Type (plain text in
//   UTF-8) and Content-Transfer-Encoding (8bit), the line "X-Unsent: 1", an empty line, and every
//   body line with ">" in front; texts that are no UTF-8 are read as Windows-1252 and written as
//   UTF-8, so the mail program reads what the window showed;
// - save: From (author), Subject, Newsgroups, Date (the article's own), Message-ID and
//   References when present, an empty line, and the body exactly as stored.
// A CR or LF inside a header value becomes a blank, so that no field of the article can
// add header lines of its own.
std::string messageText(const Article& article, MessageMode mode, const MessageContext& context);

// Writes messageText to `fileName` as a whole (owner-only access when `ownerOnly`, else
// the usual access). Empty on success, else the message for the user.
std::string writeMessageFile(const Article& article, const std::string& fileName, MessageMode mode,
                             const MessageContext& context, bool ownerOnly = false);

}  // namespace varnook
