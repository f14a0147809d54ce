#include "viewer/articlerules.h"

namespace varnook {

DrawRules makeArticleRules() {
  DrawRules rules;
  rules.add(ColorRule(KeyDrawingType::dtBeginLineEnd));
  rules.add(ColorRule(KeyDrawingType::dtKeyShow));
  return rules;
}

std::vector<std::string> quotationEntries(Color level1, Color level2, Color level3, Color level4) {
  return {">>>>;$" + colorRuleText(level4), ">>>;$" + colorRuleText(level3),
          ">>;$" + colorRuleText(level2), ">;$" + colorRuleText(level1)};
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
