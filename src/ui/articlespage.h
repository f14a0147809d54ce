#pragma once

#include <QSplitter>
#include <functional>
#include <vector>

#include "collection/collection.h"
#include "settings/vnkoptions.h"

class QLabel;
class QTreeView;

namespace varnook {

class ArticleListModel;
class ColorMemo;

// The Articles page: the article list (lvArticles) over the article header (author,
// subject and forum labels) and the viewer (ArtView), which shows the article of the one
// selected row. The page shows, selects and sorts; what the rows, labels and viewer do is
// the commands'. Articles are named by pointer, rows stay inside the page.
class ArticlesPage final : public QSplitter {
  Q_OBJECT

 public:
  // The header labels, each with its own menu.
  enum class HeaderField { author, subject, forum };

  // What is selected: how many rows, the article of the only one, the first one's.
  struct Selection {
    int count = 0;
    Article* single = nullptr;
    Article* first = nullptr;
  };

  // The collection must outlive the page.
  ArticlesPage(Collection& collection, const VnkOptions& options, QWidget* parent = nullptr);

  QTreeView& list() const { return *articleList_; }
  ColorMemo& viewer() const { return *viewer_; }
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
  // selection moves with its articles.
  void sortBy(int column);

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

  Collection& collection_;
  ArticleListModel* model_ = nullptr;
  QTreeView* articleList_ = nullptr;
  QLabel* headerLabels_[3] = {};
  ColorMemo* viewer_ = nullptr;
  Article* shown_ = nullptr;
  Article* shownBeforeReset_ = nullptr;
  int sortColumn_ = -1;
  bool sortDescending_ = false;
  bool resetPosted_ = false;
};

}  // namespace varnook
