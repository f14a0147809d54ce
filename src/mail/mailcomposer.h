#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/xdgdirs.h"
#include "desktop/opener.h"
#include "mail/messagefile.h"

namespace varnook {

class Article;

inline constexpr std::string_view kNoNewsClientMessage =
    "Can't reply to the newsgroups: the mail program does not post to newsgroups";
inline constexpr std::string_view kMailClientFailedMessage =
    "Can't launch the default mail client!";

// The MIME types whose default applications take message files.
inline constexpr std::string_view kMailMessageType = "message/rfc822";
inline constexpr std::string_view kNewsMessageType = "message/news";

// Opens a message file, a "mailto:" link or a bare address with the desktop's mail
// program: a "mailto:" link (any letter case) goes to the handler of the "mailto" scheme;
// an absolute file name to the handler of news messages (".nws") or mail messages
// (anything else); any other text that holds "@" gets "mailto:" in front. The caller shows
// kMailClientFailedMessage unless the result is `opened`.
OpenResult openMailTarget(const XdgDirs& dirs, std::string_view target);

// Replies and forwards through the mail program. Created once per run: whether mail and
// news message files have a handler is decided at construction and kept.
class MailComposer {
 public:
  struct Result {
    enum class Status {
      Opened,        // the mail program was started on the message
      NoNewsClient,  // a group reply without a news message handler: kNoNewsClientMessage
      WriteFailed,   // the message file could not be written: `message` says why
      LaunchFailed,  // the mail program did not start: kMailClientFailedMessage
    };
    Status status = Status::Opened;
    std::string message;  // the text for the user's message box, empty when opened
    std::string target;   // the file or link that was (to be) opened
    // The mail program as started: its command line and its watch (see OpenResult).
    std::vector<std::string> argv;
    std::shared_ptr<StartWatch> watch;
  };

  explicit MailComposer(XdgDirs dirs);

  bool hasEmlHandler() const { return hasEmlHandler_; }
  bool hasNwsHandler() const { return hasNwsHandler_; }

  // Writes the message for a reply or forward (modes 0 to 2) and opens it: a temporary
  // message file when a handler takes such files, else (modes 0 and 1) a "mailto:" link to
  // the author. The article's checks (an author with "@" for mode 0) are the caller's.
  Result compose(const Article& article, MessageMode mode);

  // "TempMsg.eml" (modes 0 and 1) or "TempMsg.nws" (mode 2) in the program's cache folder,
  // which is created with owner-only access; each use overwrites it.
  std::string temporaryMessageFile(MessageMode mode) const;

  // The sender as "Name <address>" or the address; looked up until found once.
  std::string myMailAddress();

  // The clock and date notation of reply dates; tests set fixed ones.
  std::function<DayDate()> clock;
  DateNames dateNames;

 private:
  XdgDirs dirs_;
  bool hasEmlHandler_ = false;
  bool hasNwsHandler_ = false;
  std::optional<std::string> sender_;
};

}  // namespace varnook
