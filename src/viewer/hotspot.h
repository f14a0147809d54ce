#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "settings/color.h"

namespace varnook {

// How the view shows links that the link marker wrapped in the begin and end characters.
struct HotSpot {
  char beginChar = '\x1E';
  char endChar = '\x1F';
  Color color = clBlue;          // link text
  Color markerColor = clWindow;  // text and background of the two marker characters
  bool active = false;           // links are painted, tracked and clickable
  bool underlined = true;

  bool operator==(const HotSpot&) const = default;
};

// Whether the byte at `pos` of `line` (one line of the view, without its line end) lies on
// a link: the rest of the line from `pos` holds an end character and no begin character
// comes before it (or the two characters are the same).
bool isOnHotSpot(std::string_view line, std::size_t pos, char beginChar, char endChar);

// The text of the link under the byte at `pos` of `line`: from behind the last begin
// character before `pos` (or the line's start) up to the first end character from `pos`
// on. Nothing when `pos` is not on a link.
std::optional<std::string> hotSpotTextAt(std::string_view line, std::size_t pos, char beginChar,
                                         char endChar);

// `text` without the bytes 0x1E and 0x1F that the article view's link markers use; for
// copying a selection to the clipboard.
std::string withoutLinkMarkers(std::string_view text);

}  // namespace varnook
