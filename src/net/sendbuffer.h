#pragma once

#include <sys/uio.h>

#include <array>
#include <cstddef>
#include <deque>
#include <string_view>

namespace varnook {

// Outgoing bytes waiting for the network: an ordered list of fixed-size blocks. Data is
// copied once, appended at the end of the last block (new blocks opened as needed), and
// taken from the front of the first. An emptied block is dropped when another follows it,
// so an idle buffer keeps one block for the next send.
class SendBuffer {
 public:
  static constexpr std::size_t kBlockSize = 1514;

  void append(std::string_view data);
  // True when nothing waits to be sent.
  bool empty() const {
    return blocks_.empty() || (blocks_.size() == 1 && blocks_[0].begin == blocks_[0].end);
  }
  // Bytes waiting.
  std::size_t size() const { return size_; }
  // Fills `vectors` with up to `maxVectors` pieces from the front, in order, for one
  // gathering write; returns how many were filled.
  int frontPieces(iovec* vectors, int maxVectors) const;
  // Drops `count` bytes from the front (at most size()).
  void consume(std::size_t count);
  std::size_t blockCount() const { return blocks_.size(); }
  void clear();

 private:
  struct Block {
    std::array<char, kBlockSize> bytes;
    std::size_t begin = 0;
    std::size_t end = 0;
  };
  std::deque<Block> blocks_;
  std::size_t size_ = 0;
};

}  // namespace varnook
