#pragma once

#include <string>
#include <string_view>

namespace varnook {

// The forms in which another program offers a dragged URL, in the order the window prefers
// them.
enum class DropFormat {
  UriList,  // text/uri-list: lines of URLs, "#" lines are comments, CR LF line ends
  MozUrl,   // text/x-moz-url: UTF-16 (host byte order, or marked by a byte order mark),
            // the URL, a line break, the title
  PlainText,
};

// The URL text that a drop carries: the first URL of a URI list, the URL line of a
// Mozilla URL (as UTF-8), or the plain text; blanks and control characters are trimmed at
// both ends, and only the first line is taken. Empty when there is none. Never fails: any
// bytes give some text or none.
std::string droppedUrlText(DropFormat format, std::string_view bytes);

}  // namespace varnook
