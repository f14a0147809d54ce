#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace varnook {

// Every article number the collection has seen, in insertion order, without duplicates.
// Membership is answered by a hash set kept beside the ordered vector.
class KnownArticles {
 public:
  // Records the number; true when it was known already. Number 0 counts as known and is
  // never recorded.
  bool checkAndRecord(std::uint32_t number);
  bool contains(std::uint32_t number) const { return number == 0 || set_.count(number) != 0; }
  const std::vector<std::uint32_t>& inOrder() const { return order_; }
  std::size_t size() const { return order_.size(); }
  bool empty() const { return order_.empty(); }
  void clear();
  void reserve(std::size_t count);

 private:
  std::vector<std::uint32_t> order_;
  std::unordered_set<std::uint32_t> set_;
};

}  // namespace varnook
