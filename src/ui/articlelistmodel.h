#pragma once

#include <QFont>
#include <QIcon>
#include <string>

#include "collection/collection.h"
#include "ui/collectionlistmodel.h"

namespace varnook {

// The article list: one row per article of the collection, in the collection's order.
// Columns "Subject", "Author", "Date", "Status", "Forum"; the first carries the check mark
// that marks the article for download. Rows of complete articles are bold.
class ArticleListModel final : public CollectionListModel {
  Q_OBJECT

 public:
  enum Column { subject, author, date, status, forum, columnCount_ };

  explicit ArticleListModel(Collection& collection, QObject* parent = nullptr);

  Article* articleAt(int row) const;

  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  // Re-sorts the collection's article list (one reset); rows added later are appended.
  void sort(int column, Qt::SortOrder order) override;
  // Whether the row shows the text in any column, letter case ignored, as the filter box
  // asks for every row: an ASCII text is looked for in the article's bytes as they are
  // (ASCII reads the same in both encodings shown), others in the decoded column texts.
  bool rowContains(int row, const QString& text) const;
  // Whether the rows from `first` to `last` (clipped to the list) are in that order.
  bool inOrder(int first, int last, int column, Qt::SortOrder order) const;

 private:
  QIcon normalImage_;
  QIcon completeImage_;
  QFont boldFont_;
  // The last text rowContains was asked for, as bytes when it is ASCII.
  mutable QString searched_;
  mutable std::string searchedBytes_;
  mutable bool searchedAscii_ = false;
};

}  // namespace varnook
