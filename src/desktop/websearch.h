#pragma once

#include <string>
#include <string_view>

#include "base/xdgdirs.h"

namespace varnook {

// The query URL of the web search engine up to the search text; with "%s" after it, the
// template a missing or unusable one is replaced by.
inline constexpr std::string_view kBuiltInSearchPrefix = "https://duckduckgo.com/?q=";

// Where the template lives: "<config>/varnook/search", a one-line text file that the user
// may edit ("%s" stands for the search text, "%%" for a percent sign). Empty when there
// is no configuration folder.
std::string webSearchTemplateFile(const XdgDirs& dirs);

// The template kept in `fileName`: its first line. When the file is missing, unreadable,
// or its line holds no "%s" (in either letter case), the built-in template is used and
// written to the file (folder 0700, file 0600) so that the user can change it there; a
// failure to write is ignored.
std::string loadWebSearchTemplate(const std::string& fileName);

// The search URL: every "%s" of the template replaced by the text URL-encoded with blanks
// as "+", "%%" by "%"; any other percent sign stays as written.
std::string webSearchUrl(std::string_view searchTemplate, std::string_view text);

// Whether a template names the search text.
bool hasSearchPlaceholder(std::string_view searchTemplate);

}  // namespace varnook
