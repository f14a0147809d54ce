#include "ui/collectionlistmodel.h"

#include <QHeaderView>
#include <QTreeView>

#include "ui/qttext.h"

namespace varnook {

QString CollectionListModel::statusColumnText(const ArticleBase& object) {
  if (object.shortStatus() == "Errors!" && object.longStatus() != object.shortStatus())
    return decodeBytes(std::string(object.shortStatus()) + " " + std::string(object.longStatus()));
  return decodeBytes(object.shortStatus());
}

CollectionListModel::CollectionListModel(Collection& collection, ListKind kind, int columns,
                                         QObject* parent)
    : QAbstractTableModel(parent), collection_(collection), kind_(kind), columns_(columns) {
  collection_.addObserver(this);
}

CollectionListModel::~CollectionListModel() {
  collection_.removeObserver(this);
}

int CollectionListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(kind_ == ListKind::Requests ? collection_.requests().size()
                                                      : collection_.articles().size());
}

int CollectionListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_;
}

void CollectionListModel::rowsAboutToBeInserted(ListKind kind, int first, int last) {
  if (kind == kind_) beginInsertRows({}, first, last);
}

void CollectionListModel::rowsInserted(ListKind kind, int, int) {
  if (kind == kind_) endInsertRows();
}

void CollectionListModel::rowsAboutToBeRemoved(ListKind kind, int first, int last) {
  if (kind == kind_) beginRemoveRows({}, first, last);
}

void CollectionListModel::rowsRemoved(ListKind kind, int, int) {
  if (kind == kind_) endRemoveRows();
}

void CollectionListModel::listAboutToBeReset(ListKind kind) {
  if (kind == kind_) beginResetModel();
}

void CollectionListModel::listReset(ListKind kind) {
  if (kind == kind_) endResetModel();
}

void CollectionListModel::rowChanged(const ArticleBase& object) {
  if (object.listKind() != kind_ || object.row() < 0) return;
  emit dataChanged(index(object.row(), 0), index(object.row(), columns_ - 1));
}

QTreeView* makeListView(const char* name, QAbstractItemModel* model, QWidget* parent) {
  auto* list = new QTreeView(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  list->setDragDropMode(QAbstractItemView::NoDragDrop);
  list->setAcceptDrops(true);
  list->viewport()->setAcceptDrops(true);
  list->setModel(model);
  return list;
}

}  // namespace varnook
