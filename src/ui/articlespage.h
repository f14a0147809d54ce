#pragma once

#include <QSplitter>
#include <functional>
#include <unordered_set>
#include <vector>

#include "collection/collection.h"
#include "settings/vnkoptions.h"

class QLabel;
class QLineEdit;
class QTreeView;

namespace varnook {

class ArticleListModel;
class ThreadTreeModel;
class ColorMemo;
class FindBar;

// The Articles page: the article list (lvArticles) under its filter box, over the article
// header (author, subject and forum labels), the viewer (ArtView), which shows the article
// of the one selected row, and the find bar below it. The page shows, selects and sorts;
// what the rows, labels and viewer do is the commands'. Articles are named by pointer,
// rows stay inside the page (the list shows the rows the filter box lets through, flat or
// by thread).
class ArticlesPage final : public QSplitter {
  Q_OBJECT

 public:
  // The header labels, each with its own menu.
  enum class HeaderField { Author, Subject, Forum };

  // What is selected: how many rows, the article of the only one, the first one's.
  struct Selection {
    int count = 0;
    Article* single = nullptr;
    Article* first = nullptr;
  };

  // The collection and the options must outlive the page.
  ArticlesPage(Collection& collection, const VnkOptions& options, QWidget* parent = nullptr);

  QTreeView& list() const { return *articleList_; }
  ColorMemo& viewer() const { return *viewer_; }
  FindBar& findBar() const { return *findBar_; }
  QString headerText(HeaderField field) const;

  Selection selection() const;
  // The selected articles in list order.
  std::vector<Article*> selectedArticles() const;
  bool isSelected(const Article& article) const;
  // Selects the article's row alone and scrolls to it.
  void showInList(const Article& article);
  // Each as one selection change, whatever the number of rows.
  void selectWhere(const std::function<bool(const Article&)>& select);
  void selectAll();
  void invertSelection();
  // Deletes the selected articles in one pass; when one was deleted, the row that took its
  // place is selected. Returns them, for an undo.
  std::vector<Collection::Taken<Article>> removeSelected();
  // A header click: sorts the collection by the column (again: the other way round); the
  // selection moves with its articles. Rows that arrive in order keep the header's sort
  // mark; one out of order takes it away. A collection opened is sorted as the mark says.
  void sortBy(int column);
  void setSort(int column, Qt::SortOrder order);
  int sortColumn() const { return sortColumn_; }  // -1: none
  Qt::SortOrder sortOrder() const {
    return sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder;
  }
  // Shows the list as reply trees, or flat again; the selection stays with its articles.
  void setGroupedByThread(bool grouped);
  bool groupedByThread() const;
  ThreadTreeModel& rows() const { return *rows_; }

  Article* shownArticle() const { return shown_; }
  // Fills the header and the viewer (null: empties them), with the words of the article's
  // query marked.
  void showArticle(Article* article);
  void applyOptions(const VnkOptions& options);

 signals:
  // The selection changed and the viewer has followed it; also once a command that reset
  // the list has finished.
  void selectionChanged();
  void shownArticleChanged();
  // A header label was clicked (left: `globalPos` is below it) or right-clicked.
  void headerMenuRequested(HeaderField field, const QPoint& globalPos);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::vector<int> selectedRows() const;
  // Selects the row, or the last one when the list is shorter; nothing when it is empty.
  void selectRow(int row);
  void followSelection();
  // Runs `reset` (a reset of the list) and selects the same articles again.
  void keepSelectionAcross(const std::function<void()>& reset);
  void expandThreads();
  // Shows only the articles that hold the text in a column (empty: all).
  void setFilterText(const QString& text);
  // Takes the sort mark away when the rows from `first` to `last` broke the order.
  void checkSortOrder(int first, int last);
  // What the viewer says in place of a missing text: that it is on its way, why it could
  // not be had, or how to fetch it.
  QString missingTextNote(const Article& article) const;

  Collection& collection_;
  const VnkOptions& options_;
  ArticleListModel* model_ = nullptr;
  ThreadTreeModel* rows_ = nullptr;               // what the list shows: flat or by thread
  std::unordered_set<const Article*> collapsed_;  // threads the user closed (never followed)
  QLineEdit* filterBox_ = nullptr;
  QTreeView* articleList_ = nullptr;
  QLabel* headerLabels_[3] = {};
  ColorMemo* viewer_ = nullptr;
  FindBar* findBar_ = nullptr;
  Article* shown_ = nullptr;
  Article* shownBeforeReset_ = nullptr;
  int sortColumn_ = -1;
  bool sortDescending_ = false;
  bool resetPosted_ = false;
};

}  // namespace varnook
