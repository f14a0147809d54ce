#include "viewer/drawrules.h"

#include <utility>

namespace varnook {

ColorRule& DrawRules::add(ColorRule rule) {
  rules_.push_back(std::move(rule));
  return rules_.back();
}

void DrawRules::prepare() {
  for (ColorRule& rule : rules_) rule.prepare();
}

std::int32_t DrawRules::linesAboveFirstVisible() const {
  if (rules_.empty()) return 0;
  const std::int32_t height = rules_.front().keyMaxHeight();
  return height > 1 ? height - 1 : 0;
}

void DrawRules::findSpans(std::string_view text, std::size_t from, KeyDescrList& spans,
                          DrawEventSource* events) {
  for (ColorRule& rule : rules_) rule.findSpans(text, from, spans, events);
}

}  // namespace varnook
