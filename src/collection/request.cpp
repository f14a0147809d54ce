#include "collection/request.h"

#include <memory>

#include "collection/collection.h"

namespace varnook {

Request::Request(std::string requestName) {
  name = std::move(requestName);
}

std::string Request::displayName() const {
  if (name.rfind("Q#", 0) == 0) return querySummaryText(*this);
  return name;
}

Article* Request::addArticle(std::uint32_t number, const std::string& articleSubject) {
  if (number == 0) return nullptr;
  ++articles;
  Collection* owner = collection();
  if (owner == nullptr || owner->isKnownArticle(number)) return nullptr;
  ++unique;
  return &owner->appendArticle(std::make_unique<Article>(number, articleSubject));
}

void Request::assignQuery(const Request& other) {
  url = other.url;
  static_cast<QueryFields&>(*this) = static_cast<const QueryFields&>(other);
}

std::string Request::columnText(int column) const {
  switch (column) {
    case 0:
      return displayName();
    case 1:
      return std::to_string(expectedTotal);
    case 2:
      return std::to_string(pages);
    case 3:
      return std::to_string(articles);
    case 4:
      return std::to_string(unique);
    case 5:
      return std::string(shortStatus());
    default:
      return {};
  }
}

}  // namespace varnook
