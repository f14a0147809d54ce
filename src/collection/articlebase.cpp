#include "collection/articlebase.h"

#include "collection/collection.h"

namespace varnook {

ArticleBase::~ArticleBase() = default;

void ArticleBase::setStatus(std::string_view text) {
  if (text == status_) return;
  status_.assign(text);
  if (collection_) collection_->notifyStatusChanged(*this);
}

std::string_view ArticleBase::shortStatus() const {
  const std::string_view s = status_;
  const auto bar = s.find('|');
  return bar == std::string_view::npos ? s : s.substr(0, bar);
}

std::string_view ArticleBase::longStatus() const {
  const std::string_view s = status_;
  const auto bar = s.find('|');
  return bar == std::string_view::npos ? s : s.substr(bar + 1);
}

void ArticleBase::setState(StateSet state) {
  state_ = state;
  if (collection_) collection_->notifyRowChanged(*this);
}

void ArticleBase::updateListItem() {
  if (collection_) collection_->notifyRowChanged(*this);
}

}  // namespace varnook
