#include "net/httpresponsereader.h"

#include <cstring>

namespace varnook {

void HttpResponseReader::reset() {
  input_ = {};
  carry_.clear();
  carryUsed_ = false;
  inDocument_ = false;
  headerBytes_ = 0;
  failure_ = Failure::None;
}

void HttpResponseReader::feed(std::string_view bytes) {
  input_ = bytes;
}

HttpResponseReader::Item HttpResponseReader::fail(Failure failure) {
  failure_ = failure;
  input_ = {};
  carry_.clear();
  carry_.shrink_to_fit();
  return Item::Bad;
}

HttpResponseReader::Item HttpResponseReader::next(std::string_view* out) {
  if (failure_ != Failure::None) return Item::Bad;
  if (inDocument_) {
    if (input_.empty()) return Item::NeedMore;
    *out = input_;
    input_ = {};
    return Item::DocumentData;
  }
  if (carryUsed_) {
    carry_.clear();
    carryUsed_ = false;
  }
  if (input_.empty()) return Item::NeedMore;

  const void* found = std::memchr(input_.data(), '\n', input_.size());
  if (found == nullptr) {
    // One more byte than the limit is allowed for the CR before the LF.
    if (carry_.size() + input_.size() > kMaxLineLength + 1) return fail(Failure::LineTooLong);
    headerBytes_ += input_.size();
    if (headerBytes_ > kMaxHeaderSize) return fail(Failure::HeaderTooLarge);
    carry_.append(input_);
    input_ = {};
    return Item::NeedMore;
  }
  const auto length = static_cast<std::size_t>(static_cast<const char*>(found) - input_.data());
  const std::string_view segment = input_.substr(0, length);
  input_.remove_prefix(length + 1);
  headerBytes_ += length + 1;
  if (carry_.size() + segment.size() > kMaxLineLength + 1) return fail(Failure::LineTooLong);
  if (headerBytes_ > kMaxHeaderSize) return fail(Failure::HeaderTooLarge);

  std::string_view line = segment;
  if (!carry_.empty()) {
    carry_.append(segment);
    carryUsed_ = true;
    line = carry_;
  }
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() > kMaxLineLength) return fail(Failure::LineTooLong);
  if (line.empty()) {
    inDocument_ = true;
    return Item::HeaderEnd;
  }
  *out = line;
  return Item::HeaderLine;
}

StatusLineKind parseStatusLine(std::string_view line, int* code, std::string_view* reason) {
  const std::string_view version = line.substr(0, 8);
  if (version != "HTTP/1.0" && version != "HTTP/1.1") return StatusLineKind::NotStatusLine;
  if (line.size() < 12) return StatusLineKind::Malformed;
  int value = 0;
  for (std::size_t i = 9; i < 12; ++i) {
    if (line[i] < '0' || line[i] > '9') return StatusLineKind::Malformed;
    value = value * 10 + (line[i] - '0');
  }
  *code = value;
  *reason = line.size() > 13 ? line.substr(13) : std::string_view();
  return StatusLineKind::Valid;
}

bool splitHeaderField(std::string_view line, std::string* lowerName, std::string_view* value) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  lowerName->assign(line.substr(0, colon));
  for (char& c : *lowerName) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  *value = colon + 2 <= line.size() ? line.substr(colon + 2) : std::string_view();
  return true;
}

long long parseContentLength(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  if (i == value.size() || value[i] < '0' || value[i] > '9') return -1;
  long long number = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    if (number > (1LL << 52)) return -1;
    number = number * 10 + (value[i] - '0');
  }
  return number;
}

}  // namespace varnook
