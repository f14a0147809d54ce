#include "ui/queriespage.h"

#include <QHeaderView>
#include <QTreeView>

#include "ui/querylistmodel.h"
#include "ui/querypanel.h"

namespace varnook {

QueriesPage::QueriesPage(Collection& collection, QWidget* parent)
    : QSplitter(Qt::Vertical, parent) {
  setObjectName(QStringLiteral("QueriesPage"));
  setChildrenCollapsible(false);
  model_ = new QueryListModel(collection, this);
  queryList_ = makeListView("lvQueries", model_, this);
  queryList_->setSelectionMode(QAbstractItemView::SingleSelection);
  queryList_->setEditTriggers(QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::SelectedClicked);
  const int widths[] = {350, 60, 60, 60, 60};
  for (int column = 0; column < 5; ++column)
    queryList_->header()->resizeSection(column, widths[column]);
  panel_ = new QueryPanel(this);
  addWidget(queryList_);
  addWidget(panel_);
  setStretchFactor(0, 1);
  setStretchFactor(1, 0);
  setSizes({380, panel_->sizeHint().height()});

  connect(queryList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &QueriesPage::selectionChanged);
  connect(model_, &QueryListModel::renameRequested, this, [this](int row, const QString& text) {
    if (Request* request = model_->requestAt(row)) emit captionEdited(request, text);
  });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    if (std::exchange(resetPosted_, true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
          resetPosted_ = false;
          emit selectionChanged();
        },
        Qt::QueuedConnection);
  });
}

Request* QueriesPage::selectedRequest() const {
  const QModelIndexList rows = queryList_->selectionModel()->selectedRows();
  if (rows.size() != 1) return nullptr;
  return model_->requestAt(rows.front().row());
}

void QueriesPage::selectRow(int row) {
  const int count = model_->rowCount();
  if (count == 0) {
    queryList_->selectionModel()->clearSelection();
    return;
  }
  queryList_->selectionModel()->setCurrentIndex(
      model_->index(std::min(row, count - 1), 0),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void QueriesPage::scrollTo(const Request& request) {
  queryList_->scrollTo(model_->index(request.row(), 0));
}

void QueriesPage::editCaption(const Request& request) {
  const QModelIndex index = model_->index(request.row(), QueryListModel::query);
  queryList_->setCurrentIndex(index);
  queryList_->edit(index);
}

}  // namespace varnook
