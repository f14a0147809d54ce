#include "collection/knownarticles.h"

namespace varnook {

bool KnownArticles::checkAndRecord(std::uint32_t number) {
  if (number == 0) return true;
  if (!set_.insert(number).second) return true;
  order_.push_back(number);
  return false;
}

void KnownArticles::clear() {
  order_.clear();
  set_.clear();
}

void KnownArticles::reserve(std::size_t count) {
  order_.reserve(count);
  set_.reserve(count);
}

}  // namespace varnook
