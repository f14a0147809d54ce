#include "net/sendbuffer.h"

#include <algorithm>
#include <cstring>

namespace varnook {

void SendBuffer::append(std::string_view data) {
  while (!data.empty()) {
    if (blocks_.empty() || blocks_.back().end == kBlockSize) blocks_.emplace_back();
    Block& last = blocks_.back();
    const std::size_t n = std::min(data.size(), kBlockSize - last.end);
    std::memcpy(last.bytes.data() + last.end, data.data(), n);
    last.end += n;
    size_ += n;
    data.remove_prefix(n);
  }
}

int SendBuffer::frontPieces(iovec* vectors, int maxVectors) const {
  int filled = 0;
  for (const Block& block : blocks_) {
    if (filled == maxVectors) break;
    if (block.begin == block.end) continue;
    vectors[filled].iov_base = const_cast<char*>(block.bytes.data() + block.begin);
    vectors[filled].iov_len = block.end - block.begin;
    ++filled;
  }
  return filled;
}

void SendBuffer::consume(std::size_t count) {
  count = std::min(count, size_);
  size_ -= count;
  while (count > 0 || (blocks_.size() > 1 && blocks_.front().begin == blocks_.front().end)) {
    Block& first = blocks_.front();
    const std::size_t n = std::min(count, first.end - first.begin);
    first.begin += n;
    count -= n;
    if (first.begin == first.end) {
      if (blocks_.size() > 1) {
        blocks_.pop_front();
      } else {
        first.begin = first.end = 0;
        break;
      }
    }
  }
}

void SendBuffer::clear() {
  blocks_.clear();
  size_ = 0;
}

}  // namespace varnook
