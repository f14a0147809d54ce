// The transfer buttons, the clipboard, the log, and the window's ways out to the desktop:
// the options and About dialogs, help, export, web search, posting profiles, replies and
// forwards. The desktop work itself is DesktopActions'; these decide what it is handed.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTreeView>

#include "settings/optionsstore.h"
#include "transfer/scheduler.h"
#include "ui/aboutdialog.h"
#include "ui/colormemo.h"
#include "ui/desktopactions.h"
#include "ui/desktopcommands.h"
#include "ui/findbar.h"
#include "ui/logpage.h"
#include "ui/optionsdialog.h"
#include "ui/qttext.h"
#include "ui/queriespage.h"
#include "ui/searchtext.h"
#include "ui/statusbarpresenter.h"
#include "ui/userprompts.h"
#include "update/homesite.h"

namespace varnook {

void DesktopCommands::stopAllTransfers() {
  statusBar_.showDownloadsPaused({});
  scheduler_.stopAll();
  if (homeSite_.running()) homeSite_.abort();
  transfersRunning_ = scheduler_.transfersRunning();
  updateCommands();
}

void DesktopCommands::switchAutoDownload() {
  const bool on = action("btnAuto")->isChecked();
  if (on) statusBar_.showDownloadsPaused({});
  scheduler_.setAutoDownload(on);
}

void DesktopCommands::switchMarkNewArticles() {
  collection_.markNewArticles = action("btnAutoMark")->isChecked();
}

void DesktopCommands::resumeDownloads() {
  statusBar_.showDownloadsPaused({});
  scheduler_.resumeDownloads();
}

// --- The clipboard ----------------------------------------------------------------------

void DesktopCommands::copyOrCut(bool cut) {
  QWidget* focus = QApplication::focusWidget();
  ColorMemo& viewer = articles_.viewer();
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
    if (!edit->hasSelectedText()) return;
    QGuiApplication::clipboard()->setText(edit->selectedText());
    if (cut && !edit->isReadOnly()) edit->del();
  } else if (focus == &viewer) {
    // The link markers stay behind.
    if (viewer.hasSelection()) QGuiApplication::clipboard()->setText(viewer.selectedText());
  } else if (focus == &log_) {
    if (log_.textCursor().hasSelection()) log_.copy();
  }
}

void DesktopCommands::paste() {
  auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  if (edit == nullptr || edit->isReadOnly()) return;
  const QString text = QGuiApplication::clipboard()->text();
  if (text.isEmpty()) return;
  // Up to the first line break: the panel's edits hold one line.
  const qsizetype end = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
  edit->insert(end < 0 ? text : text.left(end));
}

void DesktopCommands::selectViewerText() {
  articles_.viewer().selectAll();
}

void DesktopCommands::findInArticle() {
  if (page_ == 1) articles_.findBar().open();
}

// --- The log ------------------------------------------------------------------------------

void DesktopCommands::saveLog() {
  FileDialogSpec spec;
  spec.title = QStringLiteral("Saving news download log to ...");
  spec.filters = {QStringLiteral("Text files (*.txt)"), QStringLiteral("All files (*)")};
  spec.defaultSuffix = QStringLiteral("txt");
  const QString chosen = prompts_.saveFileName(dialogParent(), spec);
  if (chosen.isEmpty()) return;
  const QByteArray bytes = log_.fileBytes();
  // Written whole or not at all.
  QSaveFile file(chosen);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
    error(file.errorString());
}

void DesktopCommands::clearLog() {
  log_.clear();
}

// --- Dialogs, help and export -------------------------------------------------------------

void DesktopCommands::showOptions() {
  OptionsDialog dialog(options_.options(), dialogParent());
  if (prompts_.execDialog(dialog) != QDialog::Accepted) return;
  // The dialog has written the options; keep them, start what the new limit allows, and
  // show the article with the new viewer settings.
  const OptionsSaveResult saved = options_.save();
  if (!saved.saved && !saved.message.empty()) error(decodeBytes(saved.message));
  scheduler_.startPendingArticles();
  articles_.applyOptions(options_.options());
}

void DesktopCommands::showAbout() {
  AboutDialog about(homeSite_, desktop_, dialogParent());
  prompts_.execDialog(about);
}

void DesktopCommands::showManual() {
  desktop_.openManual();
}

void DesktopCommands::exportArticles() {
  const QString chosen =
      prompts_.saveFileName(dialogParent(), DesktopActions::exportDialogSpec(collection_));
  if (chosen.isEmpty()) return;
  if (const auto written = desktop_.exportArticles(collection_, chosen))
    statusBar_.setMessage(QString::asprintf("Articles exported: %zu", *written));
}

// --- Web searches, posting profiles and mail ----------------------------------------------

void DesktopCommands::webSearchPanelKeywords() {
  webSearch(queries_.panel().edKeywords->text());
}

void DesktopCommands::webSearchFromViewer() {
  // The viewer's selection, or the word at the caret.
  const ColorMemo& viewer = articles_.viewer();
  webSearch(decodeBytes(viewer.hasSelection() ? viewer.selectedBytes() : viewer.wordAtCaret()));
}

void DesktopCommands::webSearchFromContext() {
  // Ctrl+W: the focused control's text, the selected row's words, or the panel's keywords.
  QWidget* focus = QApplication::focusWidget();
  const ColorMemo& viewer = articles_.viewer();
  const Request* request = queries_.selectedRequest();
  const Article* article = articles_.selection().first;
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
    webSearch(edit->hasSelectedText() ? edit->selectedText() : edit->text());
  } else if (focus == &viewer) {
    webSearch(decodeBytes(viewer.hasSelection() ? viewer.selectedBytes() : viewer.wordAtCaret()));
  } else if (focus == &queries_.list() && request != nullptr) {
    std::string text(trimBlanksAndControls(request->keywords));
    if (text.empty()) text = stripReplyPrefixes(request->subject);
    if (text.empty()) text = request->forum;
    if (text.empty()) text = request->author;
    webSearch(decodeBytes(text));
  } else if (focus == &articles_.list() && article != nullptr) {
    webSearch(decodeBytes(stripReplyPrefixes(article->subject)));
  } else {
    webSearch(page_ == 0 ? queries_.panel().edKeywords->text() : QString());
  }
}

void DesktopCommands::webSearch(const QString& text) {
  desktop_.webSearch(encodeText(text));
}

void DesktopCommands::showPostingProfile() {
  // The author label shows the shown article's author; its menu and the list's entry are
  // enabled only for an address.
  const std::string author = encodeText(articles_.headerText(ArticlesPage::HeaderField::Author));
  if (author.find('@') == std::string::npos) return;
  desktop_.openPostingProfile(author, options_.options().serviceSettings());
}

void DesktopCommands::replyToAuthor() {
  const Article* article = articles_.selection().first;
  if (article == nullptr || article->author.find('@') == std::string::npos) return;
  desktop_.composeMessage(*article, MessageMode::ReplyAuthor);
}

void DesktopCommands::replyToGroup() {
  if (const Article* article = articles_.selection().first)
    desktop_.composeMessage(*article, MessageMode::ReplyGroup);
}

void DesktopCommands::forwardArticle() {
  if (const Article* article = articles_.selection().first)
    desktop_.composeMessage(*article, MessageMode::Forward);
}

}  // namespace varnook
