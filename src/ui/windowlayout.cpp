#include "ui/windowlayout.h"

#include <QHeaderView>
#include <QMenu>
#include <QSplitter>
#include <QStringList>
#include <QTreeView>

#include "ui/articlespage.h"
#include "ui/mainwindow.h"
#include "ui/queriespage.h"

namespace varnook {
namespace {

QString fromBytes(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string splitterSizes(const QSplitter& splitter) {
  QStringList sizes;
  for (const int size : splitter.sizes()) sizes << QString::number(size);
  return sizes.join(QLatin1Char(',')).toStdString();
}

void restoreSplitterSizes(QSplitter& splitter, std::string_view text) {
  QList<int> sizes;
  for (const QString& part : fromBytes(text).split(QLatin1Char(','))) {
    bool ok = false;
    const int size = part.toInt(&ok);
    if (!ok || size < 0) return;
    sizes << size;
  }
  if (sizes.size() != splitter.count()) return;
  splitter.setSizes(sizes);
  // A hidden page gets its size only when shown; the sizes keep their shares meanwhile.
  for (int i = 0; i < sizes.size(); ++i) splitter.setStretchFactor(i, sizes[i]);
}

}  // namespace

void arrangeListHeader(QHeaderView& header, std::initializer_list<int> widths,
                       std::initializer_list<int> hidden) {
  header.setStretchLastSection(false);
  header.setSectionsMovable(true);
  header.setFirstSectionMovable(false);
  header.setSectionResizeMode(QHeaderView::Interactive);
  header.setSectionResizeMode(0, QHeaderView::Stretch);
  int column = 1;
  for (const int width : widths) header.resizeSection(column++, width);
  for (const int hiddenColumn : hidden) header.hideSection(hiddenColumn);
  header.setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(&header, &QWidget::customContextMenuRequested, &header, [&header](QPoint pos) {
    auto* menu = new QMenu(&header);
    menu->setObjectName(QStringLiteral("popColumns"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    fillColumnsMenu(*menu, header);
    menu->popup(header.mapToGlobal(pos));
  });
}

void fillColumnsMenu(QMenu& menu, QHeaderView& header) {
  menu.clear();
  for (int visual = 0; visual < header.count(); ++visual) {
    const int column = header.logicalIndex(visual);
    if (column == 0) continue;  // it takes the spare width: always shown
    QAction* shown = menu.addAction(
        header.model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString().trimmed());
    shown->setCheckable(true);
    shown->setChecked(!header.isSectionHidden(column));
    QObject::connect(shown, &QAction::toggled, &header,
                     [&header, column](bool on) { header.setSectionHidden(column, !on); });
  }
}

std::string headerLayout(const QHeaderView& header) {
  QStringList columns;
  for (int visual = 0; visual < header.count(); ++visual) {
    const int column = header.logicalIndex(visual);
    // The stretched column's width follows the window: none is stored.
    const bool stretched = header.sectionResizeMode(column) == QHeaderView::Stretch;
    columns << QStringLiteral("%1:%2%3")
                   .arg(column)
                   .arg(stretched ? 0 : header.sectionSize(column))
                   .arg(header.isSectionHidden(column) ? QStringLiteral("h") : QString());
  }
  return columns.join(QLatin1Char(',')).toStdString();
}

void restoreHeaderLayout(QHeaderView& header, std::string_view layout) {
  int visual = 0;
  for (QString entry : fromBytes(layout).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    const bool hidden = entry.endsWith(QLatin1Char('h'));
    if (hidden) entry.chop(1);
    const QStringList parts = entry.split(QLatin1Char(':'));
    bool columnOk = false, widthOk = false;
    const int column = parts.value(0).toInt(&columnOk);
    const int width = parts.value(1).toInt(&widthOk);
    if (parts.size() != 2 || !columnOk || !widthOk || column < 0 || column >= header.count() ||
        header.visualIndex(column) < visual)
      continue;  // unknown, malformed, or named twice
    header.moveSection(header.visualIndex(column), visual++);
    // The first column takes what the others leave; it is never hidden.
    if (column == 0) continue;
    if (width > 0) header.resizeSection(column, width);
    header.setSectionHidden(column, hidden);
  }
}

void restoreWindowLayout(const VnkOptions& options, MainWindow& window, QueriesPage& queries,
                         ArticlesPage& articles) {
  if (!options.windowGeometry.empty())
    window.restoreGeometry(
        QByteArray::fromBase64(QByteArray::fromStdString(options.windowGeometry)));
  restoreSplitterSizes(queries, options.queriesSplitter);
  restoreSplitterSizes(articles, options.articlesSplitter);
  restoreHeaderLayout(*queries.list().header(), options.queryColumns);
  const std::string_view columns = options.articleColumns;
  const std::size_t sortMark = columns.find(';');
  restoreHeaderLayout(*articles.list().header(), columns.substr(0, sortMark));
  if (sortMark == std::string_view::npos || columns.size() < sortMark + 3) return;
  const QString sort = fromBytes(columns.substr(sortMark + 1));
  bool ok = false;
  const int column = sort.chopped(1).toInt(&ok);
  if (ok && column >= 0 && column < articles.list().header()->count())
    articles.setSort(column,
                     sort.endsWith(QLatin1Char('d')) ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void saveWindowLayout(VnkOptions& options, const MainWindow& window, const QueriesPage& queries,
                      const ArticlesPage& articles) {
  options.windowGeometry = window.saveGeometry().toBase64().toStdString();
  options.queriesSplitter = splitterSizes(queries);
  options.articlesSplitter = splitterSizes(articles);
  options.queryColumns = headerLayout(*queries.list().header());
  options.articleColumns = headerLayout(*articles.list().header());
  if (articles.sortColumn() >= 0)
    options.articleColumns += ';' + std::to_string(articles.sortColumn()) +
                              (articles.sortOrder() == Qt::DescendingOrder ? 'd' : 'a');
}

}  // namespace varnook
