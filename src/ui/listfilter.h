#pragma once

#include <QAbstractProxyModel>
#include <QString>
#include <functional>
#include <vector>

class QLineEdit;
class QTreeView;

namespace varnook {

// The rows of a flat list model that hold a text in any column (letter case ignored), in
// the model's order, for a list view; with no text, all rows, mapped one to one at no cost.
// A new text is applied in one pass and one reset, never row by row, so typing into the
// filter box stays quick on 100,000 rows; typing on narrows only the rows left. Rows that
// arrive later are shown when they hold the text; a row whose text changes stays.
class ListFilter final : public QAbstractProxyModel {
  Q_OBJECT

 public:
  // The source must outlive the filter.
  ListFilter(QAbstractItemModel& source, QObject* parent);

  const QString& text() const { return text_; }
  void setText(const QString& text);

  // The row of the source behind a row of the filter, and the other way round (-1: the
  // source row is filtered out, or there is no such row).
  int sourceRow(int row) const;
  int rowOf(int sourceRow) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
  QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  bool filtering() const { return !text_.isEmpty(); }
  bool accepts(int sourceRow) const;
  // The first position in rows_ whose source row is `sourceRow` or later.
  int lowerBound(int sourceRow) const;

  QAbstractItemModel& source_;
  QString text_;
  std::vector<int> rows_;       // while filtering: the source rows shown, ascending
  int removing_[2] = {-1, -1};  // the rows of rows_ a source removal takes
};

// A filter box for the list beside it in `parent`: a line edit that hands its text to
// `apply` as the user types and passes Down to the list, so the keyboard goes on from the
// box to the rows; Esc empties it. Made before the list, it comes before it in the Tab order.
QLineEdit* makeFilterBox(const char* name, const QString& accessibleName,
                         std::function<void(const QString&)> apply, QWidget* parent);

// Lays out `pane` (the parent of both) with the filter box above its list, which gets the
// accessible name.
void layOutFilteredList(QWidget& pane, QLineEdit& box, QTreeView& list,
                        const QString& accessibleName);

}  // namespace varnook
