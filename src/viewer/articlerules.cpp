#include "viewer/articlerules.h"

#include <cstdio>

namespace varnook {
namespace {

// Six hex digits, red first: the colour's low and third bytes change places.
std::string ruleText(Color color) {
  const Color swapped = (color & 0xFF00FF00u) | ((color & 0xFFu) << 16) | ((color >> 16) & 0xFFu);
  char text[16];
  std::snprintf(text, sizeof text, "%6.6X", static_cast<unsigned>(swapped));
  return text;
}

}  // namespace

DrawRules makeArticleRules() {
  DrawRules rules;
  rules.add(ColorRule(KeyDrawingType::dtBeginLineEnd));
  rules.add(ColorRule(KeyDrawingType::dtKeyShow));
  return rules;
}

std::vector<std::string> quotationEntries(Color level1, Color level2, Color level3, Color level4) {
  return {">>>>;$" + ruleText(level4), ">>>;$" + ruleText(level3), ">>;$" + ruleText(level2),
          ">;$" + ruleText(level1)};
}

void applyArticleOptions(const VnkOptions& options, DrawRules& rules, HotSpot& hotSpot) {
  if (rules.size() < 2) rules = makeArticleRules();
  rules[1].setDefKeyColor(options.highLightKW ? options.keywordColor : options.articleFont.color);
  hotSpot.active = options.highLightLinks;
  hotSpot.underlined = options.underlineLink;
  hotSpot.color = options.linkColor;
  if (options.highLightQuotes) {
    rules[0].setKeyLineEndLst(
        quotationEntries(options.colorG, options.colorGG, options.colorGGG, options.colorGGGG));
  } else {
    rules[0].setKeyLineEndLst({});
  }
}

}  // namespace varnook
