#include "ui/listfilter.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace varnook {

ListFilter::ListFilter(QAbstractItemModel& source, QObject* parent)
    : QAbstractProxyModel(parent), source_(source) {
  setSourceModel(&source);
  connect(&source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
  connect(&source, &QAbstractItemModel::modelReset, this, [this] {
    rows_.clear();
    if (filtering())
      for (int row = 0, count = source_.rowCount(); row < count; ++row)
        if (accepts(row)) rows_.push_back(row);
    endResetModel();
  });
  connect(&source, &QAbstractItemModel::rowsAboutToBeInserted, this,
          [this](const QModelIndex&, int first, int last) {
            if (!filtering()) beginInsertRows({}, first, last);
          });
  connect(&source, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) {
            if (!filtering()) {
              endInsertRows();
              return;
            }
            const int at = lowerBound(first);
            for (auto it = rows_.begin() + at; it != rows_.end(); ++it) *it += last - first + 1;
            std::vector<int> added;
            for (int row = first; row <= last; ++row)
              if (accepts(row)) added.push_back(row);
            if (added.empty()) return;
            beginInsertRows({}, at, at + static_cast<int>(added.size()) - 1);
            rows_.insert(rows_.begin() + at, added.begin(), added.end());
            endInsertRows();
          });
  connect(&source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex&, int first, int last) {
            removing_[0] = filtering() ? lowerBound(first) : first;
            removing_[1] = filtering() ? lowerBound(last + 1) - 1 : last;
            if (removing_[0] <= removing_[1]) beginRemoveRows({}, removing_[0], removing_[1]);
          });
  connect(&source, &QAbstractItemModel::rowsRemoved, this,
          [this](const QModelIndex&, int first, int last) {
            if (filtering()) {
              rows_.erase(rows_.begin() + removing_[0], rows_.begin() + removing_[1] + 1);
              for (auto it = rows_.begin() + removing_[0]; it != rows_.end(); ++it)
                *it -= last - first + 1;
            }
            if (removing_[0] <= removing_[1]) endRemoveRows();
          });
  connect(
      &source, &QAbstractItemModel::dataChanged, this,
      [this](const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) {
        const int first = filtering() ? lowerBound(topLeft.row()) : topLeft.row();
        const int last = filtering() ? lowerBound(bottomRight.row() + 1) - 1 : bottomRight.row();
        if (first <= last)
          emit dataChanged(index(first, topLeft.column()), index(last, bottomRight.column()),
                           roles);
      });
}

void ListFilter::setText(const QString& text) {
  if (text == text_) return;
  // A longer text finds only rows the shorter one found: just those are looked at again.
  const bool narrowing = filtering() && text.contains(text_, Qt::CaseInsensitive);
  beginResetModel();
  text_ = text;
  if (!filtering()) {
    rows_.clear();
  } else if (narrowing) {
    std::erase_if(rows_, [this](int row) { return !accepts(row); });
  } else {
    rows_.clear();
    for (int row = 0, count = source_.rowCount(); row < count; ++row)
      if (accepts(row)) rows_.push_back(row);
  }
  endResetModel();
}

bool ListFilter::accepts(int sourceRow) const {
  for (int column = 0, count = source_.columnCount(); column < count; ++column)
    if (source_.index(sourceRow, column).data().toString().contains(text_, Qt::CaseInsensitive))
      return true;
  return false;
}

int ListFilter::lowerBound(int sourceRow) const {
  return static_cast<int>(std::lower_bound(rows_.begin(), rows_.end(), sourceRow) - rows_.begin());
}

int ListFilter::sourceRow(int row) const {
  if (row < 0 || row >= rowCount()) return -1;
  return filtering() ? rows_[static_cast<std::size_t>(row)] : row;
}

int ListFilter::rowOf(int sourceRow) const {
  if (sourceRow < 0 || sourceRow >= source_.rowCount()) return -1;
  if (!filtering()) return sourceRow;
  const int at = lowerBound(sourceRow);
  return at < static_cast<int>(rows_.size()) && rows_[static_cast<std::size_t>(at)] == sourceRow
             ? at
             : -1;
}

QModelIndex ListFilter::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
    return {};
  return createIndex(row, column);
}

QModelIndex ListFilter::parent(const QModelIndex&) const {
  return {};
}

int ListFilter::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return filtering() ? static_cast<int>(rows_.size()) : source_.rowCount();
}

int ListFilter::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : source_.columnCount();
}

QModelIndex ListFilter::mapToSource(const QModelIndex& proxyIndex) const {
  if (!proxyIndex.isValid()) return {};
  return source_.index(sourceRow(proxyIndex.row()), proxyIndex.column());
}

QModelIndex ListFilter::mapFromSource(const QModelIndex& sourceIndex) const {
  if (!sourceIndex.isValid()) return {};
  return index(rowOf(sourceIndex.row()), sourceIndex.column());
}

QVariant ListFilter::headerData(int section, Qt::Orientation orientation, int role) const {
  // Not through a row: an empty filter still has its column captions.
  return source_.headerData(section, orientation, role);
}

QLineEdit* makeFilterBox(const char* name, const QString& accessibleName,
                         std::function<void(const QString&)> apply, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setAccessibleName(accessibleName);
  box->setPlaceholderText(QStringLiteral("Filter: text in any column"));
  box->setClearButtonEnabled(true);
  QObject::connect(box, &QLineEdit::textChanged, box, std::move(apply));
  class Keys final : public QObject {
   public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() != QEvent::KeyPress) return false;
      const int key = static_cast<QKeyEvent*>(event)->key();
      QTreeView* list = parent()->parent()->findChild<QTreeView*>();
      if (key == Qt::Key_Down && list != nullptr) {
        list->setFocus(Qt::TabFocusReason);
        if (!list->currentIndex().isValid() && list->model()->rowCount() > 0)
          list->setCurrentIndex(list->model()->index(0, 0));
        return true;
      }
      if (key == Qt::Key_Escape && !static_cast<QLineEdit*>(watched)->text().isEmpty()) {
        static_cast<QLineEdit*>(watched)->clear();
        return true;
      }
      return false;
    }
  };
  box->installEventFilter(new Keys(box));
  return box;
}

void layOutFilteredList(QWidget& pane, QLineEdit& box, QTreeView& list,
                        const QString& accessibleName) {
  auto* layout = new QVBoxLayout(&pane);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(&box);
  layout->addWidget(&list, 1);
  list.setAccessibleName(accessibleName);
}

}  // namespace varnook
