#pragma once

namespace varnook {

class ArticleBase;
class Article;
enum class ListKind;

// How the collection tells its views about changes. Row indexes are positions in the
// collection's vectors, which are the order shown and saved. The "about to" calls come
// before the vectors change, the others after, so that a Qt model can wrap them in
// beginInsertRows/endInsertRows and the like. All methods have empty defaults.
class CollectionObserver {
 public:
  virtual ~CollectionObserver() = default;

  virtual void rowsAboutToBeInserted(ListKind, int /*first*/, int /*last*/) {}
  virtual void rowsInserted(ListKind, int /*first*/, int /*last*/) {}
  virtual void rowsAboutToBeRemoved(ListKind, int /*first*/, int /*last*/) {}
  virtual void rowsRemoved(ListKind, int /*first*/, int /*last*/) {}
  // Bulk changes (clearing, sorting, deleting many rows, loading a file) come as one reset.
  virtual void listAboutToBeReset(ListKind) {}
  virtual void listReset(ListKind) {}
  // The row's columns, image, boldness or check mark changed.
  virtual void rowChanged(const ArticleBase&) {}
  // The status text changed (already covered by rowChanged for the Status column); a view
  // shows the long form when the row is selected.
  virtual void statusChanged(const ArticleBase&) {}
  virtual void modifiedChanged(bool /*modified*/) {}
  // A new article row was created (the download scheduler starts pending downloads).
  virtual void articleCreated(Article&) {}
};

}  // namespace varnook
