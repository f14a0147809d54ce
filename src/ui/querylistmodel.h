#pragma once

#include <QIcon>

#include "collection/collection.h"
#include "ui/collectionlistmodel.h"

namespace varnook {

// The query list: one row per request of the collection, in the collection's order.
// Columns "Query", "Expect", "Pages", "Articles", "Unique", "Status". The caption can be
// edited in place while the request does not transfer; the model does not rename by
// itself but hands the new text to renameRequested (the window checks it).
class QueryListModel final : public CollectionListModel {
  Q_OBJECT

 public:
  enum Column { query, expect, pages, articles, unique, status, columnCount_ };

  explicit QueryListModel(Collection& collection, QObject* parent = nullptr);

  Request* requestAt(int row) const;

  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // Row images: 0 normal, 1 complete, 2 cancelled or failed.
  static int imageIndex(const Request& request);

 signals:
  void renameRequested(int row, const QString& text);

 private:
  QIcon images_[3];
};

}  // namespace varnook
