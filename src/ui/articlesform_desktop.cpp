// The window's ways out to the desktop: the options and About dialogs, help, export, web
// search, posting profiles, links in the viewer, replies and forwards, saving one article.
// The work itself is DesktopActions'; this file decides what each command hands it.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTreeView>

#include "settings/optionsstore.h"
#include "transfer/scheduler.h"
#include "ui/aboutdialog.h"
#include "ui/articlesform.h"
#include "ui/colormemo.h"
#include "ui/desktopactions.h"
#include "ui/optionsdialog.h"
#include "ui/qttext.h"
#include "ui/querypanel.h"
#include "ui/searchtext.h"
#include "ui/updateprompts.h"
#include "ui/userprompts.h"

namespace varnook {

void ArticlesForm::mnuOptionsClick() {
  OptionsDialog dialog(options_.options(), this);
  if (prompts_.execDialog(dialog) != QDialog::Accepted) return;
  // The dialog has written the options; keep them, start what the new limit allows, and
  // show the article with the new viewer settings.
  const OptionsSaveResult saved = options_.save();
  if (!saved.saved && !saved.message.empty()) error(decodeBytes(saved.message));
  if (scheduler_ != nullptr) scheduler_->startPendingArticles();
  ArtView->applyOptions(options_.options());
}

void ArticlesForm::mnuAboutClick() {
  if (homeSite_ == nullptr) return;
  AboutDialog about(*homeSite_, *desktop_, this);
  prompts_.execDialog(about);
}

void ArticlesForm::contents1Click() {
  desktop_->openManual();
}

void ArticlesForm::mnuExportClick() {
  const QString chosen = prompts_.saveFileName(this, DesktopActions::exportDialogSpec(collection_));
  if (chosen.isEmpty()) return;
  if (const auto written = desktop_->exportArticles(collection_, chosen))
    setMessagePanel(QString::asprintf("Articles exported: %zu", *written));
}

void ArticlesForm::webSearch(const QString& text) {
  desktop_->webSearch(encodeText(text));
}

void ArticlesForm::mnuWebSearchClick() {
  webSearch(panel_->edKeywords->text());
}

QString ArticlesForm::contextSearchText() const {
  QWidget* focus = QApplication::focusWidget();
  if (auto* edit = qobject_cast<QLineEdit*>(focus))
    return edit->hasSelectedText() ? edit->selectedText() : edit->text();
  if (focus == ArtView)
    return decodeBytes(ArtView->hasSelection() ? ArtView->selectedBytes() : ArtView->wordAtCaret());
  if (focus == lvQueries) {
    if (const Request* request = selectedRequest()) {
      std::string text(trimBlanksAndControls(request->keywords));
      if (text.empty()) text = stripReplyPrefixes(request->subject);
      if (text.empty()) text = request->forum;
      if (text.empty()) text = request->author;
      return decodeBytes(text);
    }
  } else if (focus == lvArticles) {
    if (const Article* article = firstSelectedArticle())
      return decodeBytes(stripReplyPrefixes(article->subject));
  }
  return Pages->currentIndex() == 0 ? panel_->edKeywords->text() : QString();
}

void ArticlesForm::ctrlWWebSearch() {
  webSearch(contextSearchText());
}

void ArticlesForm::mnuSelWebSearchClick() {
  // The viewer's "Search the Web": its selection, or the word at the caret.
  webSearch(
      decodeBytes(ArtView->hasSelection() ? ArtView->selectedBytes() : ArtView->wordAtCaret()));
}

void ArticlesForm::mnuPostingProfileClick() {
  // The author label shows the shown article's author; its menu and the list's entry are
  // enabled only for an address.
  const std::string author = encodeText(lblAuthor->text());
  if (author.find('@') == std::string::npos) return;
  desktop_->openPostingProfile(author, options_.options().serviceSettings());
}

void ArticlesForm::artViewHotSpotClick(const QByteArray& link) {
  desktop_->hotSpotClick(std::string(link.constData(), static_cast<std::size_t>(link.size())));
}

void ArticlesForm::mnuReplyAuthorClick() {
  const Article* article = firstSelectedArticle();
  if (article == nullptr || article->author.find('@') == std::string::npos) return;
  desktop_->composeMessage(*article, MessageMode::replyAuthor);
}

void ArticlesForm::mnuReplyGroupClick() {
  if (const Article* article = firstSelectedArticle())
    desktop_->composeMessage(*article, MessageMode::replyGroup);
}

void ArticlesForm::mnuForwardClick() {
  if (const Article* article = firstSelectedArticle())
    desktop_->composeMessage(*article, MessageMode::forward);
}

bool ArticlesForm::writeArticleFile(const Article& article, const QString& fileName) {
  return desktop_->saveArticle(article, fileName);
}

void ArticlesForm::openInBrowser(const std::string& path) {
  desktop_->openUrl(path);
}

void ArticlesForm::openUrl(const std::string& url) {
  updatePrompts_->openUrl(url);
}

void ArticlesForm::openInHelpViewer(const std::string& url) {
  updatePrompts_->openInHelpViewer(url);
}

}  // namespace varnook
