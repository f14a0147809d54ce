#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/color.h"
#include "viewer/keydescr.h"

namespace varnook {

enum class KeyDrawingType {
  dtKeyShow,       // whole keywords of `keywords`
  dtEventDraw,     // whatever the view's draw handler reports
  dtBeginEnd,      // from a begin key to an end key (`keyBegEndLst`)
  dtBeginLineEnd,  // from a key to the end of its line (`keyLineEndLst`)
};

// Reads the colour part of a rule entry: a colour name ("red", " Navy "), or a hexadecimal
// number written red-green-blue ("$00F000", "#0000FF", "00F000"). Empty or blank text gives
// `defaultColor`; anything else that is not a number gives white. Never fails.
Color readColorText(std::string_view text, Color defaultColor);

class ColorRule;

// Span source of dtEventDraw rules. The handler gets the rule being searched, the text from
// the scan start up to the end of the visible text, and a buffer of records; it fills at
// most `buffer.size()` of them, with offsets relative to the start of `fromPos`, and sets
// `itemsCount`. Counts outside 0..buffer.size() are clamped; records with a negative start
// or an end before their start are dropped.
using DrawEvent = std::function<void(const ColorRule& sender, std::string_view fromPos,
                                     std::span<KeyDescr> buffer, int& itemsCount)>;

// What a dtEventDraw rule needs from the view: its handler, the handler's buffer capacity
// in records (0 means no buffer: the rule finds nothing) and the buffer itself, which the
// search clears before each call and which only grows.
struct DrawEventSource {
  DrawEvent onDraw;
  int colorLimMax = 0;
  std::vector<KeyDescr> buffer;
};

// One colouring rule of the article view: what to look for and in which colour. A rule is
// a value; copying one copies all of its settings and lists. The prepared tables are
// rebuilt from the lists when a setter has changed them, at the next search.
class ColorRule {
 public:
  static constexpr int kEntryCount = 40;                // lines read from the key lists
  static constexpr std::size_t kMaxKeyLength = 6;       // begin and end keys are cut to this
  static constexpr std::size_t kMaxKeywordLength = 30;  // keywords match on this many bytes

  ColorRule() = default;
  explicit ColorRule(KeyDrawingType type) : keyDrawingType_(type) {}

  KeyDrawingType keyDrawingType() const { return keyDrawingType_; }
  void setKeyDrawingType(KeyDrawingType type);
  // dtKeyShow: one keyword per line, optionally followed by ";" and a colour text.
  const std::vector<std::string>& keywords() const { return keywords_; }
  void setKeywords(std::vector<std::string> lines);
  // dtKeyShow: folded words (foldedQueryWords) also marked where a word of the text folds
  // to one of them ("muller" marks "Müller"), in the default colour. Words that match a
  // keyword exactly are left to the keyword list's own rules.
  const std::vector<std::string>& foldedKeywords() const { return foldedKeywords_; }
  void setFoldedKeywords(std::vector<std::string> words);
  // dtBeginEnd: "begin;end;colour" lines.
  const std::vector<std::string>& keyBegEndLst() const { return keyBegEndLst_; }
  void setKeyBegEndLst(std::vector<std::string> lines);
  // dtBeginLineEnd: "key;colour" lines.
  const std::vector<std::string>& keyLineEndLst() const { return keyLineEndLst_; }
  void setKeyLineEndLst(std::vector<std::string> lines);
  bool keyCase() const { return keyCase_; }
  void setKeyCase(bool on);
  bool partWord() const { return partWord_; }
  void setPartWord(bool on) { partWord_ = on; }
  bool enabled() const { return enabled_; }
  void setEnabled(bool on) { enabled_ = on; }
  Color defKeyColor() const { return defKeyColor_; }
  void setDefKeyColor(Color color);
  std::uint8_t zOrder() const { return zOrder_; }
  void setZOrder(std::uint8_t z) { zOrder_ = z; }
  // Greatest height of a span in lines; the view reads it from its first rule only.
  std::int32_t keyMaxHeight() const { return keyMaxHeight_; }
  void setKeyMaxHeight(std::int32_t lines) { keyMaxHeight_ = lines; }

  // Rebuilds the entry table and the keyword index from the lists. Returns whether the
  // list of the rule's kind has at least one line (dtEventDraw rules always qualify).
  bool prepare();

  // Appends to `spans` the spans of this rule in `text` from `from` on. The caller has cut
  // `text` at the end of the visible area, so nothing beyond it is searched; it must be
  // shorter than 2^31 bytes. A disabled rule finds nothing; dtEventDraw rules need
  // `events` with a handler and a capacity.
  void findSpans(std::string_view text, std::size_t from, KeyDescrList& spans,
                 DrawEventSource* events = nullptr);

  // The keyword index: "*", then per keyword the keyword (upper-cased unless keyCase),
  // "*+", its colour's four bytes (low byte first) and "*". Valid after prepare().
  const std::string& keywordIndex() const { return keywordIndex_; }

  // One prepared entry of the table (begin and end keys, colour). Valid after prepare().
  struct Entry {
    std::string beginKey;
    std::string endKey;
    Color color = 0;
  };
  const std::array<Entry, kEntryCount>& entries() const { return entries_; }

 private:
  struct KeywordRef {
    std::uint32_t offset;  // in keywordIndex_
    std::uint32_t length;  // bytes matched (at most kMaxKeywordLength)
    Color color;
  };

  void ensurePrepared();
  void parseBegEndList();
  void parseLineEndList();
  void parseKeywords();
  void findKeywords(std::string_view text, std::size_t from, KeyDescrList& spans);
  void findFoldedKeywords(std::string_view text, std::size_t from, KeyDescrList& spans);
  void findBeginEnd(std::string_view text, std::size_t from, KeyDescrList& spans);
  void findBeginLineEnd(std::string_view text, std::size_t from, KeyDescrList& spans);
  void findEventSpans(std::string_view text, std::size_t from, KeyDescrList& spans,
                      DrawEventSource* events);
  // Number of leading entries with a begin key: the search stops at the first empty one.
  int usedEntries() const;
  // The first of the `used` entries whose begin key occurs next from `pos` (the earlier
  // entry at equal places), with that place in `best`; -1 when none occurs.
  int nextEntry(std::string_view text, std::size_t pos, int used, std::size_t& best);

  KeyDrawingType keyDrawingType_ = KeyDrawingType::dtBeginEnd;
  std::vector<std::string> keywords_;
  std::vector<std::string> foldedKeywords_;
  std::vector<std::string> keyBegEndLst_;
  std::vector<std::string> keyLineEndLst_;
  bool keyCase_ = false;
  bool partWord_ = false;
  bool enabled_ = true;
  Color defKeyColor_ = clRed;
  std::uint8_t zOrder_ = 0;
  std::int32_t keyMaxHeight_ = 1;

  // Prepared state, rebuilt from the lists.
  bool dirty_ = true;
  bool hasWork_ = false;
  std::array<Entry, kEntryCount> entries_;
  std::array<std::size_t, kEntryCount> nextHit_{};  // scratch: next occurrence per entry
  std::string keywordIndex_;
  std::vector<KeywordRef> keywordRefs_;
  std::string upperBuffer_;  // upper-case copy of the searched text; only grows
};

}  // namespace varnook
