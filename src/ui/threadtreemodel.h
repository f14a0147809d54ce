#pragma once

#include <QAbstractProxyModel>
#include <QItemSelection>
#include <QTimer>
#include <functional>
#include <vector>

#include "collection/collection.h"
#include "collection/threadforest.h"

namespace varnook {

class ArticleListModel;

// The article list as the view shows it: flat, in the collection's order, or grouped by
// thread, as reply trees built from the collection's articles (headers where the texts are
// loaded, subjects where not). Grouped, the roots keep the collection's order, so sorting
// the collection sorts the threads by their roots; each tree keeps its own order.
//
// Rows the collection appends come in as roots at the end of the list; a regrouping follows
// once the program is idle, and also when an article's subject, forum or headers change
// (its text arrived). A regrouping is a layout change: selection and expanded rows follow
// their articles. Removals and resets regroup at once. The source model and collection must
// outlive this model.
//
// A row filter shows only the articles it accepts; grouped, an accepted reply whose parent
// is not accepted hangs under its nearest accepted ancestor, or becomes a root.
class ThreadTreeModel final : public QAbstractProxyModel {
  Q_OBJECT

 public:
  ThreadTreeModel(ArticleListModel& source, const Collection& collection, QObject* parent);

  bool grouped() const { return grouped_; }
  // One model reset.
  void setGrouped(bool grouped);
  // Whether a collection row is shown; empty: every row.
  using RowFilter = std::function<bool(int sourceRow)>;
  // One model reset.
  void setRowFilter(RowFilter filter);
  bool filtered() const { return static_cast<bool>(filter_); }
  // Regroups now if a regrouping is due.
  void regroupIfDue();

  // The collection row of the row `row` under `parent` (-1: none), and the view index of a
  // collection row (invalid: filtered out).
  int sourceRow(const QModelIndex& parent, int row) const;
  QModelIndex viewIndex(int sourceRow, int column = 0) const;
  // The rows whose collection row passes `select`, as runs of consecutive siblings.
  QItemSelection selectionOf(const std::function<bool(int sourceRow)>& select) const;
  // The collection rows that have children, in collection order.
  std::vector<int> parentRows() const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
  QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 signals:
  // The forest was rebuilt (after a reset or a layout change).
  void regrouped();

 private:
  int rowOf(const QModelIndex& index) const;  // its collection row, -1 when stale
  void rebuild();
  // Takes the rows the filter does not accept out of the forest.
  void applyFilter();
  void regroup();
  void appendRoots(int first, int last);
  void sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight);
  std::size_t linkKey(int sourceRow) const;

  const Collection& collection_;
  bool grouped_ = false;
  bool appending_ = false;  // while the source inserts rows at its end
  RowFilter filter_;
  ThreadForest forest_;
  std::vector<std::size_t> linkKeys_;  // per collection row, what its place was computed from
  QTimer regroupTimer_;
};

}  // namespace varnook
