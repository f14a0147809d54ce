#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "viewer/colorrule.h"

namespace varnook {

// The ordered colour rules of one view. A value: copying copies every rule.
class DrawRules {
 public:
  std::size_t size() const { return rules_.size(); }
  bool empty() const { return rules_.empty(); }
  ColorRule& operator[](std::size_t i) { return rules_[i]; }
  const ColorRule& operator[](std::size_t i) const { return rules_[i]; }
  auto begin() { return rules_.begin(); }
  auto end() { return rules_.end(); }
  auto begin() const { return rules_.begin(); }
  auto end() const { return rules_.end(); }

  // Appends a rule and returns it; the reference lives until the collection changes size.
  ColorRule& add(ColorRule rule = {});
  void clear() { rules_.clear(); }

  // Prepares every rule, so that lists changed since the last search are in force.
  void prepare();

  // How many lines above the first visible line the searches start: the first rule's
  // keyMaxHeight - 1, never negative; 0 without rules.
  std::int32_t linesAboveFirstVisible() const;

  // Every enabled rule, in order, appends its spans (see ColorRule::findSpans).
  void findSpans(std::string_view text, std::size_t from, KeyDescrList& spans,
                 DrawEventSource* events = nullptr);

 private:
  std::vector<ColorRule> rules_;
};

}  // namespace varnook
