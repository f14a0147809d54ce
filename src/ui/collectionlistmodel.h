#pragma once

#include <QAbstractTableModel>

#include "collection/collection.h"

class QTreeView;

namespace varnook {

// A Qt table model over one of the collection's lists, in the collection's order: it turns
// the collection's row events for that list into the model's insert, remove, reset and
// change signals. The collection must outlive the model.
class CollectionListModel : public QAbstractTableModel, private CollectionObserver {
  Q_OBJECT

 public:
  CollectionListModel(Collection& collection, ListKind kind, int columns, QObject* parent);
  ~CollectionListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;

 protected:
  // What a row's Status column shows: the short status, and for a failure the reason too
  // ("Errors! Not Found"), so a failed row says why without being selected.
  static QString statusColumnText(const ArticleBase& object);

  Collection& collection_;

 private:
  void rowsAboutToBeInserted(ListKind kind, int first, int last) override;
  void rowsInserted(ListKind kind, int first, int last) override;
  void rowsAboutToBeRemoved(ListKind kind, int first, int last) override;
  void rowsRemoved(ListKind kind, int first, int last) override;
  void listAboutToBeReset(ListKind kind) override;
  void listReset(ListKind kind) override;
  void rowChanged(const ArticleBase& object) override;

  ListKind kind_;
  int columns_;
};

// A list view of the window's pages on `model`: whole rows, uniform heights (which keeps
// lists of 100,000 rows fast), its context menu asked for through
// customContextMenuRequested, dropped URLs accepted (the commands read them).
QTreeView* makeListView(const char* name, QAbstractItemModel* model, QWidget* parent);

}  // namespace varnook
