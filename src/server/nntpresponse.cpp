#include "server/nntpresponse.h"
#include "base/decimal.h"

#include <algorithm>

namespace varnook::server {
namespace {

constexpr std::size_t kMaxStatusLine = 4096;
// A block line with no line end yet is taken in pieces of this size, so one endless line
// cannot grow the buffer without bound.
constexpr std::size_t kLinePiece = 64 * 1024;

std::optional<std::uint64_t> parseNumber(std::string_view text) {
  return parseDecimal<std::uint64_t>(text);
}

// The words of a line separated by blanks or tabs.
std::string_view nextWord(std::string_view& text) {
  std::size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
  std::size_t end = start;
  while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
  const std::string_view word = text.substr(start, end - start);
  text.remove_prefix(end);
  return word;
}

bool isMessageId(std::string_view id) {
  return id.size() >= 3 && id.size() <= 250 && id.front() == '<' && id.back() == '>';
}

}  // namespace

void NntpResponseReader::clear() {
  buffer_.clear();
  position_ = 0;
  inBlock_ = false;
  atLineStart_ = true;
}

void NntpResponseReader::compact() {
  if (position_ > 0 && position_ >= buffer_.size() / 2) {
    buffer_.erase(0, position_);
    position_ = 0;
  }
}

NntpResponseReader::Result NntpResponseReader::readStatus(NntpStatus& status) {
  const std::size_t newline = buffer_.find('\n', position_);
  if (newline == std::string::npos)
    return pending() > kMaxStatusLine ? Result::Bad : Result::NeedMore;
  std::string_view line(buffer_.data() + position_, newline - position_);
  if (line.size() > kMaxStatusLine) return Result::Bad;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() < 3 || line[0] < '1' || line[0] > '5' || line[1] < '0' || line[1] > '9' ||
      line[2] < '0' || line[2] > '9' || (line.size() > 3 && line[3] != ' '))
    return Result::Bad;
  status.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
  status.text = std::string(line.substr(std::min<std::size_t>(4, line.size())));
  position_ = newline + 1;
  compact();
  return Result::Done;
}

NntpResponseReader::Result NntpResponseReader::readBlock(std::string& out, bool& oversized,
                                                         std::size_t limit) {
  if (!inBlock_) {
    inBlock_ = true;
    atLineStart_ = true;
    out.clear();
    oversized = false;
  }
  auto keep = [&](std::string_view piece) {
    const std::size_t room = limit - std::min(limit, out.size());
    if (piece.size() > room) oversized = true;
    out.append(piece.substr(0, room));
  };
  for (;;) {
    const std::size_t newline = buffer_.find('\n', position_);
    std::string_view line(buffer_.data() + position_,
                          (newline == std::string::npos ? buffer_.size() : newline) - position_);
    if (newline == std::string::npos) {
      // Part of a long line: take it, keeping a possible CR and the two bytes that decide
      // a leading dot for later.
      if (line.size() < kLinePiece) {
        compact();
        return Result::NeedMore;
      }
      std::string_view piece = line.substr(0, line.size() - 1);
      if (atLineStart_ && piece.front() == '.') piece.remove_prefix(1);
      keep(piece);
      position_ += line.size() - 1;
      atLineStart_ = false;
      continue;
    }
    position_ = newline + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (atLineStart_ && line == ".") {
      inBlock_ = false;
      compact();
      return Result::Done;
    }
    if (atLineStart_ && !line.empty() && line.front() == '.') line.remove_prefix(1);
    keep(line);
    keep("\n");
    atLineStart_ = true;
  }
}

std::optional<GroupRange> parseGroupStatus(std::string_view text) {
  GroupRange range;
  const auto count = parseNumber(nextWord(text));
  const auto low = parseNumber(nextWord(text));
  const auto high = parseNumber(nextWord(text));
  if (!count || !low || !high) return std::nullopt;
  range.count = *count;
  range.low = *low;
  range.high = *high;
  return range;
}

std::optional<ActiveGroup> parseActiveLine(std::string_view line) {
  ActiveGroup group;
  group.name = std::string(nextWord(line));
  const auto high = parseNumber(nextWord(line));
  const auto low = parseNumber(nextWord(line));
  if (group.name.empty() || !high || !low) return std::nullopt;
  group.high = *high;
  group.low = *low;
  return group;
}

std::optional<OverviewEntry> parseOverviewLine(std::string_view line) {
  std::string_view fields[5];
  for (std::string_view& field : fields) {
    const std::size_t tab = line.find('\t');
    field = line.substr(0, tab);
    line = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
  }
  const auto number = parseNumber(fields[0]);
  std::string_view id = fields[4];
  while (!id.empty() && id.front() == ' ') id.remove_prefix(1);
  while (!id.empty() && id.back() == ' ') id.remove_suffix(1);
  if (!number) return std::nullopt;
  return OverviewEntry{*number, isMessageId(id) ? std::string(id) : std::string()};
}

std::optional<OverviewEntry> parseStatStatus(std::string_view text) {
  const auto number = parseNumber(nextWord(text));
  const std::string_view id = nextWord(text);
  if (!number || !isMessageId(id)) return std::nullopt;
  return OverviewEntry{*number, std::string(id)};
}

}  // namespace varnook::server
