#include "ui/articlelistmodel.h"

#include <QApplication>
#include <algorithm>
#include <functional>

#include "base/asciicase.h"
#include "ui/icons.h"
#include "ui/qttext.h"

namespace varnook {
namespace {

// Letter case does not decide the order of texts (ASCII letters folded), so "apple" and
// "Banana" sort as a reader expects.
int compareNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// How a column orders two articles (negative: the first comes first); none for a column
// that does not sort.
std::function<int(const Article&, const Article&)> articleComparison(int column) {
  switch (column) {
    case ArticleListModel::subject:
      return [](const Article& a, const Article& b) { return compareNoCase(a.subject, b.subject); };
    case ArticleListModel::author:
      return [](const Article& a, const Article& b) { return compareNoCase(a.author, b.author); };
    case ArticleListModel::date:
      return [](const Article& a, const Article& b) {
        return a.date < b.date ? -1 : (b.date < a.date ? 1 : 0);
      };
    case ArticleListModel::status:
      return [](const Article& a, const Article& b) {
        return compareNoCase(a.shortStatus(), b.shortStatus());
      };
    case ArticleListModel::forum:
      return [](const Article& a, const Article& b) { return compareNoCase(a.forum, b.forum); };
    default:
      return {};
  }
}

}  // namespace

ArticleListModel::ArticleListModel(Collection& collection, QObject* parent)
    : CollectionListModel(collection, ListKind::Articles, columnCount_, parent),
      normalImage_(rowImage(RowImage::Article)),
      completeImage_(rowImage(RowImage::Complete)) {
  boldFont_ = QApplication::font();
  boldFont_.setBold(true);
}

Article* ArticleListModel::articleAt(int row) const {
  const auto& articles = collection_.articles();
  if (row < 0 || static_cast<std::size_t>(row) >= articles.size()) return nullptr;
  return articles[static_cast<std::size_t>(row)].get();
}

QVariant ArticleListModel::data(const QModelIndex& index, int role) const {
  const Article* article = articleAt(index.row());
  if (article == nullptr) return {};
  switch (role) {
    case Qt::DisplayRole:
      if (index.column() == status) return statusColumnText(*article);
      if (index.column() == forum) return decodeBytes(article->forum);
      return decodeBytes(article->columnText(index.column()));
    case Qt::ToolTipRole:
      if (index.column() == subject || index.column() == author)
        return decodeBytes(article->columnText(index.column()));
      return {};
    case Qt::CheckStateRole:
      if (index.column() == subject) return article->checked() ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::DecorationRole:
      if (index.column() == subject)
        return article->hasState(kComplete) ? completeImage_ : normalImage_;
      return {};
    case Qt::FontRole:
      if (article->hasState(kComplete)) return boldFont_;
      return {};
    default:
      return {};
  }
}

QVariant ArticleListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kCaptions[] = {"Subject", "Author", "Date", "Status", "Forum"};
  if (section < 0 || section >= columnCount_) return {};
  return QString::fromLatin1(kCaptions[section]);
}

Qt::ItemFlags ArticleListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.column() == subject) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

bool ArticleListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  Article* article = articleAt(index.row());
  if (article == nullptr || role != Qt::CheckStateRole || index.column() != subject) return false;
  article->setChecked(value.value<Qt::CheckState>() == Qt::Checked);
  return true;
}

void ArticleListModel::sort(int column, Qt::SortOrder order) {
  const auto compare = articleComparison(column);
  if (!compare) return;
  const bool descending = order == Qt::DescendingOrder;
  collection_.sortArticles([&](const Article& a, const Article& b) {
    const int c = compare(a, b);
    return descending ? c > 0 : c < 0;
  });
}

bool ArticleListModel::rowContains(int row, const QString& text) const {
  const Article* article = articleAt(row);
  if (article == nullptr) return false;
  if (text != searched_) {
    searched_ = text;
    searchedAscii_ =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; });
    searchedBytes_ = searchedAscii_ ? text.toLatin1().toStdString() : std::string();
  }
  // Dates read "yyyy/mm/dd": a text of other characters is in none.
  const bool mayBeDate = std::all_of(text.begin(), text.end(),
                                     [](QChar c) { return c.isDigit() || c == QLatin1Char('/'); });
  for (int column = 0; column < columnCount_; ++column) {
    if (column == date && !mayBeDate) continue;
    const std::string* bytes = column == subject  ? &article->subject
                               : column == author ? &article->author
                               : column == forum  ? &article->forum
                                                  : nullptr;
    if (bytes != nullptr && searchedAscii_) {
      const auto equal = [](char a, char b) { return asciiLower(a) == asciiLower(b); };
      if (std::search(bytes->begin(), bytes->end(), searchedBytes_.begin(), searchedBytes_.end(),
                      equal) != bytes->end())
        return true;
    } else if (data(index(row, column), Qt::DisplayRole)
                   .toString()
                   .contains(text, Qt::CaseInsensitive)) {
      return true;
    }
  }
  return false;
}

bool ArticleListModel::inOrder(int first, int last, int column, Qt::SortOrder order) const {
  const auto compare = articleComparison(column);
  const int sign = order == Qt::DescendingOrder ? -1 : 1;
  first = std::max(first, 0);
  last = std::min(last, rowCount() - 1);
  for (int row = first; row < last; ++row)
    if (compare && sign * compare(*articleAt(row), *articleAt(row + 1)) > 0) return false;
  return true;
}

}  // namespace varnook
