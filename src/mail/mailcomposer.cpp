#include "mail/mailcomposer.h"

#include "base/asciicase.h"
#include "base/privatefolder.h"
#include "collection/article.h"
#include "desktop/mimeapps.h"
#include "mail/mailidentity.h"
#include "mail/mailto.h"

namespace varnook {

namespace {

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         startsWithNoCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

OpenResult openMailTarget(const XdgDirs& dirs, std::string_view target) {
  // A file name is checked before the "@" rule: a cache folder below a home folder such as
  // "/home/a@b" must not turn the file into a mail address.
  if (startsWithNoCase(target, "mailto:")) {
    return openWithDefault(dirs, "x-scheme-handler/mailto", target);
  }
  if (!target.empty() && target.front() == '/') {
    return openWithDefault(
        dirs, endsWithNoCase(target, ".nws") ? kNewsMessageType : kMailMessageType, target);
  }
  if (target.find('@') != std::string_view::npos) {
    return openWithDefault(dirs, "x-scheme-handler/mailto", "mailto:" + std::string(target));
  }
  return OpenResult{};
}

MailComposer::MailComposer(XdgDirs dirs)
    : clock(nowLocal), dateNames(DateNames::userLocale()), dirs_(std::move(dirs)) {
  hasEmlHandler_ = defaultApplication(dirs_, kMailMessageType).has_value();
  hasNwsHandler_ = defaultApplication(dirs_, kNewsMessageType).has_value();
}

std::string MailComposer::temporaryMessageFile(MessageMode mode) const {
  const std::string folder = dirs_.programCacheFolder();
  if (folder.empty()) return {};
  return folder + (mode == MessageMode::ReplyGroup ? "/TempMsg.nws" : "/TempMsg.eml");
}

std::string MailComposer::myMailAddress() {
  if (!sender_) {
    std::string found = findMailIdentity(dirs_).text();
    if (found.empty()) return {};
    sender_ = std::move(found);
  }
  return *sender_;
}

MailComposer::Result MailComposer::compose(const Article& article, MessageMode mode) {
  Result result;
  const bool fileHandler = mode == MessageMode::ReplyGroup ? hasNwsHandler_ : hasEmlHandler_;
  if (mode == MessageMode::ReplyGroup && !fileHandler) {
    result.status = Result::Status::NoNewsClient;
    result.message = kNoNewsClientMessage;
    return result;
  }
  if (fileHandler) {
    result.target = temporaryMessageFile(mode);
    std::string error;
    if (result.target.empty()) {
      error = "Cannot create file \"TempMsg\". No cache folder (HOME is not set)";
    } else {
      const std::string folder = dirs_.programCacheFolder();
      error = createPrivateFolder(folder);
      if (!error.empty()) {
        error = "Cannot create folder \"" + folder + "\". " + error;
      } else {
        MessageContext context{myMailAddress(), clock(), dateNames};
        error = writeMessageFile(article, result.target, mode, context, true);
      }
    }
    if (!error.empty()) {
      result.status = Result::Status::WriteFailed;
      result.message = std::move(error);
      return result;
    }
  } else {
    result.target = mailtoLink(article);
  }
  OpenResult opened = openMailTarget(dirs_, result.target);
  result.argv = std::move(opened.argv);
  result.watch = std::move(opened.watch);
  if (opened.status != OpenStatus::Opened) {
    result.status = Result::Status::LaunchFailed;
    result.message = kMailClientFailedMessage;
  }
  return result;
}

}  // namespace varnook
