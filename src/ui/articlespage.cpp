#include "ui/articlespage.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <unordered_set>
#include <utility>

#include "ui/articlelistmodel.h"
#include "ui/busycursor.h"
#include "ui/colormemo.h"
#include "ui/findbar.h"
#include "ui/listfilter.h"
#include "ui/qttext.h"
#include "ui/threadtreemodel.h"
#include "ui/windowlayout.h"
#include "viewer/hotspot.h"
#include "viewer/markuplinks.h"
#include "viewer/textwords.h"

namespace varnook {
namespace {

// The collection rows selected, as intervals sorted and merged.
std::vector<std::pair<int, int>> selectedIntervals(const QItemSelectionModel& selection,
                                                   const ThreadTreeModel& rows) {
  std::vector<std::pair<int, int>> intervals;
  for (const QItemSelectionRange& range : selection.selection()) {
    if (!range.isValid()) continue;
    if (!rows.grouped() && !rows.filtered()) {
      intervals.emplace_back(range.top(), range.bottom());
      continue;
    }
    for (int row = range.top(); row <= range.bottom(); ++row)
      if (const int source = rows.sourceRow(range.parent(), row); source >= 0)
        intervals.emplace_back(source, source);
  }
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

// An article header label: navy text, highlighted under the mouse, with its own menu.
QLabel* makeHotLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAttribute(Qt::WA_Hover);
  label->setTextFormat(Qt::PlainText);
  label->setContextMenuPolicy(Qt::CustomContextMenu);
  label->setCursor(Qt::PointingHandCursor);
  label->setTextInteractionFlags(Qt::NoTextInteraction);
  label->setStyleSheet(
      QStringLiteral("QLabel { color: navy; }"
                     "QLabel:hover { color: blue; text-decoration: underline; }"));
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  return label;
}

}  // namespace

ArticlesPage::ArticlesPage(Collection& collection, const VnkOptions& options, QWidget* parent)
    : QSplitter(Qt::Vertical, parent), collection_(collection), options_(options) {
  setObjectName(QStringLiteral("ArticlesPage"));
  setChildrenCollapsible(false);
  model_ = new ArticleListModel(collection_, this);
  rows_ = new ThreadTreeModel(*model_, collection_, this);
  auto* listPane = new QWidget(this);
  filterBox_ = makeFilterBox(
      "edArticleFilter", QStringLiteral("Filter articles"),
      [this](const QString& text) { setFilterText(text); }, listPane);
  articleList_ = makeListView("lvArticles", rows_, listPane);
  layOutFilteredList(*listPane, *filterBox_, *articleList_, QStringLiteral("Articles"));
  articleList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  articleList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  arrangeListHeader(*articleList_->header(), {200, 100, 150, 150}, {ArticleListModel::forum});
  articleList_->header()->setSectionsClickable(true);
  articleList_->header()->setSortIndicatorShown(false);
  connect(rows_, &ThreadTreeModel::regrouped, this, &ArticlesPage::expandThreads);
  connect(articleList_, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
    collapsed_.insert(model_->articleAt(rows_->sourceRow(index.parent(), index.row())));
  });
  connect(articleList_, &QTreeView::expanded, this, [this](const QModelIndex& index) {
    collapsed_.erase(model_->articleAt(rows_->sourceRow(index.parent(), index.row())));
  });

  // The article header above the viewer.
  auto* viewerPane = new QWidget(this);
  auto* viewerLayout = new QVBoxLayout(viewerPane);
  viewerLayout->setContentsMargins(0, 0, 0, 0);
  viewerLayout->setSpacing(2);
  auto* header = new QWidget(viewerPane);
  header->setObjectName(QStringLiteral("ArticleHeader"));
  auto* grid = new QGridLayout(header);
  grid->setContentsMargins(6, 4, 6, 2);
  grid->setVerticalSpacing(1);
  const struct {
    const char* caption;
    const char* name;
  } rows[] = {{"Author:", "lblAuthor"}, {"Subject:", "lblSubject"}, {"Forum:", "lblForum"}};
  for (int row = 0; row < 3; ++row) {
    QLabel* label = headerLabels_[row] = makeHotLabel(rows[row].name, header);
    grid->addWidget(new QLabel(QString::fromLatin1(rows[row].caption), header), row, 0);
    grid->addWidget(label, row, 1);
    label->installEventFilter(this);
    const auto field = static_cast<HeaderField>(row);
    connect(label, &QWidget::customContextMenuRequested, this, [this, label, field](QPoint pos) {
      emit headerMenuRequested(field, label->mapToGlobal(pos));
    });
  }
  grid->setColumnStretch(1, 1);
  viewerLayout->addWidget(header);
  viewer_ = new ColorMemo(viewerPane);
  viewer_->setObjectName(QStringLiteral("ArtView"));
  viewer_->setAccessibleName(QStringLiteral("Article text"));
  viewer_->setReadOnly(true);
  viewer_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  applyOptions(options);
  viewerLayout->addWidget(viewer_, 1);
  findBar_ = new FindBar(*viewer_, viewerPane);
  viewerLayout->addWidget(findBar_);

  addWidget(listPane);
  addWidget(viewerPane);
  setStretchFactor(0, 2);
  setStretchFactor(1, 3);
  setSizes({260, 390});

  setGroupedByThread(options.groupByThread);
  connect(articleList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &ArticlesPage::followSelection);
  connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex&, int first, int last) {
            if (shown_ != nullptr && shown_->row() >= first && shown_->row() <= last)
              showArticle(nullptr);
          });
  connect(model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { checkSortOrder(first, last); });
  connect(model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& first, const QModelIndex& last) {
            checkSortOrder(first.row(), last.row());
            // The note over a missing text follows the article's transfer.
            if (shown_ != nullptr && !shown_->isLoaded() && shown_->row() >= first.row() &&
                shown_->row() <= last.row())
              viewer_->setPlaceholderText(missingTextNote(*shown_));
          });
  connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
          [this] { shownBeforeReset_ = shown_; });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    // The shown article may be gone: only its address is compared, never followed.
    const Article* shown = std::exchange(shownBeforeReset_, nullptr);
    const auto& articles = collection_.articles();
    // Collapsed threads are remembered by address too.
    if (!collapsed_.empty()) {
      std::unordered_set<const Article*> kept;
      for (const auto& held : articles)
        if (collapsed_.count(held.get()) != 0) kept.insert(held.get());
      collapsed_.swap(kept);
    }
    if (shown != nullptr && std::none_of(articles.begin(), articles.end(),
                                         [&](const auto& held) { return held.get() == shown; })) {
      shown_ = nullptr;
      showArticle(nullptr);
    }
    if (std::exchange(resetPosted_, true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
          resetPosted_ = false;
          if (sortColumn_ >= 0 &&
              !model_->inOrder(0, model_->rowCount() - 1, sortColumn_, sortOrder()))
            setSort(sortColumn_, sortOrder());
          followSelection();
        },
        Qt::QueuedConnection);
  });
}

QString ArticlesPage::headerText(HeaderField field) const {
  return headerLabels_[static_cast<int>(field)]->text();
}

bool ArticlesPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    for (int field = 0; field < 3; ++field) {
      QLabel* label = headerLabels_[field];
      if (watched != label) continue;
      emit headerMenuRequested(static_cast<HeaderField>(field),
                               label->mapToGlobal(QPoint(0, label->height())));
      return true;
    }
  }
  return QSplitter::eventFilter(watched, event);
}

ArticlesPage::Selection ArticlesPage::selection() const {
  Selection selection;
  const auto intervals = selectedIntervals(*articleList_->selectionModel(), *rows_);
  for (const auto& [top, bottom] : intervals) selection.count += bottom - top + 1;
  if (!intervals.empty()) selection.first = model_->articleAt(intervals.front().first);
  if (selection.count == 1) selection.single = selection.first;
  return selection;
}

std::vector<int> ArticlesPage::selectedRows() const {
  std::vector<int> rows;
  for (const auto& [top, bottom] : selectedIntervals(*articleList_->selectionModel(), *rows_))
    for (int row = top; row <= bottom; ++row) rows.push_back(row);
  return rows;
}

std::vector<Article*> ArticlesPage::selectedArticles() const {
  std::vector<Article*> selected;
  for (const int row : selectedRows())
    if (Article* article = model_->articleAt(row)) selected.push_back(article);
  return selected;
}

bool ArticlesPage::isSelected(const Article& article) const {
  return article.row() >= 0 &&
         articleList_->selectionModel()->isSelected(rows_->viewIndex(article.row()));
}

void ArticlesPage::followSelection() {
  const Selection selected = selection();
  if (selected.single != shown_) showArticle(selected.single);
  emit selectionChanged();
}

void ArticlesPage::selectRow(int row) {
  const int count = model_->rowCount();
  // The row, or the next one the list shows, or else the last one before it.
  QModelIndex index;
  for (int at = std::max(0, std::min(row, count - 1)); at < count && !index.isValid(); ++at)
    index = rows_->viewIndex(at);
  for (int at = std::min(row, count) - 1; at >= 0 && !index.isValid(); --at)
    index = rows_->viewIndex(at);
  if (!index.isValid()) {
    articleList_->selectionModel()->clearSelection();
    followSelection();
    return;
  }
  articleList_->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ArticlesPage::showInList(const Article& article) {
  if (!rows_->viewIndex(article.row()).isValid()) filterBox_->clear();  // the filter hid it
  articleList_->selectionModel()->setCurrentIndex(
      rows_->viewIndex(article.row()),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  articleList_->scrollTo(rows_->viewIndex(article.row()));
}

void ArticlesPage::selectWhere(const std::function<bool(const Article&)>& select) {
  BusyCursor busy;
  const auto& articles = collection_.articles();
  articleList_->selectionModel()->select(
      rows_->selectionOf([&](int row) { return select(*articles[static_cast<std::size_t>(row)]); }),
      QItemSelectionModel::ClearAndSelect);
}

void ArticlesPage::selectAll() {
  const int count = model_->rowCount();
  if (count == 0) return;
  BusyCursor busy;
  articleList_->selectionModel()->select(rows_->selectionOf([](int) { return true; }),
                                         QItemSelectionModel::Select);
}

void ArticlesPage::invertSelection() {
  const int count = model_->rowCount();
  if (count == 0) return;
  std::vector<char> selected(static_cast<std::size_t>(count), 0);
  for (const int row : selectedRows()) selected[static_cast<std::size_t>(row)] = 1;
  selectWhere([&](const Article& article) {
    return selected[static_cast<std::size_t>(article.row())] == 0;
  });
}

std::vector<Collection::Taken<Article>> ArticlesPage::removeSelected() {
  const std::vector<int> rows = selectedRows();
  if (rows.empty()) return {};
  std::vector<Collection::Taken<Article>> taken;
  {
    BusyCursor busy;
    std::vector<char> doomed(collection_.articles().size(), 0);
    for (const int row : rows) doomed[static_cast<std::size_t>(row)] = 1;
    // One pass and one list reset, however many rows go.
    taken = collection_.takeArticlesIf([&](const Article& article) {
      return article.row() >= 0 && static_cast<std::size_t>(article.row()) < doomed.size() &&
             doomed[static_cast<std::size_t>(article.row())] != 0;
    });
  }
  if (rows.size() == 1)
    selectRow(rows.front());
  else
    followSelection();
  return taken;
}

void ArticlesPage::sortBy(int column) {
  setSort(column,
          column == sortColumn_ && !sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void ArticlesPage::checkSortOrder(int first, int last) {
  if (sortColumn_ < 0 || model_->inOrder(first - 1, last + 1, sortColumn_, sortOrder())) return;
  sortColumn_ = -1;
  articleList_->header()->setSortIndicatorShown(false);
}

void ArticlesPage::setSort(int column, Qt::SortOrder order) {
  sortDescending_ = order == Qt::DescendingOrder;
  sortColumn_ = column;
  // The sort reorders the collection (the order shown is the order saved) in one reset;
  // grouped, the roots follow that order.
  keepSelectionAcross([&] {
    model_->sort(column, order);
    articleList_->header()->setSortIndicatorShown(true);
    articleList_->header()->setSortIndicator(column, order);
  });
}

void ArticlesPage::setGroupedByThread(bool grouped) {
  articleList_->setRootIsDecorated(grouped);
  articleList_->setItemsExpandable(grouped);
  articleList_->setExpandsOnDoubleClick(false);  // a double click loads
  keepSelectionAcross([&] { rows_->setGrouped(grouped); });
}

bool ArticlesPage::groupedByThread() const {
  return rows_->grouped();
}

void ArticlesPage::setFilterText(const QString& text) {
  keepSelectionAcross([&] {
    if (text.isEmpty()) {
      rows_->setRowFilter({});
    } else {
      rows_->setRowFilter([this, text](int row) { return model_->rowContains(row, text); });
    }
  });
}

void ArticlesPage::keepSelectionAcross(const std::function<void()>& reset) {
  BusyCursor busy;
  const std::vector<Article*> selected = selectedArticles();
  const QModelIndex currentIndex = articleList_->currentIndex();
  Article* current = model_->articleAt(rows_->sourceRow(currentIndex.parent(), currentIndex.row()));
  reset();
  if (current != nullptr)
    articleList_->selectionModel()->setCurrentIndex(rows_->viewIndex(current->row()),
                                                    QItemSelectionModel::NoUpdate);
  std::vector<char> marks(collection_.articles().size(), 0);
  for (const Article* article : selected) marks[static_cast<std::size_t>(article->row())] = 1;
  selectWhere(
      [&](const Article& article) { return marks[static_cast<std::size_t>(article.row())] != 0; });
  if (shown_ != nullptr) articleList_->scrollTo(rows_->viewIndex(shown_->row()));
}

void ArticlesPage::expandThreads() {
  if (!rows_->grouped()) return;
  // Every thread open, but those the user closed.
  articleList_->expandAll();
  if (collapsed_.empty()) return;
  for (const int row : rows_->parentRows())
    if (collapsed_.count(model_->articleAt(row)) != 0)
      articleList_->collapse(rows_->viewIndex(row));
}

void ArticlesPage::showArticle(Article* article) {
  shown_ = article;
  if (article == nullptr) {
    for (QLabel* label : headerLabels_) label->clear();
    viewer_->setKeywords({});
    viewer_->setText({});
    viewer_->setPlaceholderText({});
  } else {
    headerLabels_[0]->setText(decodeBytes(article->author));
    headerLabels_[1]->setText(decodeBytes(article->subject));
    headerLabels_[2]->setText(decodeBytes(article->forum));
    MarkupLinks markup;
    markup.setInsertBefore("\x1E");
    markup.setInsertAfter("\x1F");
    // Marker bytes that came with the article would make hot spots of any text: only the
    // markup's own are kept.
    const std::string text = withoutLinkMarkers(article->text);
    MarkupLinks::Result marked = markup.markup(text);
    viewer_->setText(marked.ok() ? std::move(marked.text) : text);
    viewer_->setPlaceholderText(article->isLoaded() ? QString() : missingTextNote(*article));
    const Request* request = collection_.findRequest(*article);
    if (request != nullptr) {
      viewer_->setKeywords(queryKeywords(request->keywords), foldedQueryWords(request->keywords));
    } else {
      viewer_->setKeywords({});
    }
  }
  viewer_->repaintColors();
  emit shownArticleChanged();
}

QString ArticlesPage::missingTextNote(const Article& article) const {
  if (article.isTransferring() || article.shortStatus() == "Queued")
    return QStringLiteral("Loading...");
  const QString retry = QStringLiteral("Press Enter or double-click the article to load it");
  if (article.hasState(kFailed) || article.hasState(kCancelled))
    return decodeBytes(article.longStatus()) + QStringLiteral("\n\n") + retry +
           QStringLiteral(" again.");
  return options_.loadOnSelect
             ? QStringLiteral("Loading...")
             : QStringLiteral("The article is not loaded. ") + retry + QLatin1Char('.');
}

void ArticlesPage::applyOptions(const VnkOptions& options) {
  viewer_->applyOptions(options);
  if (shown_ != nullptr && !shown_->isLoaded())
    viewer_->setPlaceholderText(missingTextNote(*shown_));
}

}  // namespace varnook
