// Rule lists and article text from the input: rule parsing, the span searches of every
// kind and the overlap resolution. Spans stay inside the searched window and the runs are
// sorted and disjoint.
//
// Input: a flags byte, two window bytes, then rule lines up to a NUL, then the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/colorrule.h"
#include "viewer/spanresolver.h"
#include "viewer/textwords.h"

using namespace varnook;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t flags = data[0];
  const std::uint8_t startByte = data[1];
  const std::uint8_t endByte = data[2];
  std::string_view rest(reinterpret_cast<const char*>(data) + 3, size - 3);
  const std::size_t split = rest.find('\0');
  const std::string_view ruleText = split == std::string_view::npos ? rest : rest.substr(0, split);
  const std::string_view text =
      split == std::string_view::npos ? std::string_view{} : rest.substr(split + 1);

  std::vector<std::string> lines;
  for (std::size_t from = 0; from <= ruleText.size();) {
    std::size_t lf = ruleText.find('\n', from);
    if (lf == std::string_view::npos) lf = ruleText.size();
    lines.emplace_back(ruleText.substr(from, lf - from));
    readColorText(lines.back(), clRed);
    from = lf + 1;
  }

  DrawRules rules;
  ColorRule& keywords = rules.add(ColorRule(KeyDrawingType::dtKeyShow));
  keywords.setKeywords(lines);
  keywords.setFoldedKeywords(foldedQueryWords(ruleText));
  keywords.setKeyCase(flags & 1);
  keywords.setPartWord(flags & 2);
  rules.add(ColorRule(KeyDrawingType::dtBeginEnd)).setKeyBegEndLst(lines);
  rules.add(ColorRule(KeyDrawingType::dtBeginLineEnd)).setKeyLineEndLst(lines);
  rules.add(ColorRule(KeyDrawingType::dtEventDraw)).setZOrder(flags);
  if (flags & 4) rules[0].setZOrder(200);

  HotSpot hotSpot;
  hotSpot.active = flags & 8;
  if (flags & 16) {
    hotSpot.beginChar = '<';
    hotSpot.endChar = (flags & 32) ? '<' : '>';
  }
  ViewWindow window;
  window.scanStart = text.size() * startByte / 255;
  window.visibleEnd = window.scanStart + (text.size() - window.scanStart) * endByte / 255;
  window.selectionStart = text.size() * endByte / 511;
  window.selectionLength = startByte;
  window.wantTabs = flags & 64;
  window.redrawAlways = flags & 128;
  window.caretLineStart = window.scanStart;
  window.caret = window.visibleEnd;

  DrawEventSource events;
  events.colorLimMax = flags % 5;
  events.onDraw = [&](const ColorRule&, std::string_view from, std::span<KeyDescr> buffer,
                      int& count) {
    for (std::size_t i = 0; i < buffer.size(); ++i) {
      buffer[i] = {static_cast<std::int32_t>(i * 3) - 1, static_cast<std::int32_t>(from.size()),
                   clBlue, 0, false};
    }
    count = static_cast<int>(buffer.size()) + 1;
  };

  SpanResolver resolver;
  const KeyDescrList& runs = resolver.resolve(text, rules, hotSpot, window, &events);
  std::int64_t previousEnd = static_cast<std::int64_t>(window.scanStart) - 1;
  for (const KeyDescr& run : runs) {
    if (run.startPos <= previousEnd || run.endPos < run.startPos ||
        static_cast<std::size_t>(run.endPos) >= window.visibleEnd) {
      std::abort();
    }
    previousEnd = run.endPos;
  }
  // Only the selection may reach outside the window; everything searched stays inside.
  for (const KeyDescr& span : resolver.collectedSpans()) {
    if (span.endPos < span.startPos || static_cast<std::size_t>(span.endPos) >= text.size()) {
      std::abort();
    }
    if (span.zOrder != kSelectionZOrder &&
        (static_cast<std::size_t>(span.startPos) < window.scanStart ||
         static_cast<std::size_t>(span.endPos) >= window.visibleEnd)) {
      std::abort();
    }
  }
  return 0;
}
