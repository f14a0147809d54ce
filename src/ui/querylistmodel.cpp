#include "ui/querylistmodel.h"

#include "ui/icons.h"
#include "ui/qttext.h"

namespace varnook {

QueryListModel::QueryListModel(Collection& collection, QObject* parent)
    : CollectionListModel(collection, ListKind::Requests, columnCount_, parent) {
  images_[0] = rowImage(RowImage::Query);
  images_[1] = rowImage(RowImage::Complete);
  images_[2] = rowImage(RowImage::Failed);
}

Request* QueryListModel::requestAt(int row) const {
  const auto& requests = collection_.requests();
  if (row < 0 || static_cast<std::size_t>(row) >= requests.size()) return nullptr;
  return requests[static_cast<std::size_t>(row)].get();
}

int QueryListModel::imageIndex(const Request& request) {
  if (request.hasState(kComplete)) return 1;
  if (request.hasState(kCancelled) || request.hasState(kFailed)) return 2;
  return 0;
}

QVariant QueryListModel::data(const QModelIndex& index, int role) const {
  const Request* request = requestAt(index.row());
  if (request == nullptr) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
      if (role == Qt::ToolTipRole && index.column() != query) return {};
      if (index.column() == status) return statusColumnText(*request);
      return decodeBytes(request->columnText(index.column()));
    case Qt::DecorationRole:
      if (index.column() == query) return images_[imageIndex(*request)];
      return {};
    case Qt::TextAlignmentRole:
      if (index.column() >= expect && index.column() <= unique)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    default:
      return {};
  }
}

QVariant QueryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kCaptions[] = {"Query",    "Expect", "Pages",
                                          "Articles", "Unique", "Status"};
  if (section < 0 || section >= columnCount_) return {};
  return QString::fromLatin1(kCaptions[section]);
}

Qt::ItemFlags QueryListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  const Request* request = requestAt(index.row());
  // A request whose transfer runs cannot be renamed.
  if (request != nullptr && index.column() == query && !request->isTransferring())
    flags |= Qt::ItemIsEditable;
  return flags;
}

bool QueryListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != query || requestAt(index.row()) == nullptr)
    return false;
  emit renameRequested(index.row(), value.toString());
  return false;  // the collection tells the model when the name really changed
}

}  // namespace varnook
