#pragma once

#include <string>
#include <vector>

#include "settings/color.h"
#include "settings/vnkoptions.h"
#include "viewer/drawrules.h"
#include "viewer/hotspot.h"

namespace varnook {

// The article view's two rules: rule 0 colours quoted lines by level (line-to-end
// entries), rule 1 colours the query's keywords. Both start with empty lists.
DrawRules makeArticleRules();

// The four quotation entries, longest prefix first: ">>>>;$" with the rule text of
// `level4`, then ">>>;$" with `level3`, ">>;$" with `level2` and ">;$" with `level1`.
std::vector<std::string> quotationEntries(Color level1, Color level2, Color level3, Color level4);

// Applies the viewer options to the article view's rules and link settings: rule 1's
// default colour is the keyword colour, or the font colour when keywords are not
// highlighted; the links follow highLightLinks, underlineLink and linkColor; rule 0 holds
// the quotation entries when quotes are highlighted, else none. `rules` that hold fewer
// than two rules are replaced by makeArticleRules() first. The font itself is the view's.
void applyArticleOptions(const VnkOptions& options, DrawRules& rules, HotSpot& hotSpot);

}  // namespace varnook
