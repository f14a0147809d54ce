// The status bar, the log page, the transfer tool buttons, and what the scheduler and the
// home-site check ask of the window.
#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <utility>

#include "transfer/scheduler.h"
#include "ui/articlesform.h"
#include "ui/colormemo.h"
#include "ui/qttext.h"
#include "ui/updateprompts.h"
#include "ui/userprompts.h"
#include "update/homesite.h"

namespace varnook {

void ArticlesForm::refreshStatusBar() {
  if (scheduler_ != nullptr) {
    showCounts(scheduler_->counts());
    return;
  }
  // Without a scheduler nothing transfers; the counts come from the collection.
  showCounts({collection_.requests().size(), collection_.articles().size(),
              collection_.loadedArticles(), 0, 0});
}

void ArticlesForm::showCounts(const TransferCounts& counts) {
  const auto number = [](std::size_t n) {
    return n == 0 ? QStringLiteral("(none)") : QString::number(n);
  };
  const auto running = [](std::int32_t transfers) {
    return transfers == 0 ? QString() : QStringLiteral("DL %1...").arg(transfers);
  };
  statusPanels_[1]->setText(number(counts.requests));
  statusPanels_[2]->setText(running(counts.requestTransfers));
  statusPanels_[4]->setText(
      counts.articles == 0
          ? number(0)
          : QStringLiteral("%1/%2").arg(counts.loadedArticles).arg(counts.articles));
  statusPanels_[5]->setText(running(counts.articleTransfers));
}

QString ArticlesForm::messagePanelText() const {
  return statusPanels_[6]->text();
}

void ArticlesForm::setMessagePanel(const QString& text) {
  statusPanels_[6]->setText(text);
  emit messagePanelChanged(text);
}

void ArticlesForm::setSelectionStatus(const QString& text, bool showNow) {
  pendingStatusText_ = text;
  if (showNow) {
    pendingStatusTimer_->stop();
    pendingStatusText_.clear();
    setMessagePanel(text);
  } else {
    pendingStatusTimer_->start();
  }
}

void ArticlesForm::showPendingStatus() {
  if (pendingStatusText_.isEmpty()) return;
  setMessagePanel(pendingStatusText_);
  pendingStatusText_.clear();
}

void ArticlesForm::showTransientStatus(const QString& text) {
  prompts_.beep();
  setMessagePanel(text);
  StatusResetTimer->start();  // restarts a running timer
}

void ArticlesForm::statusResetTimerTimer() {
  StatusResetTimer->stop();
  setMessagePanel(QString());
}

void ArticlesForm::btnStopClick() {
  showDownloadsPaused({});
  if (scheduler_ != nullptr) scheduler_->stopAll();
  if (homeSite_ != nullptr && homeSite_->running()) homeSite_->abort();
  btnAuto->setChecked(false);
  btnStop->setEnabled(scheduler_ != nullptr && scheduler_->transfersRunning());
}

void ArticlesForm::btnAutoClick(bool down) {
  if (down) showDownloadsPaused({});
  if (scheduler_ != nullptr) scheduler_->setAutoDownload(down);
}

void ArticlesForm::btnAutoMarkClick(bool down) {
  collection_.markNewArticles = down;
}

void ArticlesForm::mnuResumeDownloadsClick() {
  showDownloadsPaused({});
  if (scheduler_ != nullptr) scheduler_->resumeDownloads();
}

void ArticlesForm::showDownloadsPaused(const QString& text) {
  pausedPanel_->setText(text);
  pausedPanel_->setVisible(!text.isEmpty());
}

void ArticlesForm::log(const std::string& line) {
  memoLog->appendPlainText(decodeBytes(line));
}

void ArticlesForm::popLogPopup(const QPoint& pos) {
  // The log's own entries (copy, select all) and the two log commands.
  QMenu* menu = memoLog->createStandardContextMenu(memoLog->viewport()->mapToGlobal(pos));
  menu->setObjectName(QStringLiteral("popLog"));
  menu->addSeparator();
  mnuLogSave->setEnabled(!memoLog->document()->isEmpty());
  mnuLogClear->setEnabled(!memoLog->document()->isEmpty());
  menu->addAction(mnuLogSave);
  menu->addAction(mnuLogClear);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(memoLog->viewport()->mapToGlobal(pos));
}

void ArticlesForm::mnuLogSaveClick() {
  FileDialogSpec spec;
  spec.title = QStringLiteral("Saving news download log to ...");
  spec.filters = {QStringLiteral("Text files (*.txt)"), QStringLiteral("All files (*)")};
  spec.defaultSuffix = QStringLiteral("txt");
  const QString chosen = prompts_.saveFileName(this, spec);
  if (chosen.isEmpty()) return;
  QByteArray bytes;
  for (QTextBlock block = memoLog->document()->begin(); block.isValid(); block = block.next()) {
    bytes += block.text().toUtf8();
    bytes += "\r\n";
  }
  // Written whole or not at all.
  QSaveFile file(chosen);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    error(file.errorString());
  }
}

void ArticlesForm::mnuLogClearClick() {
  memoLog->clear();
}

bool ArticlesForm::askYesNo(const std::string& text) {
  return updatePrompts_->askYesNo(text);
}

bool ArticlesForm::askOkCancel(const std::string& text) {
  return updatePrompts_->askOkCancel(text);
}

void ArticlesForm::showUpdateStatus(const std::string& text) {
  updatePrompts_->showUpdateStatus(text);
}

void ArticlesForm::countsChanged(const TransferCounts& counts) {
  showCounts(counts);
}

void ArticlesForm::transfersRunningChanged(bool running) {
  btnStop->setEnabled(running);
}

void ArticlesForm::autoDownloadChanged(bool on) {
  btnAuto->setChecked(on);
}

void ArticlesForm::transferFailed(const ArticleBase&, const std::string& line) {
  // Failures are read later, next to other runs' lines: each carries its time.
  log(QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss ")).toStdString() +
      line);
}

void ArticlesForm::downloadsPaused(const std::string& reason) {
  const std::string text = "Automatic download paused: " + reason;
  log(text);
  showDownloadsPaused(decodeBytes(text));
}

void ArticlesForm::articleTransferEnded(Article& article) {
  // The viewer follows the article of the single selected row.
  if (&article == singleSelectedArticle()) showArticle(&article);
}

// --- What the window keeps track of itself --------------------------------------------

void ArticlesForm::rowsAboutToBeRemoved(ListKind kind, int first, int last) {
  if (kind != ListKind::Articles || shownItem_ == nullptr) return;
  if (shownItem_->row() >= first && shownItem_->row() <= last) showArticle(nullptr);
}

void ArticlesForm::rowsRemoved(ListKind, int, int) {
  updateDocumentActions();
}

void ArticlesForm::rowsInserted(ListKind, int, int) {
  updateDocumentActions();
}

void ArticlesForm::listAboutToBeReset(ListKind kind) {
  if (kind == ListKind::Articles) shownBeforeReset_ = shownItem_;
}

void ArticlesForm::listReset(ListKind kind) {
  updateDocumentActions();
  if (closing_) return;
  // A reset drops the selection without a word; what the selection shows is brought up to
  // date once the command that reset the list (and may select again) has finished.
  const bool posted = recheckQueries_ || recheckArticles_;
  (kind == ListKind::Requests ? recheckQueries_ : recheckArticles_) = true;
  if (!posted) {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (std::exchange(recheckQueries_, false)) lvQueriesChange();
          if (std::exchange(recheckArticles_, false)) lvArticlesChange();
        },
        Qt::QueuedConnection);
  }
  if (kind != ListKind::Articles) return;
  const Article* shown = shownBeforeReset_;
  shownBeforeReset_ = nullptr;
  if (shown == nullptr) return;
  // The article may be gone: only its address is compared, never followed.
  const auto& articles = collection_.articles();
  const bool kept = std::any_of(articles.begin(), articles.end(),
                                [&](const auto& article) { return article.get() == shown; });
  if (!kept) {
    shownItem_ = nullptr;
    showArticle(nullptr);
  }
}

void ArticlesForm::statusChanged(const ArticleBase& object) {
  // The long form of a selected row's status goes to the message panel at once.
  if (object.listKind() == ListKind::Requests) {
    if (&object == selectedRequest()) setSelectionStatus(decodeBytes(object.longStatus()), true);
    return;
  }
  const auto& article = static_cast<const Article&>(object);
  if (article.row() >= 0 && isArticleSelected(article))
    setSelectionStatus(decodeBytes(object.longStatus()), true);
}

void ArticlesForm::modifiedChanged(bool) {
  updateDocumentActions();
}

}  // namespace varnook
