#include "ui/articlespage.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QMouseEvent>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/articlelistmodel.h"
#include "ui/busycursor.h"
#include "ui/colormemo.h"
#include "ui/qttext.h"
#include "viewer/hotspot.h"
#include "viewer/markuplinks.h"
#include "viewer/textwords.h"

namespace varnook {
namespace {

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
    : QSplitter(Qt::Vertical, parent), collection_(collection) {
  setObjectName(QStringLiteral("ArticlesPage"));
  setChildrenCollapsible(false);
  model_ = new ArticleListModel(collection_, this);
  articleList_ = makeListView("lvArticles", model_, this);
  articleList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  articleList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  const int widths[] = {300, 250, 100};
  for (int column = 0; column < 3; ++column)
    articleList_->header()->resizeSection(column, widths[column]);
  articleList_->header()->setSectionsClickable(true);
  articleList_->header()->setSortIndicatorShown(false);

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
  viewer_->setReadOnly(true);
  viewer_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewer_->applyOptions(options);
  viewerLayout->addWidget(viewer_, 1);

  addWidget(articleList_);
  addWidget(viewerPane);
  setStretchFactor(0, 2);
  setStretchFactor(1, 3);
  setSizes({260, 390});

  connect(articleList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &ArticlesPage::followSelection);
  connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex&, int first, int last) {
            if (shown_ != nullptr && shown_->row() >= first && shown_->row() <= last)
              showArticle(nullptr);
          });
  connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
          [this] { shownBeforeReset_ = shown_; });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    // The shown article may be gone: only its address is compared, never followed.
    const Article* shown = std::exchange(shownBeforeReset_, nullptr);
    const auto& articles = collection_.articles();
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
  const auto intervals = selectedIntervals(*articleList_->selectionModel());
  for (const auto& [top, bottom] : intervals) selection.count += bottom - top + 1;
  if (!intervals.empty()) selection.first = model_->articleAt(intervals.front().first);
  if (selection.count == 1) selection.single = selection.first;
  return selection;
}

std::vector<int> ArticlesPage::selectedRows() const {
  std::vector<int> rows;
  for (const auto& [top, bottom] : selectedIntervals(*articleList_->selectionModel()))
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
  return article.row() >= 0 && articleList_->selectionModel()->isRowSelected(article.row(), {});
}

void ArticlesPage::followSelection() {
  const Selection selected = selection();
  if (selected.single != shown_) showArticle(selected.single);
  emit selectionChanged();
}

void ArticlesPage::selectRow(int row) {
  const int count = model_->rowCount();
  if (count == 0) {
    articleList_->selectionModel()->clearSelection();
    followSelection();
    return;
  }
  articleList_->selectionModel()->setCurrentIndex(
      model_->index(std::min(row, count - 1), 0),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ArticlesPage::showInList(const Article& article) {
  selectRow(article.row());
  articleList_->scrollTo(model_->index(article.row(), 0));
}

void ArticlesPage::selectWhere(const std::function<bool(const Article&)>& select) {
  BusyCursor busy;
  QItemSelection selection;
  const auto& articles = collection_.articles();
  const int lastColumn = model_->columnCount() - 1;
  int runStart = -1;
  const int count = static_cast<int>(articles.size());
  for (int row = 0; row <= count; ++row) {
    const bool selected = row < count && select(*articles[static_cast<std::size_t>(row)]);
    if (selected && runStart < 0) runStart = row;
    if (!selected && runStart >= 0) {
      selection.append(
          QItemSelectionRange(model_->index(runStart, 0), model_->index(row - 1, lastColumn)));
      runStart = -1;
    }
  }
  articleList_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void ArticlesPage::selectAll() {
  const int count = model_->rowCount();
  if (count == 0) return;
  BusyCursor busy;
  const QItemSelection all(model_->index(0, 0),
                           model_->index(count - 1, model_->columnCount() - 1));
  articleList_->selectionModel()->select(all, QItemSelectionModel::Select);
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
  sortDescending_ = column == sortColumn_ ? !sortDescending_ : false;
  sortColumn_ = column;
  const Qt::SortOrder order = sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder;
  // The sort reorders the collection (the order shown is the order saved) in one reset.
  BusyCursor busy;
  const std::vector<Article*> selected = selectedArticles();
  Article* current = model_->articleAt(articleList_->currentIndex().row());
  model_->sort(column, order);
  articleList_->header()->setSortIndicatorShown(true);
  articleList_->header()->setSortIndicator(column, order);
  if (current != nullptr)
    articleList_->selectionModel()->setCurrentIndex(model_->index(current->row(), 0),
                                                    QItemSelectionModel::NoUpdate);
  std::vector<char> marks(collection_.articles().size(), 0);
  for (const Article* article : selected) marks[static_cast<std::size_t>(article->row())] = 1;
  selectWhere(
      [&](const Article& article) { return marks[static_cast<std::size_t>(article.row())] != 0; });
  if (shown_ != nullptr) articleList_->scrollTo(model_->index(shown_->row(), 0));
}

void ArticlesPage::showArticle(Article* article) {
  shown_ = article;
  if (article == nullptr) {
    for (QLabel* label : headerLabels_) label->clear();
    viewer_->setKeywords({});
    viewer_->setText({});
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

void ArticlesPage::applyOptions(const VnkOptions& options) {
  viewer_->applyOptions(options);
}

}  // namespace varnook
