#include "net/chunkeddecoder.h"

#include <algorithm>
#include <cstring>

namespace varnook {

void ChunkedDecoder::reset() {
  input_ = {};
  carry_.clear();
  line_.clear();
  stage_ = Stage::SizeLine;
  remaining_ = 0;
  trailerBytes_ = 0;
}

void ChunkedDecoder::feed(std::string_view bytes) {
  input_ = stage_ == Stage::Done ? std::string_view() : bytes;
}

ChunkedDecoder::Item ChunkedDecoder::fail() {
  stage_ = Stage::Bad;
  input_ = {};
  carry_.clear();
  carry_.shrink_to_fit();
  return Item::Bad;
}

bool ChunkedDecoder::takeLine(std::string_view* line) {
  const void* found = input_.empty() ? nullptr : std::memchr(input_.data(), '\n', input_.size());
  // One more byte than the limit is allowed for the CR before the LF.
  if (found == nullptr) {
    if (carry_.size() + input_.size() > kMaxLineLength + 1) {
      fail();
      return false;
    }
    carry_.append(input_);
    input_ = {};
    return false;
  }
  const auto length = static_cast<std::size_t>(static_cast<const char*>(found) - input_.data());
  if (carry_.size() + length > kMaxLineLength + 1) {
    fail();
    return false;
  }
  std::string_view text = input_.substr(0, length);
  input_.remove_prefix(length + 1);
  if (!carry_.empty()) {
    line_ = std::move(carry_);
    carry_.clear();
    line_.append(text);
    text = line_;
  }
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  *line = text;
  return true;
}

bool ChunkedDecoder::readSizeLine(std::string_view line) {
  std::size_t i = 0;
  std::uint64_t size = 0;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) break;
    size = size * 16 + static_cast<std::uint64_t>(digit);
    if (size > kMaxChunkSize) return false;
  }
  if (i == 0) return false;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i < line.size() && line[i] != ';') return false;  // only extensions may follow
  remaining_ = size;
  return true;
}

ChunkedDecoder::Item ChunkedDecoder::next(std::string_view* out) {
  for (;;) {
    std::string_view line;
    switch (stage_) {
      case Stage::Bad:
        return Item::Bad;
      case Stage::Done:
        return Item::NeedMore;
      case Stage::Data: {
        if (input_.empty()) return Item::NeedMore;
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, input_.size()));
        *out = input_.substr(0, take);
        input_.remove_prefix(take);
        remaining_ -= take;
        if (remaining_ == 0) stage_ = Stage::DataEnd;
        return Item::Data;
      }
      case Stage::SizeLine:
      case Stage::DataEnd:
      case Stage::Trailer:
        if (!takeLine(&line)) return stage_ == Stage::Bad ? Item::Bad : Item::NeedMore;
        break;
    }
    if (stage_ == Stage::DataEnd) {
      if (!line.empty()) return fail();
      stage_ = Stage::SizeLine;
    } else if (stage_ == Stage::SizeLine) {
      if (!readSizeLine(line)) return fail();
      stage_ = remaining_ == 0 ? Stage::Trailer : Stage::Data;
    } else {
      trailerBytes_ += line.size() + 2;
      if (trailerBytes_ > kMaxTrailerSize) return fail();
      if (line.empty()) {
        stage_ = Stage::Done;
        input_ = {};
        return Item::End;
      }
    }
  }
}

}  // namespace varnook
