// The article list: what a selection shows, its menu, loading, stopping, deleting,
// selecting, sorting, and saving one article.
#include <QApplication>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTreeView>
#include <algorithm>

#include "transfer/scheduler.h"
#include "ui/articlelistmodel.h"
#include "ui/articlesform.h"
#include "ui/colormemo.h"
#include "ui/qttext.h"
#include "ui/searchtext.h"
#include "ui/userprompts.h"
#include "viewer/hotspot.h"
#include "viewer/markuplinks.h"
#include "viewer/textwords.h"

namespace varnook {
namespace {

// Shows the busy cursor for the life of the object, also when a command fails.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// The selected row intervals, sorted and merged.
std::vector<std::pair<int, int>> selectedIntervals(const QItemSelectionModel& selection) {
  std::vector<std::pair<int, int>> intervals;
  for (const QItemSelectionRange& range : selection.selection())
    if (range.isValid()) intervals.emplace_back(range.top(), range.bottom());
  std::sort(intervals.begin(), intervals.end());
  std::vector<std::pair<int, int>> merged;
  for (const auto& interval : intervals) {
    if (!merged.empty() && interval.first <= merged.back().second + 1)
      merged.back().second = std::max(merged.back().second, interval.second);
    else
      merged.push_back(interval);
  }
  return merged;
}

}  // namespace

std::vector<int> ArticlesForm::selectedArticleRows() const {
  std::vector<int> rows;
  for (const auto& [top, bottom] : selectedIntervals(*lvArticles->selectionModel()))
    for (int row = top; row <= bottom; ++row) rows.push_back(row);
  return rows;
}

int ArticlesForm::selectedArticleCount() const {
  int count = 0;
  for (const auto& [top, bottom] : selectedIntervals(*lvArticles->selectionModel()))
    count += bottom - top + 1;
  return count;
}

Article* ArticlesForm::singleSelectedArticle() const {
  const auto intervals = selectedIntervals(*lvArticles->selectionModel());
  if (intervals.size() != 1 || intervals.front().first != intervals.front().second) return nullptr;
  return articleModel_->articleAt(intervals.front().first);
}

Article* ArticlesForm::firstSelectedArticle() const {
  const auto intervals = selectedIntervals(*lvArticles->selectionModel());
  return intervals.empty() ? nullptr : articleModel_->articleAt(intervals.front().first);
}

bool ArticlesForm::isArticleSelected(const Article& article) const {
  return article.row() >= 0 && lvArticles->selectionModel()->isRowSelected(article.row(), {});
}

void ArticlesForm::selectArticleRow(int row) {
  const int count = articleModel_->rowCount();
  if (count == 0) {
    lvArticles->selectionModel()->clearSelection();
    lvArticlesChange();
    return;
  }
  if (row >= count) row = count - 1;
  lvArticles->selectionModel()->setCurrentIndex(
      articleModel_->index(row, 0),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ArticlesForm::lvArticlesChange() {
  const int count = selectedArticleCount();
  Article* single = nullptr;
  if (count == 1) {
    single = singleSelectedArticle();
    setSelectionStatus(single != nullptr ? decodeBytes(single->longStatus()) : QString(), true);
  } else if (count == 0) {
    setSelectionStatus(QString(), true);
  } else {
    // A long run of selection changes updates the panel once, when the program is idle.
    setSelectionStatus(QString::asprintf("%d articles selected", count), false);
  }
  if (single != shownItem_) showArticle(single);
  updateDeleteButton();
}

void ArticlesForm::showArticle(Article* article) {
  if (article == nullptr) {
    lblAuthor->clear();
    lblSubject->clear();
    lblForum->clear();
    shownItem_ = nullptr;
    ArtView->setKeywords({});
    ArtView->setText({});
    btnReplyAuthor->setEnabled(false);
    btnReplyGroup->setEnabled(false);
    btnForward->setEnabled(false);
    ArtView->repaintColors();
    return;
  }
  lblAuthor->setText(decodeBytes(article->author));
  lblSubject->setText(decodeBytes(article->subject));
  lblForum->setText(decodeBytes(article->forum));
  shownItem_ = article;
  MarkupLinks markup;
  markup.setInsertBefore("\x1E");
  markup.setInsertAfter("\x1F");
  // Marker bytes that came with the article would make hot spots of any text: only the
  // markup's own are kept.
  const std::string text = withoutLinkMarkers(article->text);
  MarkupLinks::Result marked = markup.markup(text);
  ArtView->setText(marked.ok() ? std::move(marked.text) : text);
  const Request* request = collection_.findRequest(*article);
  if (request != nullptr) {
    ArtView->setKeywords(queryKeywords(request->keywords), foldedQueryWords(request->keywords));
  } else {
    ArtView->setKeywords({});
  }
  btnReplyAuthor->setEnabled(article->author.find('@') != std::string::npos);
  btnReplyGroup->setEnabled(!article->forum.empty());
  btnForward->setEnabled(true);
  ArtView->repaintColors();
}

void ArticlesForm::popArticleListPopup(const QPoint& pos) {
  const int count = selectedArticleCount();
  if (articleModel_->rowCount() == 0 || count == 0) return;
  const Article* single = count == 1 ? singleSelectedArticle() : nullptr;
  const bool running = single != nullptr && single->isTransferring();
  const bool loaded = single != nullptr && single->isLoaded();
  const bool hasAddress = single != nullptr && single->author.find('@') != std::string::npos;

  mnuSelectByQuery->setEnabled(single != nullptr && !single->requestId.empty());
  mnuSelectbyAuthor->setEnabled(single != nullptr);
  mnuSelectBySubject->setEnabled(single != nullptr);
  mnuLoadArticle->setVisible(!running);
  mnuLoadArticle->setEnabled(true);
  if (single == nullptr) {
    mnuLoadArticle->setText(QStringLiteral("&Load selected"));
  } else if (loaded) {
    // Loading never fetches a text that is present; the entry says so by being disabled.
    mnuLoadArticle->setText(QStringLiteral("Re&fresh article"));
    mnuLoadArticle->setEnabled(false);
  } else {
    mnuLoadArticle->setText(QStringLiteral("&Load article"));
  }
  mnuStopArticles->setVisible(running);
  mnuArtSave->setEnabled(single != nullptr);
  mnuForward->setEnabled(single != nullptr);
  mnuReplyAuthor->setEnabled(hasAddress);
  mnuPostingProfile->setEnabled(hasAddress);
  mnuDeleteArticles->setEnabled(true);
  mnuReplyGroup->setEnabled(true);
  popArticleList->popup(lvArticles->viewport()->mapToGlobal(pos));
}

void ArticlesForm::forEachSelectedArticle(const std::function<void(Article&)>& action) {
  BusyCursor busy;
  // The rows are taken first: an action may start or end transfers, which changes rows.
  std::vector<Article*> selected;
  for (const int row : selectedArticleRows())
    if (Article* article = articleModel_->articleAt(row)) selected.push_back(article);
  for (Article* article : selected)
    if (article->collection() == &collection_) action(*article);
}

void ArticlesForm::lvArticlesDblClick() {
  if (scheduler_ == nullptr) return;
  forEachSelectedArticle([this](Article& article) { scheduler_->loadArticle(article); });
}

void ArticlesForm::mnuStopArticlesClick() {
  if (scheduler_ == nullptr) return;
  forEachSelectedArticle([this](Article& article) { scheduler_->stopLoading(article); });
}

void ArticlesForm::mnuDeleteArticlesClick() {
  const int count = selectedArticleCount();
  if (count == 0) return;
  int singleRow = -1;
  if (count == 1) {
    singleRow = singleSelectedArticle()->row();
  } else if (prompts_.message(this, UserPrompts::Kind::okCancel,
                              QString::asprintf("Delete %d selected articles?", count)) !=
             UserPrompts::Answer::ok) {
    return;
  }
  {
    BusyCursor busy;
    std::vector<char> doomed(collection_.articles().size(), 0);
    for (const int row : selectedArticleRows()) doomed[static_cast<std::size_t>(row)] = 1;
    // One pass and one list reset, however many rows go.
    collection_.removeArticlesIf([&](const Article& article) {
      return article.row() >= 0 && static_cast<std::size_t>(article.row()) < doomed.size() &&
             doomed[static_cast<std::size_t>(article.row())] != 0;
    });
  }
  if (singleRow >= 0)
    selectArticleRow(singleRow);
  else
    lvArticlesChange();
  refreshStatusBar();
}

void ArticlesForm::selectArticlesWhere(const std::function<bool(const Article&)>& select) {
  BusyCursor busy;
  QItemSelection selection;
  const auto& articles = collection_.articles();
  const int lastColumn = articleModel_->columnCount() - 1;
  int runStart = -1;
  const int count = static_cast<int>(articles.size());
  for (int row = 0; row <= count; ++row) {
    const bool selected = row < count && select(*articles[static_cast<std::size_t>(row)]);
    if (selected && runStart < 0) runStart = row;
    if (!selected && runStart >= 0) {
      selection.append(QItemSelectionRange(articleModel_->index(runStart, 0),
                                           articleModel_->index(row - 1, lastColumn)));
      runStart = -1;
    }
  }
  // One selection change, whatever the number of rows.
  lvArticles->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void ArticlesForm::mnuSelectAllClick() {
  const int count = articleModel_->rowCount();
  if (count == 0) return;
  BusyCursor busy;
  const QItemSelection all(articleModel_->index(0, 0),
                           articleModel_->index(count - 1, articleModel_->columnCount() - 1));
  lvArticles->selectionModel()->select(all, QItemSelectionModel::Select);
}

void ArticlesForm::mnuSelectReverseClick() {
  const int count = articleModel_->rowCount();
  if (count == 0) return;
  std::vector<char> selected(static_cast<std::size_t>(count), 0);
  for (const int row : selectedArticleRows()) selected[static_cast<std::size_t>(row)] = 1;
  selectArticlesWhere([&](const Article& article) {
    return selected[static_cast<std::size_t>(article.row())] == 0;
  });
}

void ArticlesForm::mnuSelectByQueryClick() {
  const Article* key = Pages->currentIndex() == 1 ? singleSelectedArticle() : nullptr;
  if (key == nullptr || key->requestId.empty()) return;
  const std::string requestId = key->requestId;
  selectArticlesWhere([&](const Article& article) { return article.requestId == requestId; });
}

void ArticlesForm::mnuSelectbyAuthorClick() {
  const Article* key = Pages->currentIndex() == 1 ? singleSelectedArticle() : nullptr;
  if (key == nullptr || key->author.empty()) return;
  const std::string author = key->author;
  selectArticlesWhere([&](const Article& article) { return article.author == author; });
}

void ArticlesForm::mnuSelectBySubjectClick() {
  const Article* key = Pages->currentIndex() == 1 ? singleSelectedArticle() : nullptr;
  if (key == nullptr) return;
  const std::string subject = stripReplyPrefixes(key->subject);
  if (subject.empty()) return;
  selectArticlesWhere(
      [&](const Article& article) { return stripReplyPrefixes(article.subject) == subject; });
}

void ArticlesForm::lvArticlesHeaderClick(int column) {
  sortDescending_ = column == sortColumn_ ? !sortDescending_ : false;
  sortColumn_ = column;
  const Qt::SortOrder order = sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder;
  // The sort reorders the collection (the order shown is the order saved) in one reset;
  // the selection moves with its articles.
  BusyCursor busy;
  std::vector<Article*> selected;
  for (const int row : selectedArticleRows())
    if (Article* article = articleModel_->articleAt(row)) selected.push_back(article);
  Article* current = articleModel_->articleAt(lvArticles->currentIndex().row());
  articleModel_->sort(column, order);
  lvArticles->header()->setSortIndicatorShown(true);
  lvArticles->header()->setSortIndicator(column, order);
  if (current != nullptr)
    lvArticles->selectionModel()->setCurrentIndex(articleModel_->index(current->row(), 0),
                                                  QItemSelectionModel::NoUpdate);
  std::vector<char> marks(collection_.articles().size(), 0);
  for (const Article* article : selected) marks[static_cast<std::size_t>(article->row())] = 1;
  selectArticlesWhere(
      [&](const Article& article) { return marks[static_cast<std::size_t>(article.row())] != 0; });
  if (shownItem_ != nullptr) lvArticles->scrollTo(articleModel_->index(shownItem_->row(), 0));
}

void ArticlesForm::mnuArtSaveClick() {
  const Article* article = Pages->currentIndex() == 1 ? singleSelectedArticle() : nullptr;
  if (article == nullptr) return;
  if (!article->isLoaded()) {
    warning(QStringLiteral("Nothing to save: article body not loaded"));
    return;
  }
  FileDialogSpec spec;
  spec.title = QStringLiteral("Save article ") + decodeBytes(article->subject);
  spec.filters = {QStringLiteral("MS Outlook Express format (*.nws)")};
  spec.defaultSuffix = QStringLiteral("nws");
  spec.proposedName = decodeBytes(safeFileName(stripReplyPrefixes(article->subject)));
  const QString chosen = prompts_.saveFileName(this, spec);
  if (chosen.isEmpty()) return;
  writeArticleFile(*article, chosen);
}

void ArticlesForm::mnuArtSelectAllClick() {
  ArtView->selectAll();
}

}  // namespace varnook
