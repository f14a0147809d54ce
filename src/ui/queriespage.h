#pragma once

#include <QSplitter>

#include "collection/collection.h"

class QLineEdit;
class QTreeView;

namespace varnook {

class ListFilter;
class QueryListModel;
class QueryPanel;

// The Queries page: the query list (lvQueries) under its filter box, over the query panel.
// The page shows and selects; what the rows and the panel's buttons do is the commands'.
// Row numbers are the list's, which shows the rows the filter lets through.
class QueriesPage final : public QSplitter {
  Q_OBJECT

 public:
  // The collection must outlive the page.
  explicit QueriesPage(Collection& collection, QWidget* parent = nullptr);

  QTreeView& list() const { return *queryList_; }
  QueryPanel& panel() const { return *panel_; }

  // The one selected request, or null.
  Request* selectedRequest() const;
  // Selects the row, or the last one when the list is shorter; nothing when it is empty.
  void selectRow(int row);
  int rowOf(const Request& request) const;  // -1: filtered out
  void scrollTo(const Request& request);
  // Opens the caption's editor (the model refuses it while the request transfers).
  void editCaption(const Request& request);

 signals:
  // The selection changed; also once a command that reset the list has finished, since a
  // reset drops the selection without a word.
  void selectionChanged();
  // The request's caption was edited to `text`; the commands check and apply it.
  void captionEdited(Request* request, const QString& text);

 private:
  QueryListModel* model_ = nullptr;
  ListFilter* filter_ = nullptr;
  QLineEdit* filterBox_ = nullptr;
  QTreeView* queryList_ = nullptr;
  QueryPanel* panel_ = nullptr;
  bool resetPosted_ = false;
};

}  // namespace varnook
