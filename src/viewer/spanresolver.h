#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "viewer/drawrules.h"
#include "viewer/hotspot.h"
#include "viewer/keydescr.h"

namespace varnook {

// Fixed priorities of the view's own spans.
inline constexpr std::uint8_t kLinkZOrder = 252;
inline constexpr std::uint8_t kMarkerZOrder = 253;
inline constexpr std::uint8_t kSelectionZOrder = 254;  // not painted: the selection stays
inline constexpr std::uint8_t kTabZOrder = 255;        // not painted

// What the view knows at one repaint. Offsets are byte offsets into the view's text.
struct ViewWindow {
  std::size_t scanStart = 0;   // start of the line the searches begin on
  std::size_t visibleEnd = 0;  // nothing at or beyond this offset is searched or coloured
  std::size_t selectionStart = 0;
  std::size_t selectionLength = 0;
  bool wantTabs = false;      // tabs get unpainted spans
  bool redrawAlways = false;  // the caret's line up to the caret keeps the font colour
  std::size_t caretLineStart = 0;
  std::size_t caret = 0;
  Color fontColor = clWindowText;
};

// Decides the colours of the visible part of a view's text: collects the link, marker,
// tab, caret-line, rule and selection spans, resolves their overlaps in a cell map (the
// highest zOrder wins, and of equal ones the later span) and merges equal neighbouring
// cells into runs. The work is bounded by the window, never by the whole text: spans are
// clipped to [scanStart, visibleEnd). The buffers are kept and only grow.
class SpanResolver {
 public:
  // Computes the runs for `window` of `text` (shorter than 2^31 bytes), sorted by offset
  // and non-overlapping. The result stays valid until the next call.
  const KeyDescrList& resolve(std::string_view text, DrawRules& rules, const HotSpot& hotSpot,
                              const ViewWindow& window, DrawEventSource* events = nullptr);

  // The spans of the last call before resolution, in the order they were collected.
  const KeyDescrList& collectedSpans() const { return spans_; }
  // The lowest start and highest end among the collected spans; -1 when there were none.
  std::int32_t extentStart() const { return extentStart_; }
  std::int32_t extentEnd() const { return extentEnd_; }

 private:
  struct Cell {
    Color color;
    std::uint8_t zOrder;
    bool isKeyword;
    bool set;
    std::uint8_t unused;
  };

  void addSpan(std::size_t first, std::size_t last, Color color, std::uint8_t zOrder);
  void collectLinks(std::string_view text, const HotSpot& hotSpot, std::size_t from);
  void collectTabs(std::string_view text, std::size_t from);
  void resolveCells(std::size_t windowStart, std::size_t windowEnd);

  KeyDescrList spans_;
  KeyDescrList runs_;
  std::vector<Cell> cells_;
  std::int32_t extentStart_ = -1;
  std::int32_t extentEnd_ = -1;
};

}  // namespace varnook
