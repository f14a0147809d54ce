// The query list: its menu, sending and stopping, deleting and renaming queries.
#include <QMenu>
#include <QStackedWidget>
#include <QTreeView>

#include "transfer/scheduler.h"
#include "ui/articlesform.h"
#include "ui/qttext.h"
#include "ui/querylistmodel.h"
#include "ui/userprompts.h"

namespace varnook {

Request* ArticlesForm::selectedRequest() const {
  const QModelIndexList rows = lvQueries->selectionModel()->selectedRows();
  if (rows.size() != 1) return nullptr;
  return queryModel_->requestAt(rows.front().row());
}

void ArticlesForm::selectQueryRow(int row) {
  const int count = queryModel_->rowCount();
  if (count == 0) {
    lvQueries->selectionModel()->clearSelection();
    return;
  }
  if (row >= count) row = count - 1;
  const QModelIndex index = queryModel_->index(row, 0);
  lvQueries->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ArticlesForm::popQueryListPopup(const QPoint& pos) {
  if (Pages->currentIndex() != 0) return;
  const Request* request = selectedRequest();
  if (request == nullptr) return;
  const bool running = request->isTransferring();
  mnuSendQuery->setEnabled(!running);
  mnuResumeQuery->setEnabled(!running && !request->url.empty());
  popQueryList->popup(lvQueries->viewport()->mapToGlobal(pos));
}

void ArticlesForm::lvQueriesChange() {
  const Request* request = selectedRequest();
  setSelectionStatus(request != nullptr ? decodeBytes(request->longStatus()) : QString(), true);
  updateDeleteButton();
}

void ArticlesForm::mnuSendQueryClick() {
  Request* request = Pages->currentIndex() == 0 ? selectedRequest() : nullptr;
  if (request == nullptr || scheduler_ == nullptr || request->isTransferring()) return;
  scheduler_->send(*request);
}

void ArticlesForm::mnuResumeQueryClick() {
  Request* request = Pages->currentIndex() == 0 ? selectedRequest() : nullptr;
  if (request == nullptr || scheduler_ == nullptr || request->isTransferring()) return;
  if (request->url.empty()) return;
  scheduler_->resume(*request);
}

void ArticlesForm::mnuCancelRequestClick() {
  Request* request = Pages->currentIndex() == 0 ? selectedRequest() : nullptr;
  if (request == nullptr || scheduler_ == nullptr) return;
  scheduler_->stopQuery(*request);
}

void ArticlesForm::mnuStopAtNextPageClick() {
  Request* request = Pages->currentIndex() == 0 ? selectedRequest() : nullptr;
  if (request == nullptr || scheduler_ == nullptr) return;
  scheduler_->stopAtNextPage(*request);
}

void ArticlesForm::mnuDeleteRequestClick() {
  Request* request = Pages->currentIndex() == 0 ? selectedRequest() : nullptr;
  if (request == nullptr) return;
  const int row = request->row();
  collection_.removeRequest(*request);
  selectQueryRow(row);
  refreshStatusBar();
}

void ArticlesForm::mnuRenameQueryClick() {
  const Request* request = Pages->currentIndex() == 0 ? selectedRequest() : nullptr;
  if (request == nullptr) return;
  const QModelIndex index = queryModel_->index(request->row(), QueryListModel::query);
  lvQueries->setCurrentIndex(index);
  lvQueries->edit(index);  // refused by the model while the request transfers
}

void ArticlesForm::lvQueriesEdited(int row, const QString& text) {
  Request* request = queryModel_->requestAt(row);
  if (request == nullptr) return;
  // A transfer may have started while the caption was being edited.
  if (request->isTransferring()) return;
  const std::string caption = encodeText(text);
  if (caption == request->displayName()) return;
  // An empty name would cut the articles off from their query.
  if (text.trimmed().isEmpty()) return;
  for (const auto& other : collection_.requests()) {
    if (other->displayName() == caption) {
      warning(QStringLiteral("Duplicate query name"));
      return;
    }
  }
  const std::string previous = request->name;
  request->name = caption;
  for (const auto& article : collection_.articles())
    if (article->requestId == previous) article->requestId = caption;
  request->updateListItem();
  collection_.setModified(true);
}

}  // namespace varnook
