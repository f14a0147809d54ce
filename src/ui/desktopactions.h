#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "archive/service.h"
#include "base/xdgdirs.h"
#include "desktop/opener.h"
#include "mail/mailcomposer.h"
#include "mail/messagefile.h"
#include "ui/userprompts.h"

class QWidget;

namespace varnook {

class Article;
class Collection;

// The main window's ways out to the desktop: the browser, the help viewer, the mail
// program, the web search, the manual, saving an article and exporting the collection.
// Every command reports its own failures in a message box through the prompts, with the
// program's texts, and never blocks: started programs run on their own. A browser or mail
// program that fails within its first two seconds is reported once that is seen, with its
// name and what it wrote.
class DesktopActions {
 public:
  // `parent` owns the message boxes; `dirs` are the XDG folders of this run.
  DesktopActions(XdgDirs dirs, UserPrompts& prompts, QWidget* parent);

  // OpenURL: the default browser on a URL or file. Errors: "Unable to detect your default
  // browser!", "Can't launch the default browser!".
  bool openUrl(const std::string& target);
  // OpenInHelpViewer: the HTML document viewer, falling back to the browser.
  void openInHelpViewer(const std::string& target);
  // OpenMailTarget: a message file, a "mailto:" link or a bare address; error "Can't
  // launch the default mail client!".
  bool openMailTarget(const std::string& target);

  // WebSearch: the browser on the search URL for `text` (the template is kept in the
  // options folder and written with the built-in one when missing or unusable).
  void webSearch(const std::string& text);
  // The posting-profile command with the author label's text.
  void openPostingProfile(const std::string& author, const ServiceSettings& service);
  // A click on a link in the article view: an address (a text holding "@") goes to the
  // mail program, everything else to the browser.
  void hotSpotClick(const std::string& link);
  // Help > Contents (F1): the manual in the help viewer.
  void openManual();
  // The manual's file: installed beside the program's data, else the source tree's copy.
  std::string manualFile() const;

  // ComposeMessage (modes 0 to 2) with its warning and error boxes.
  void composeMessage(const Article& article, MessageMode mode);
  // Save article: the message writer in save mode; an error box with the system's reason
  // when the file cannot be written.
  bool saveArticle(const Article& article, const QString& fileName);

  // File > Export: the collection's loaded articles into an mbox file. The count written,
  // or nothing after an error box.
  std::optional<std::size_t> exportArticles(const Collection& collection, const QString& fileName);
  // The save dialog of File > Export.
  static FileDialogSpec exportDialogSpec(const Collection& collection);

  MailComposer& mailComposer() { return composer_; }
  const XdgDirs& dirs() const { return dirs_; }

 private:
  void report(UserPrompts::Kind kind, std::string_view text);
  // Shows `failure` with the program's own words when the started program fails early.
  void reportEarlyFailure(const std::shared_ptr<StartWatch>& watch,
                          const std::vector<std::string>& argv, std::string_view failure);

  QObject watchers_;  // the watches' notifiers
  XdgDirs dirs_;
  UserPrompts& prompts_;
  QWidget* parent_;
  MailComposer composer_;
};

}  // namespace varnook
