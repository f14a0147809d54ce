#include "ui/queriespage.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/listfilter.h"
#include "ui/querylistmodel.h"
#include "ui/querypanel.h"
#include "ui/windowlayout.h"

namespace varnook {

QueriesPage::QueriesPage(Collection& collection, QWidget* parent)
    : QSplitter(Qt::Vertical, parent) {
  setObjectName(QStringLiteral("QueriesPage"));
  setChildrenCollapsible(false);
  model_ = new QueryListModel(collection, this);
  filter_ = new ListFilter(*model_, this);
  auto* listPane = new QWidget(this);
  filterBox_ = makeFilterBox(
      "edQueryFilter", QStringLiteral("Filter queries"),
      [filter = filter_](const QString& text) { filter->setText(text); }, listPane);
  queryList_ = makeListView("lvQueries", filter_, listPane);
  layOutFilteredList(*listPane, *filterBox_, *queryList_, QStringLiteral("Queries"));
  queryList_->setSelectionMode(QAbstractItemView::SingleSelection);
  queryList_->setEditTriggers(QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::SelectedClicked);
  arrangeListHeader(*queryList_->header(), {60, 60, 60, 60, 200});
  panel_ = new QueryPanel(this);
  addWidget(listPane);
  addWidget(panel_);
  setStretchFactor(0, 1);
  setStretchFactor(1, 0);
  setSizes({380, panel_->sizeHint().height()});

  connect(queryList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &QueriesPage::selectionChanged);
  connect(model_, &QueryListModel::renameRequested, this, [this](int row, const QString& text) {
    if (Request* request = model_->requestAt(row)) emit captionEdited(request, text);
  });
  connect(filter_, &QAbstractItemModel::modelReset, this, [this] {
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
  return model_->requestAt(filter_->sourceRow(rows.front().row()));
}

void QueriesPage::selectRow(int row) {
  const int count = filter_->rowCount();
  if (count == 0) {
    queryList_->selectionModel()->clearSelection();
    return;
  }
  queryList_->selectionModel()->setCurrentIndex(
      filter_->index(std::min(row, count - 1), 0),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int QueriesPage::rowOf(const Request& request) const {
  return filter_->rowOf(request.row());
}

void QueriesPage::scrollTo(const Request& request) {
  if (filter_->rowOf(request.row()) < 0) filterBox_->clear();  // the filter hid it
  queryList_->scrollTo(filter_->index(filter_->rowOf(request.row()), 0));
}

void QueriesPage::editCaption(const Request& request) {
  const QModelIndex index = filter_->index(filter_->rowOf(request.row()), QueryListModel::query);
  queryList_->setCurrentIndex(index);
  queryList_->edit(index);
}

}  // namespace varnook
