#include "viewer/colorrule.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/asciicase.h"
#include "base/textfold.h"

namespace varnook {
namespace {

constexpr std::size_t kNotSearched = static_cast<std::size_t>(-2);
constexpr std::size_t npos = std::string_view::npos;

char upperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Keywords end at anything but "@", the capital and the small letters: digits and "_"
// end a word here, so "found" matches in "found2" and "(found)".
bool isKeywordChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 0x40 && u <= 0x5A) || (u >= 0x61 && u <= 0x7A);
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

// The colour part of an entry is whatever follows its last ";".
std::string_view colorPart(std::string_view line, std::size_t firstSemicolon) {
  const std::size_t last = line.rfind(';');
  if (last == npos || last < firstSemicolon) return {};
  return line.substr(last + 1);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void appendColorBytes(std::string& out, Color color) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((color >> (8 * i)) & 0xFF));
}

std::int32_t toPos(std::size_t offset) {
  return static_cast<std::int32_t>(offset);
}

}  // namespace

Color readColorText(std::string_view text, Color defaultColor) {
  static constexpr std::pair<std::string_view, Color> kNames[] = {
      {"BLACK", clBlack},   {"MAROON", clMaroon},   {"GREEN", clGreen}, {"OLIVE", clOlive},
      {"NAVY", clNavy},     {"PURPLE", clPurple},   {"TEAL", clTeal},   {"GRAY", clGray},
      {"SILVER", clSilver}, {"RED", clRed},         {"LIME", clLime},   {"YELLOW", clYellow},
      {"BLUE", clBlue},     {"FUCHSIA", clFuchsia}, {"AQUA", clAqua},   {"WHITE", clWhite},
  };
  const std::string_view trimmed = trimBlanks(text);
  if (trimmed.empty()) return defaultColor;
  std::string upper(trimmed.substr(0, 10));
  for (char& c : upper) c = upperAscii(c);
  for (const auto& [name, color] : kNames) {
    if (upper == name) return color;
  }

  if (const std::size_t hash = upper.find('#'); hash != npos) upper.erase(hash, 1);
  if (upper.find('$') == npos) upper.insert(0, 1, '$');
  // A number is "$" and one or more hexadecimal digits that fit in 32 bits.
  if (upper.size() < 2 || upper[0] != '$') return clWhite;
  std::uint64_t value = 0;
  for (std::size_t i = 1; i < upper.size(); ++i) {
    const int digit = hexDigit(upper[i]);
    if (digit < 0) return clWhite;
    value = value * 16 + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFu) return clWhite;
  }
  // Written red first; stored with red in the low byte.
  const auto rgb = static_cast<std::uint32_t>(value);
  return ((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) | ((rgb >> 16) & 0xFFu);
}

void ColorRule::setKeyDrawingType(KeyDrawingType type) {
  keyDrawingType_ = type;
  dirty_ = true;
}

void ColorRule::setKeywords(std::vector<std::string> lines) {
  keywords_ = std::move(lines);
  dirty_ = true;
}

void ColorRule::setFoldedKeywords(std::vector<std::string> words) {
  foldedKeywords_ = std::move(words);
}

void ColorRule::setKeyBegEndLst(std::vector<std::string> lines) {
  keyBegEndLst_ = std::move(lines);
  dirty_ = true;
}

void ColorRule::setKeyLineEndLst(std::vector<std::string> lines) {
  keyLineEndLst_ = std::move(lines);
  dirty_ = true;
}

void ColorRule::setKeyCase(bool on) {
  keyCase_ = on;
  dirty_ = true;
}

void ColorRule::setDefKeyColor(Color color) {
  defKeyColor_ = color;
  dirty_ = true;
}

bool ColorRule::prepare() {
  for (Entry& e : entries_) e = Entry{};
  parseBegEndList();
  keywordIndex_ = "*";
  keywordRefs_.clear();
  switch (keyDrawingType_) {
    case KeyDrawingType::dtKeyShow:
      parseKeywords();
      hasWork_ = !keywords_.empty();
      break;
    case KeyDrawingType::dtBeginLineEnd:
      for (Entry& e : entries_) e = Entry{};
      parseLineEndList();
      hasWork_ = !keyLineEndLst_.empty();
      break;
    case KeyDrawingType::dtBeginEnd:
      hasWork_ = !keyBegEndLst_.empty();
      break;
    case KeyDrawingType::dtEventDraw:
      hasWork_ = true;
      break;
  }
  dirty_ = false;
  return hasWork_;
}

void ColorRule::ensurePrepared() {
  if (dirty_) prepare();
}

void ColorRule::parseBegEndList() {
  const std::size_t n = std::min<std::size_t>(keyBegEndLst_.size(), kEntryCount);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view line = keyBegEndLst_[i];
    const std::size_t first = line.find(';');
    if (first == npos || first == 0) continue;  // the entry stays empty
    const std::size_t second = line.find(';', first + 1);
    Entry& e = entries_[i];
    e.beginKey = line.substr(0, std::min(first, kMaxKeyLength));
    const std::string_view end =
        second == npos ? line.substr(first + 1) : line.substr(first + 1, second - first - 1);
    e.endKey = end.substr(0, kMaxKeyLength);
    e.color =
        readColorText(second == npos ? std::string_view{} : colorPart(line, second), defKeyColor_);
  }
}

void ColorRule::parseLineEndList() {
  const std::size_t n = std::min<std::size_t>(keyLineEndLst_.size(), kEntryCount);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view line = keyLineEndLst_[i];
    Entry& e = entries_[i];
    e.color = defKeyColor_;
    if (line.starts_with(";;")) {
      e.beginKey = ";";
      e.color = readColorText(colorPart(line, 1), defKeyColor_);
      continue;
    }
    const std::size_t first = line.find(';');
    if (first == npos || first == 0) {
      // No colour: the whole line is the key.
      e.beginKey = line.substr(0, kMaxKeyLength);
      continue;
    }
    e.beginKey = line.substr(0, std::min(first, kMaxKeyLength));
    e.color = readColorText(colorPart(line, first), defKeyColor_);
  }
}

void ColorRule::parseKeywords() {
  for (const std::string& lineText : keywords_) {
    const std::string_view line = lineText;
    if (trimBlanks(line).empty()) continue;
    const std::size_t semicolon = line.find(';');
    const std::string_view keyword = semicolon == npos ? line : line.substr(0, semicolon);
    if (trimBlanks(keyword).empty()) continue;
    const Color color = readColorText(
        semicolon == npos ? std::string_view{} : colorPart(line, semicolon), defKeyColor_);
    const std::string_view matched = keyword.substr(0, kMaxKeywordLength);
    KeywordRef ref{static_cast<std::uint32_t>(keywordIndex_.size()),
                   static_cast<std::uint32_t>(matched.size()), color};
    for (char c : matched) keywordIndex_.push_back(keyCase_ ? c : upperAscii(c));
    keywordIndex_ += "*+";
    appendColorBytes(keywordIndex_, color);
    keywordIndex_.push_back('*');
    keywordRefs_.push_back(ref);
  }
}

int ColorRule::usedEntries() const {
  int n = 0;
  while (n < kEntryCount && !entries_[static_cast<std::size_t>(n)].beginKey.empty()) ++n;
  return n;
}

void ColorRule::findSpans(std::string_view text, std::size_t from, KeyDescrList& spans,
                          DrawEventSource* events) {
  if (!enabled_ || from > text.size()) return;
  ensurePrepared();
  switch (keyDrawingType_) {
    case KeyDrawingType::dtKeyShow:
      findKeywords(text, from, spans);
      findFoldedKeywords(text, from, spans);
      break;
    case KeyDrawingType::dtBeginEnd:
      findBeginEnd(text, from, spans);
      break;
    case KeyDrawingType::dtBeginLineEnd:
      findBeginLineEnd(text, from, spans);
      break;
    case KeyDrawingType::dtEventDraw:
      findEventSpans(text, from, spans, events);
      break;
  }
}

void ColorRule::findKeywords(std::string_view text, std::size_t from, KeyDescrList& spans) {
  if (keywordIndex_.size() < 3 || keywordRefs_.empty()) return;
  std::string_view searched = text.substr(from);
  if (!keyCase_) {
    if (upperBuffer_.size() < searched.size()) upperBuffer_.resize(searched.size());
    for (std::size_t i = 0; i < searched.size(); ++i) upperBuffer_[i] = upperAscii(searched[i]);
    searched = std::string_view(upperBuffer_.data(), searched.size());
  }
  for (const KeywordRef& ref : keywordRefs_) {
    const std::string_view keyword(keywordIndex_.data() + ref.offset, ref.length);
    std::size_t at = searched.find(keyword);
    while (at != npos) {
      const std::size_t after = at + keyword.size();
      const bool counted =
          partWord_ || ((at == 0 || !isKeywordChar(searched[at - 1])) &&
                        (after >= searched.size() || !isKeywordChar(searched[after])));
      if (counted) {
        spans.push_back({toPos(from + at), toPos(from + after - 1), ref.color, zOrder_, true});
      }
      // Occurrences of one keyword never overlap: go on behind this one.
      at = searched.find(keyword, after);
    }
  }
}

void ColorRule::findFoldedKeywords(std::string_view text, std::size_t from, KeyDescrList& spans) {
  if (foldedKeywords_.empty()) return;
  const auto isWordByte = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  };
  // A word that is a keyword as typed is the exact rules' business.
  const auto isKeyword = [&](std::string_view word) {
    return std::any_of(keywordRefs_.begin(), keywordRefs_.end(), [&](const KeywordRef& ref) {
      const std::string_view keyword(keywordIndex_.data() + ref.offset, ref.length);
      return keyCase_ ? word == keyword : equalsNoCase(word, keyword);
    });
  };
  std::size_t i = from;
  while (i < text.size()) {
    if (!isWordByte(text[i])) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < text.size() && isWordByte(text[i])) ++i;
    const std::string_view word = text.substr(start, i - start);
    if (isKeyword(word)) continue;
    const std::string folded = foldText(word);
    if (std::find(foldedKeywords_.begin(), foldedKeywords_.end(), folded) != foldedKeywords_.end())
      spans.push_back({toPos(start), toPos(i - 1), defKeyColor_, zOrder_, true});
  }
}

int ColorRule::nextEntry(std::string_view text, std::size_t pos, int used, std::size_t& best) {
  best = npos;
  int chosen = -1;
  for (int i = 0; i < used; ++i) {
    const auto ui = static_cast<std::size_t>(i);
    std::size_t& hit = nextHit_[ui];
    if (hit == kNotSearched || (hit != npos && hit < pos))
      hit = text.find(entries_[ui].beginKey, pos);
    if (hit < best) {  // strictly less: the earlier entry wins at equal places
      best = hit;
      chosen = i;
    }
  }
  return chosen;
}

void ColorRule::findBeginEnd(std::string_view text, std::size_t from, KeyDescrList& spans) {
  const int used = usedEntries();
  if (used == 0) return;
  nextHit_.fill(kNotSearched);
  std::size_t pos = from;
  while (pos <= text.size()) {
    std::size_t best = npos;
    const int chosen = nextEntry(text, pos, used, best);
    if (chosen < 0) return;
    const Entry& e = entries_[static_cast<std::size_t>(chosen)];
    // An entry without an end key cannot close its span.
    if (e.endKey.empty()) return;
    const std::size_t end = text.find(e.endKey, best + 1);
    if (end == npos) return;
    spans.push_back({toPos(best), toPos(end + e.endKey.size() - 1), e.color, zOrder_, false});
    pos = end + 1;
  }
}

void ColorRule::findBeginLineEnd(std::string_view text, std::size_t from, KeyDescrList& spans) {
  const int used = usedEntries();
  if (used == 0) return;
  nextHit_.fill(kNotSearched);
  std::size_t pos = from;
  while (pos < text.size()) {
    std::size_t best = npos;
    const int chosen = nextEntry(text, pos, used, best);
    if (chosen < 0) return;
    const Entry& e = entries_[static_cast<std::size_t>(chosen)];
    // The line ends at its LF; a CR before the LF belongs to the line end, not the span.
    const std::size_t lf = text.find('\n', best + 1);
    std::size_t lineEnd = lf == npos ? text.size() : lf;
    if (lf != npos && lf > best + 1 && text[lf - 1] == '\r') --lineEnd;
    const std::size_t last = std::max(lineEnd, best + 1) - 1;
    spans.push_back({toPos(best), toPos(last), e.color, zOrder_, false});
    if (lf == npos) return;
    pos = lf + 1;
  }
}

void ColorRule::findEventSpans(std::string_view text, std::size_t from, KeyDescrList& spans,
                               DrawEventSource* events) {
  if (events == nullptr || !events->onDraw || events->colorLimMax <= 0) return;
  std::vector<KeyDescr>& buffer = events->buffer;
  const auto capacity = static_cast<std::size_t>(events->colorLimMax);
  if (buffer.size() < capacity) buffer.resize(capacity);
  std::fill_n(buffer.begin(), capacity, KeyDescr{});
  int count = 0;
  events->onDraw(*this, text.substr(from), std::span<KeyDescr>(buffer.data(), capacity), count);
  count = std::clamp(count, 0, events->colorLimMax);
  const auto limit = static_cast<std::int64_t>(text.size()) - static_cast<std::int64_t>(from);
  for (int i = 0; i < count; ++i) {
    const KeyDescr& r = buffer[static_cast<std::size_t>(i)];
    if (r.startPos < 0 || r.endPos < r.startPos || r.startPos >= limit) continue;
    const std::int64_t end = std::min<std::int64_t>(r.endPos, limit - 1);
    spans.push_back({toPos(from + static_cast<std::size_t>(r.startPos)),
                     toPos(from + static_cast<std::size_t>(end)), r.color,
                     r.zOrder != 0 ? r.zOrder : zOrder_, false});
  }
}

}  // namespace varnook
