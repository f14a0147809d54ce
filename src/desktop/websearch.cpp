#include "desktop/websearch.h"

#include "archive/encoding.h"
#include "base/privatefolder.h"
#include "base/wholefile.h"

namespace varnook {

std::string webSearchTemplateFile(const XdgDirs& dirs) {
  const std::string folder = dirs.programConfigFolder();
  return folder.empty() ? std::string() : folder + "/search";
}

bool hasSearchPlaceholder(std::string_view searchTemplate) {
  for (std::size_t i = 0; i + 1 < searchTemplate.size(); ++i) {
    if (searchTemplate[i] != '%') continue;
    const char next = searchTemplate[i + 1];
    if (next == 's' || next == 'S') return true;
    if (next == '%') ++i;  // "%%s" is a percent sign and an "s"
  }
  return false;
}

std::string loadWebSearchTemplate(const std::string& fileName) {
  if (!fileName.empty()) {
    if (auto bytes = smallFileBytes(fileName, 64 * 1024)) {
      std::string line = bytes->substr(0, bytes->find_first_of("\r\n"));
      if (hasSearchPlaceholder(line)) return line;
    }
  }
  std::string builtIn = std::string(kBuiltInSearchPrefix) + "%s";
  if (!fileName.empty()) {
    const std::size_t slash = fileName.rfind('/');
    if (slash != std::string::npos && slash > 0) createPrivateFolder(fileName.substr(0, slash));
    writeWholeFile(fileName, builtIn + "\n", FileAccess::OwnerOnly);
  }
  return builtIn;
}

std::string webSearchUrl(std::string_view searchTemplate, std::string_view text) {
  const std::string encoded = urlEncode(text, true);
  std::string url;
  url.reserve(searchTemplate.size() + encoded.size());
  for (std::size_t i = 0; i < searchTemplate.size(); ++i) {
    const char c = searchTemplate[i];
    if (c == '%' && i + 1 < searchTemplate.size()) {
      const char next = searchTemplate[i + 1];
      if (next == 's' || next == 'S') {
        url += encoded;
        ++i;
        continue;
      }
      if (next == '%') {
        url += '%';
        ++i;
        continue;
      }
    }
    url += c;
  }
  return url;
}

}  // namespace varnook
