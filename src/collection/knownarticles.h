#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnook {

// Every article number the collection has seen, in insertion order, without duplicates.
// Membership is answered by an open-addressing hash table of the numbers kept beside the
// ordered vector (0 never occurs, so it marks empty slots): a million numbers stay fast.
class KnownArticles {
 public:
  // Records the number; true when it was known already. Number 0 counts as known and is
  // never recorded.
  bool checkAndRecord(std::uint32_t number);
  bool contains(std::uint32_t number) const;
  const std::vector<std::uint32_t>& inOrder() const { return order_; }
  std::size_t size() const { return order_.size(); }
  bool empty() const { return order_.empty(); }
  void clear();
  void reserve(std::size_t count);

 private:
  std::size_t slotOf(std::uint32_t number) const;
  void grow(std::size_t minimumSlots);

  std::vector<std::uint32_t> order_;
  std::vector<std::uint32_t> table_;  // power-of-two size, at most half full
  int shift_ = 32;
};

}  // namespace varnook
