// The window's entry points into the desktop: options and About dialogs, help, export, web
// search, posting profiles, links, mail. The dialogs, launchers and the message writer come
// from the desktop-integration work; until each lands, its entry point here does the least
// that keeps the command honest and is marked TODO(integration).
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QSaveFile>
#include <QUrl>

#include "archive/queryurl.h"
#include "settings/optionsstore.h"
#include "transfer/scheduler.h"
#include "ui/articlesform.h"
#include "ui/colormemo.h"
#include "ui/qttext.h"
#include "ui/querypanel.h"
#include "ui/userprompts.h"

#include <QLineEdit>

namespace varnook {

void ArticlesForm::mnuOptionsClick() {
  // TODO(integration): run OptionsDialog; after OK: options_.save() (error box on failure),
  // scheduler_->startPendingArticles(), ArtView->applyOptions(options_.options()).
}

void ArticlesForm::mnuAboutClick() {
  // TODO(integration): AboutDialog with the home-site check (homeSite_).
}

void ArticlesForm::contents1Click() {
  // TODO(integration): open docs/manual.html through OpenInHelpViewer.
}

void ArticlesForm::mnuExportClick() {
  // TODO(integration): File > Export of the loaded articles to an mbox file.
}

void ArticlesForm::webSearch(const QString& text) {
  // TODO(integration): WebSearch with the search template and OpenURL.
  (void)text;
}

void ArticlesForm::mnuWebSearchClick() {
  webSearch(panel_->edKeywords->text());
}

void ArticlesForm::ctrlWWebSearch() {
  // TODO(integration): WebSearch with ContextSearchText (by the focused control).
  webSearch(panel_->edKeywords->text());
}

void ArticlesForm::mnuPostingProfileClick() {
  if (!lblAuthor->text().contains(QLatin1Char('@'))) return;
  const std::string url =
      buildProfileUrl(encodeText(lblAuthor->text()), options_.options().serviceSettings());
  openUrl(url);
}

void ArticlesForm::artViewHotSpotClick(const QByteArray& link) {
  // TODO(integration): addresses ("@") go to OpenMailTarget, everything else to OpenURL.
  const std::string target(link.constData(), static_cast<std::size_t>(link.size()));
  if (target.find('@') != std::string::npos) return;
  openUrl(target);
}

void ArticlesForm::mnuReplyAuthorClick() {
  // TODO(integration): ComposeMessage(first selected article, ReplyAuthor) when its author
  // holds "@".
}

void ArticlesForm::mnuReplyGroupClick() {
  // TODO(integration): ComposeMessage(first selected article, ReplyGroup).
}

void ArticlesForm::mnuForwardClick() {
  // TODO(integration): ComposeMessage(first selected article, Forward).
}

void ArticlesForm::openInBrowser(const std::string& path) {
  // TODO(integration): OpenURL. A local file is handed to the desktop's opener meanwhile.
  QDesktopServices::openUrl(QUrl::fromLocalFile(decodeBytes(path)));
}

void ArticlesForm::openUrl(const std::string& url) {
  // TODO(integration): OpenURL with its error messages.
  QDesktopServices::openUrl(QUrl::fromUserInput(decodeBytes(url)));
}

void ArticlesForm::openInHelpViewer(const std::string& url) {
  openUrl(url);
}

bool ArticlesForm::writeArticleFile(const Article& article, const QString& fileName) {
  // TODO(integration): the message writer in save mode (WriteMessageFile mode 3). Until it
  // lands the same lines are written here; the date follows the message date pattern.
  const auto headerLine = [](QByteArray& out, const char* name, const std::string& value) {
    out += name;
    out += ": ";
    out += QByteArray(value.data(), static_cast<qsizetype>(value.size()));
    out += "\r\n";
  };
  QByteArray out;
  headerLine(out, "From", article.author);
  headerLine(out, "Subject", article.subject);
  headerLine(out, "Newsgroups", article.forum);
  const QLocale locale;
  const QDateTime date = toQDateTime(article.date);
  const QString dateText = locale.toString(date, QStringLiteral("ddd, d MMM yy ")) +
                           locale.toString(date.time(), QLocale::LongFormat);
  headerLine(out, "Date", encodeText(dateText));
  if (!article.messageId.empty()) headerLine(out, "Message-ID", article.messageId);
  if (!article.references.empty()) headerLine(out, "References", article.references);
  out += "\r\n";
  out += QByteArray(article.text.data(), static_cast<qsizetype>(article.text.size()));
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
    error(file.errorString());
    return false;
  }
  return true;
}

}  // namespace varnook
