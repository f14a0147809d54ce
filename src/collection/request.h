#pragma once

#include <cstdint>
#include <string>

#include "collection/articlebase.h"
#include "collection/queryfields.h"

namespace varnook {

class Article;

// A search query and the progress of its result pages.
class Request : public ArticleBase, public QueryFields {
 public:
  // A request with the given name (the collection hands out fresh "Q#" names).
  explicit Request(std::string requestName);

  ListKind listKind() const override { return ListKind::Requests; }
  // The query summary for automatically named requests, otherwise the name.
  std::string displayName() const override;

  // Counts one result entry. Returns the new article (already in the list) when the
  // number is new to the collection, else null. Number 0 changes nothing.
  // The request must be in a collection.
  Article* addArticle(std::uint32_t number, const std::string& articleSubject);

  // Copies the URL and every query field from another request.
  void assignQuery(const Request& other);

  // The text of column `column` of the query list
  // ("Query", "Expect", "Pages", "Articles", "Unique", "Status").
  std::string columnText(int column) const;

  std::int32_t pages = 1;
  std::int32_t articlesBeforePage = 0;
  std::int32_t articles = 0;
  std::int32_t expectedTotal = 0;
  std::int32_t unique = 0;
  bool stopAtNextPage = false;
};

}  // namespace varnook
