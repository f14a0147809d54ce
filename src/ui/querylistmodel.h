#pragma once

#include <QAbstractTableModel>
#include <QIcon>

#include "collection/collection.h"

namespace varnook {

// The query list: one row per request of the collection, in the collection's order.
// Columns "Query", "Expect", "Pages", "Articles", "Unique", "Status". The caption can be
// edited in place while the request does not transfer; the model does not rename by
// itself but hands the new text to renameRequested (the window checks it).
class QueryListModel final : public QAbstractTableModel, private CollectionObserver {
  Q_OBJECT

 public:
  enum Column { query, expect, pages, articles, unique, status, columnCount_ };

  explicit QueryListModel(Collection& collection, QObject* parent = nullptr);
  ~QueryListModel() override;

  Request* requestAt(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // Row images: 0 normal, 1 complete, 2 cancelled or failed.
  static int imageIndex(const Request& request);

 signals:
  void renameRequested(int row, const QString& text);

 private:
  void rowsAboutToBeInserted(ListKind kind, int first, int last) override;
  void rowsInserted(ListKind kind, int first, int last) override;
  void rowsAboutToBeRemoved(ListKind kind, int first, int last) override;
  void rowsRemoved(ListKind kind, int first, int last) override;
  void listAboutToBeReset(ListKind kind) override;
  void listReset(ListKind kind) override;
  void rowChanged(const ArticleBase& object) override;

  Collection& collection_;
  QIcon images_[3];
};

}  // namespace varnook
