#pragma once

#include <QString>
#include <initializer_list>
#include <string>
#include <string_view>

#include "settings/vnkoptions.h"

class QHeaderView;
class QMenu;
class QSplitter;

namespace varnook {

class ArticlesPage;
class MainWindow;
class QueriesPage;

// A list's column header as the user arranges it: the first column takes the width the
// others leave, the others keep the widths given (or the user's), columns can be moved,
// and the header's menu shows and hides every column but the first. `hidden`: the
// columns hidden until the user shows them.
void arrangeListHeader(QHeaderView& header, std::initializer_list<int> widths,
                       std::initializer_list<int> hidden = {});

// Fills `menu` with the header's columns but the first, in the order shown, each checked
// while it is shown; checking shows it, unchecking hides it.
void fillColumnsMenu(QMenu& menu, QHeaderView& header);

// The columns of a header as stored: in the order shown, "column:width", with "h" after
// the width of a hidden column ("0:300,2:100,1:250,3:150h"). Reading takes what it can
// use: unknown columns and malformed entries are passed over, columns it does not name
// keep their place at the end.
std::string headerLayout(const QHeaderView& header);
void restoreHeaderLayout(QHeaderView& header, std::string_view layout);

// The window's arrangement, kept in the options between runs: the window's geometry, the
// two pages' splitters and both lists' columns (the article list's with its sort as
// ";column" and "a" or "d"). Restoring passes over what does not fit.
void restoreWindowLayout(const VnkOptions& options, MainWindow& window, QueriesPage& queries,
                         ArticlesPage& articles);
void saveWindowLayout(VnkOptions& options, const MainWindow& window, const QueriesPage& queries,
                      const ArticlesPage& articles);

}  // namespace varnook
