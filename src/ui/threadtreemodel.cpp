#include "ui/threadtreemodel.h"

#include <functional>
#include <numeric>
#include <string_view>

#include "ui/articlelistmodel.h"

namespace varnook {
namespace {

constexpr std::int32_t kNone = ThreadForest::none;

// An index's internal id names its parent's collection row, plus one (0: a root).
quintptr parentId(std::int32_t parentRow) {
  return static_cast<quintptr>(parentRow + 1);
}

}  // namespace

ThreadTreeModel::ThreadTreeModel(ArticleListModel& source, const Collection& collection,
                                 QObject* parent)
    : QAbstractProxyModel(parent), collection_(collection) {
  QAbstractProxyModel::setSourceModel(&source);
  regroupTimer_.setSingleShot(true);
  // Long enough to take a whole result page, or several finished downloads, at once.
  regroupTimer_.setInterval(100);
  connect(&regroupTimer_, &QTimer::timeout, this, &ThreadTreeModel::regroup);
  rebuild();

  // Appended rows come as roots at the end (those the filter accepts, which can only be
  // asked once they are in); anything else the collection does is a reset.
  connect(&source, &QAbstractItemModel::rowsAboutToBeInserted, this,
          [this](const QModelIndex&, int first, int) {
            appending_ = static_cast<std::size_t>(first) == forest_.size();
            if (!appending_) beginResetModel();
          });
  connect(&source, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) {
            if (appending_) {
              appendRoots(first, last);
            } else {
              rebuild();
              endResetModel();
              emit regrouped();
            }
          });
  connect(&source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex&, int first, int last) {
            if (grouped_ || filtered())
              beginResetModel();
            else
              beginRemoveRows({}, first, last);
          });
  connect(&source, &QAbstractItemModel::rowsRemoved, this, [this] {
    const bool reset = grouped_ || filtered();
    rebuild();
    if (reset) {
      endResetModel();
      emit regrouped();
    } else {
      endRemoveRows();
    }
  });
  connect(&source, &QAbstractItemModel::modelAboutToBeReset, this,
          &ThreadTreeModel::beginResetModel);
  connect(&source, &QAbstractItemModel::modelReset, this, [this] {
    rebuild();
    endResetModel();
    emit regrouped();
  });
  connect(&source, &QAbstractItemModel::dataChanged, this, &ThreadTreeModel::sourceDataChanged);
}

void ThreadTreeModel::setGrouped(bool grouped) {
  if (grouped == grouped_) return;
  beginResetModel();
  grouped_ = grouped;
  rebuild();
  endResetModel();
  emit regrouped();
}

void ThreadTreeModel::setRowFilter(RowFilter filter) {
  if (!filter && !filter_) return;
  beginResetModel();
  filter_ = std::move(filter);
  rebuild();
  endResetModel();
  emit regrouped();
}

void ThreadTreeModel::regroupIfDue() {
  if (regroupTimer_.isActive()) regroup();
}

std::size_t ThreadTreeModel::linkKey(int sourceRow) const {
  const Article& article = *collection_.articles()[static_cast<std::size_t>(sourceRow)];
  std::size_t key = article.isLoaded() ? 1 : 0;
  for (const std::string_view text :
       {std::string_view(article.subject), std::string_view(article.forum),
        std::string_view(article.messageId), std::string_view(article.references)})
    key = key * 1000003u ^ std::hash<std::string_view>()(text);
  return key;
}

void ThreadTreeModel::rebuild() {
  regroupTimer_.stop();
  const auto& articles = collection_.articles();
  linkKeys_.clear();
  if (grouped_) {
    forest_ = groupThreads(articles, ThreadLinks::HeadersAndSubjects);
    linkKeys_.reserve(articles.size());
    for (std::size_t row = 0; row < articles.size(); ++row)
      linkKeys_.push_back(linkKey(static_cast<int>(row)));
    applyFilter();
    return;
  }
  // Flat: every article a root, in the collection's order.
  const auto count = static_cast<std::int32_t>(articles.size());
  forest_.parent.assign(articles.size(), kNone);
  forest_.position.resize(articles.size());
  std::iota(forest_.position.begin(), forest_.position.end(), 0);
  forest_.grouped = forest_.position;
  forest_.firstChild.assign(articles.size(), count);
  forest_.childCount.assign(articles.size(), 0);
  forest_.rootCount = count;
  applyFilter();
}

void ThreadTreeModel::applyFilter() {
  if (!filter_) return;
  const std::size_t count = forest_.size();
  if (!grouped_) {
    // Flat: the accepted rows as roots, in order.
    forest_.grouped.clear();
    forest_.rootCount = 0;
    for (std::size_t at = 0; at < count; ++at) {
      const bool shown = filter_(static_cast<int>(at));
      forest_.position[at] = shown ? forest_.rootCount++ : kNone;
      if (shown) forest_.grouped.push_back(static_cast<std::int32_t>(at));
    }
    for (std::int32_t& first : forest_.firstChild) first = forest_.rootCount;
    return;
  }
  const auto order = forest_.treeOrder();  // parents before their children
  std::vector<char> shown(count, 0);
  ThreadForest kept;
  kept.parent.assign(count, kNone);
  kept.position.assign(count, kNone);  // kNone: filtered out
  kept.childCount.assign(count, 0);
  for (const auto& [row, depth] : order) {
    const auto at = static_cast<std::size_t>(row);
    shown[at] = filter_(row) ? 1 : 0;
    const std::int32_t parent = forest_.parent[at];
    if (parent != kNone) {
      const auto up = static_cast<std::size_t>(parent);
      kept.parent[at] = shown[up] != 0 ? parent : kept.parent[up];
    }
    if (shown[at] == 0) continue;
    if (kept.parent[at] == kNone)
      kept.position[at] = kept.rootCount++;
    else
      kept.position[at] = kept.childCount[static_cast<std::size_t>(kept.parent[at])]++;
  }
  // The roots first, then each article's children together, each group in tree order.
  kept.firstChild.assign(count, 0);
  std::int32_t next = kept.rootCount;
  for (std::size_t at = 0; at < count; ++at) {
    kept.firstChild[at] = next;
    if (shown[at] != 0) next += kept.childCount[at];
  }
  kept.grouped.assign(static_cast<std::size_t>(next), kNone);
  for (const auto& [row, depth] : order) {
    const auto at = static_cast<std::size_t>(row);
    if (shown[at] == 0) continue;
    const std::int32_t parent = kept.parent[at];
    const std::int32_t start =
        parent == kNone ? 0 : kept.firstChild[static_cast<std::size_t>(parent)];
    kept.grouped[static_cast<std::size_t>(start + kept.position[at])] = row;
  }
  for (std::size_t at = 0; at < count; ++at)
    if (shown[at] == 0) kept.childCount[at] = 0;
  forest_ = std::move(kept);
}

void ThreadTreeModel::appendRoots(int first, int last) {
  std::vector<std::int32_t> rows;
  for (int row = first; row <= last; ++row)
    if (!filter_ || filter_(row)) rows.push_back(row);
  const auto added = static_cast<std::int32_t>(rows.size());
  if (added > 0) beginInsertRows({}, forest_.rootCount, forest_.rootCount + added - 1);
  forest_.grouped.insert(forest_.grouped.begin() + forest_.rootCount, rows.begin(), rows.end());
  for (std::int32_t& at : forest_.firstChild) at += added;
  for (int row = first; row <= last; ++row) {
    forest_.parent.push_back(kNone);
    forest_.position.push_back(kNone);
    forest_.firstChild.push_back(static_cast<std::int32_t>(forest_.grouped.size()));
    forest_.childCount.push_back(0);
    if (grouped_) linkKeys_.push_back(linkKey(row));
  }
  for (std::int32_t i = 0; i < added; ++i)
    forest_.position[static_cast<std::size_t>(rows[static_cast<std::size_t>(i)])] =
        forest_.rootCount + i;
  forest_.rootCount += added;
  if (added > 0) endInsertRows();
  if (grouped_ && !regroupTimer_.isActive()) regroupTimer_.start();
}

void ThreadTreeModel::regroup() {
  if (!grouped_) return;
  emit layoutAboutToBeChanged();
  const QModelIndexList before = persistentIndexList();
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(before.size()));
  for (const QModelIndex& index : before) rows.push_back(rowOf(index));
  rebuild();
  QModelIndexList after;
  after.reserve(before.size());
  for (qsizetype i = 0; i < before.size(); ++i) {
    after.push_back(viewIndex(rows[static_cast<std::size_t>(i)], before[i].column()));
  }
  changePersistentIndexList(before, after);
  emit layoutChanged();
  emit regrouped();
}

void ThreadTreeModel::sourceDataChanged(const QModelIndex& topLeft,
                                        const QModelIndex& bottomRight) {
  const int lastColumn = columnCount() - 1;
  for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
    if (static_cast<std::size_t>(row) >= forest_.size()) break;
    if (const QModelIndex index = viewIndex(row); index.isValid())
      emit dataChanged(index, viewIndex(row, lastColumn));
    // A subject, forum or header that changed may move the article to another thread.
    if (grouped_ && !regroupTimer_.isActive() &&
        linkKey(row) != linkKeys_[static_cast<std::size_t>(row)])
      regroupTimer_.start();
  }
}

int ThreadTreeModel::rowOf(const QModelIndex& index) const {
  const auto parentRow = static_cast<std::int32_t>(index.internalId()) - 1;
  if (static_cast<std::size_t>(parentRow + 1) > forest_.size()) return -1;
  const auto [first, size] = forest_.children(parentRow);
  return index.row() < size ? first[index.row()] : -1;
}

int ThreadTreeModel::sourceRow(const QModelIndex& parent, int row) const {
  const std::int32_t parentRow = parent.isValid() ? rowOf(parent) : kNone;
  if (parent.isValid() && parentRow < 0) return -1;
  const auto [first, size] = forest_.children(parentRow);
  return row >= 0 && row < size ? first[row] : -1;
}

QModelIndex ThreadTreeModel::viewIndex(int sourceRow, int column) const {
  if (sourceRow < 0 || static_cast<std::size_t>(sourceRow) >= forest_.size()) return {};
  const auto at = static_cast<std::size_t>(sourceRow);
  if (forest_.position[at] == kNone) return {};  // filtered out
  return createIndex(forest_.position[at], column, parentId(forest_.parent[at]));
}

QItemSelection ThreadTreeModel::selectionOf(const std::function<bool(int)>& select) const {
  QItemSelection selection;
  const int lastColumn = columnCount() - 1;
  const auto addRuns = [&](std::int32_t parentRow) {
    const auto [first, size] = forest_.children(parentRow);
    int runStart = -1;
    for (int row = 0; row <= size; ++row) {
      const bool selected = row < size && select(first[row]);
      if (selected && runStart < 0) runStart = row;
      if (!selected && runStart >= 0) {
        selection.append(
            QItemSelectionRange(createIndex(runStart, 0, parentId(parentRow)),
                                createIndex(row - 1, lastColumn, parentId(parentRow))));
        runStart = -1;
      }
    }
  };
  addRuns(kNone);
  for (const int row : parentRows()) addRuns(row);
  return selection;
}

std::vector<int> ThreadTreeModel::parentRows() const {
  std::vector<int> rows;
  for (std::size_t row = 0; row < forest_.size(); ++row)
    if (forest_.childCount[row] > 0) rows.push_back(static_cast<int>(row));
  return rows;
}

QModelIndex ThreadTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column < 0 || column >= columnCount() || (parent.isValid() && parent.column() != 0))
    return {};
  const std::int32_t parentRow = parent.isValid() ? rowOf(parent) : kNone;
  if (parent.isValid() && parentRow < 0) return {};
  if (row < 0 || row >= forest_.children(parentRow).second) return {};
  return createIndex(row, column, parentId(parentRow));
}

QModelIndex ThreadTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == 0) return {};
  return viewIndex(static_cast<int>(child.internalId() - 1));
}

int ThreadTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return forest_.rootCount;
  if (parent.column() != 0) return 0;
  const int row = rowOf(parent);
  return row < 0 ? 0 : forest_.childCount[static_cast<std::size_t>(row)];
}

int ThreadTreeModel::columnCount(const QModelIndex&) const {
  return sourceModel()->columnCount();
}

bool ThreadTreeModel::hasChildren(const QModelIndex& parent) const {
  return rowCount(parent) > 0;
}

QModelIndex ThreadTreeModel::mapToSource(const QModelIndex& proxyIndex) const {
  if (!proxyIndex.isValid()) return {};
  return sourceModel()->index(rowOf(proxyIndex), proxyIndex.column());
}

QModelIndex ThreadTreeModel::mapFromSource(const QModelIndex& sourceIndex) const {
  if (!sourceIndex.isValid()) return {};
  return viewIndex(sourceIndex.row(), sourceIndex.column());
}

QVariant ThreadTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return sourceModel()->headerData(section, orientation, role);
}

}  // namespace varnook
