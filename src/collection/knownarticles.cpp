#include "collection/knownarticles.h"

namespace varnook {

// Fibonacci hashing: the top bits of the product pick the slot.
std::size_t KnownArticles::slotOf(std::uint32_t number) const {
  return static_cast<std::size_t>((number * 2654435769u) >> shift_);
}

bool KnownArticles::contains(std::uint32_t number) const {
  if (number == 0) return true;
  if (table_.empty()) return false;
  const std::size_t mask = table_.size() - 1;
  for (std::size_t slot = slotOf(number);; slot = (slot + 1) & mask) {
    if (table_[slot] == number) return true;
    if (table_[slot] == 0) return false;
  }
}

bool KnownArticles::checkAndRecord(std::uint32_t number) {
  if (number == 0) return true;
  if ((order_.size() + 1) * 2 > table_.size()) grow((order_.size() + 1) * 2);
  const std::size_t mask = table_.size() - 1;
  for (std::size_t slot = slotOf(number);; slot = (slot + 1) & mask) {
    if (table_[slot] == number) return true;
    if (table_[slot] == 0) {
      table_[slot] = number;
      order_.push_back(number);
      return false;
    }
  }
}

void KnownArticles::grow(std::size_t minimumSlots) {
  std::size_t slots = 16;
  int shift = 28;
  while (slots < minimumSlots) {
    slots *= 2;
    --shift;
  }
  if (slots <= table_.size()) return;
  table_.assign(slots, 0);
  shift_ = shift;
  const std::size_t mask = slots - 1;
  for (std::uint32_t number : order_) {
    std::size_t slot = slotOf(number);
    while (table_[slot] != 0) slot = (slot + 1) & mask;
    table_[slot] = number;
  }
}

void KnownArticles::clear() {
  order_.clear();
  table_.clear();
  shift_ = 32;
}

void KnownArticles::reserve(std::size_t count) {
  order_.reserve(count);
  grow(count * 2);
}

}  // namespace varnook
