#include "collection/article.h"

#include "collection/collection.h"

namespace varnook {

std::string articleName(std::uint32_t number) {
  return number == 0 ? std::string("?A") : "A#" + std::to_string(number);
}

Article::Article(std::uint32_t articleNumber, std::string articleSubject)
    : number(articleNumber), subject(std::move(articleSubject)) {
  name = articleName(number);
}

void Article::setChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  if (collection()) collection()->notifyRowChanged(*this);
}

std::string Article::columnText(int column) const {
  switch (column) {
    case 0:
      return subject;
    case 1:
      return author;
    case 2:
      return formatShortDate(date);
    case 3:
      return std::string(shortStatus());
    default:
      return {};
  }
}

}  // namespace varnook
