#pragma once

#include <string>

namespace varnook {

class Article;

// The "mailto:" link that stands in for a message file when no mail program takes them:
// "mailto:" + the author URL-encoded (blanks as "%20") + "?", then "subject=" + the
// subject (without any "Re: " or "Fw: ") when there is one, then "&body=" + the body with
// ">" before every line, each line ended by CR LF, when there is a body, everything
// URL-encoded with blanks as "%20", and characters beyond ASCII as the escaped bytes of
// their UTF-8 form (a text that is no UTF-8 read as Windows-1252). A link of 255
// characters or more is cut to 250 and "..." appended; the cut moves back before an escape
// ("%2") or the escapes of a UTF-8 character that it would split, so the link stays
// decodable.
std::string mailtoLink(const Article& article);

}  // namespace varnook
