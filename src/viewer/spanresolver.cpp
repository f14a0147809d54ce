#include "viewer/spanresolver.h"

#include <algorithm>

namespace varnook {

void SpanResolver::addSpan(std::size_t first, std::size_t last, Color color, std::uint8_t zOrder) {
  spans_.push_back(
      {static_cast<std::int32_t>(first), static_cast<std::int32_t>(last), color, zOrder, false});
}

void SpanResolver::collectLinks(std::string_view text, const HotSpot& hotSpot, std::size_t from) {
  std::size_t pos = from;
  while (pos < text.size()) {
    const std::size_t begin = text.find(hotSpot.beginChar, pos);
    if (begin == std::string_view::npos) return;
    addSpan(begin, begin, hotSpot.markerColor, kMarkerZOrder);
    const std::size_t end = text.find(hotSpot.endChar, begin + 1);
    // A lone begin character still gets its marker colour.
    if (end == std::string_view::npos) return;
    if (end > begin + 1) addSpan(begin + 1, end - 1, hotSpot.color, kLinkZOrder);
    addSpan(end, end, hotSpot.markerColor, kMarkerZOrder);
    pos = end + 1;
  }
}

void SpanResolver::collectTabs(std::string_view text, std::size_t from) {
  for (std::size_t tab = text.find('\t', from); tab != std::string_view::npos;
       tab = text.find('\t', tab + 1)) {
    addSpan(tab, tab, 0, kTabZOrder);
  }
}

const KeyDescrList& SpanResolver::resolve(std::string_view text, DrawRules& rules,
                                          const HotSpot& hotSpot, const ViewWindow& window,
                                          DrawEventSource* events) {
  spans_.clear();
  runs_.clear();
  extentStart_ = -1;
  extentEnd_ = -1;
  const std::size_t visibleEnd = std::min(window.visibleEnd, text.size());
  const std::size_t scanStart = std::min(window.scanStart, visibleEnd);
  // Nothing beyond the visible end is searched.
  const std::string_view visible = text.substr(0, visibleEnd);

  if (hotSpot.active && hotSpot.beginChar != 0) collectLinks(visible, hotSpot, scanStart);
  if (window.wantTabs) collectTabs(visible, scanStart);
  const std::size_t caret = std::min(window.caret, visibleEnd);
  if (window.redrawAlways && caret > window.caretLineStart) {
    addSpan(window.caretLineStart, caret - 1, window.fontColor, 0);
  }
  rules.findSpans(visible, scanStart, spans_, events);
  const std::size_t selectionStart = std::min(window.selectionStart, text.size());
  const std::size_t selectionEnd =
      selectionStart + std::min(window.selectionLength, text.size() - selectionStart);
  if (selectionEnd > selectionStart) {
    addSpan(selectionStart, selectionEnd - 1, 0, kSelectionZOrder);
  }
  for (const KeyDescr& span : spans_) {
    if (extentStart_ < 0 || span.startPos < extentStart_) extentStart_ = span.startPos;
    if (span.endPos > extentEnd_) extentEnd_ = span.endPos;
  }
  if (!spans_.empty()) resolveCells(scanStart, visibleEnd);
  return runs_;
}

void SpanResolver::resolveCells(std::size_t windowStart, std::size_t windowEnd) {
  // The cell map covers the coloured extent, clipped to the window.
  const auto lo = std::max<std::int64_t>(extentStart_, static_cast<std::int64_t>(windowStart));
  const auto hi = std::min<std::int64_t>(extentEnd_, static_cast<std::int64_t>(windowEnd) - 1);
  if (hi < lo) return;
  const auto count = static_cast<std::size_t>(hi - lo + 1);
  if (cells_.size() < count) cells_.resize(count);
  std::fill_n(cells_.begin(), count, Cell{});

  for (const KeyDescr& span : spans_) {
    const std::int64_t first = std::max<std::int64_t>(span.startPos, lo);
    const std::int64_t last = std::min<std::int64_t>(span.endPos, hi);
    for (std::int64_t i = first; i <= last; ++i) {
      Cell& cell = cells_[static_cast<std::size_t>(i - lo)];
      if (!cell.set || cell.zOrder <= span.zOrder) {
        cell = Cell{span.color, span.zOrder, span.isKeyword, true, 0};
      }
    }
  }

  std::size_t i = 0;
  while (i < count) {
    const Cell& cell = cells_[i];
    if (!cell.set) {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < count && cells_[j].set && cells_[j].color == cell.color &&
           cells_[j].zOrder == cell.zOrder && cells_[j].isKeyword == cell.isKeyword) {
      ++j;
    }
    runs_.push_back({static_cast<std::int32_t>(lo + static_cast<std::int64_t>(i)),
                     static_cast<std::int32_t>(lo + static_cast<std::int64_t>(j) - 1), cell.color,
                     cell.zOrder, cell.isKeyword});
    i = j;
  }
}

}  // namespace varnook
