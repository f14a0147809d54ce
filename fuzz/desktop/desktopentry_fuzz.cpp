// Key files from other programs: .desktop entries, mimeapps.list, and the Exec line
// expansion that turns them into a command line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "desktop/desktopentry.h"
#include "desktop/keyfile.h"
#include "desktop/mimeapps.h"
#include "desktop/websearch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view target = "http://h/a b\"c;$(x)";
  if (auto entry = varnook::parseDesktopEntry(bytes)) {
    if (auto argv = varnook::expandExec(*entry, target)) {
      // The target is never split: some argument holds it whole, or none does when Exec
      // used %f with a URL that is no file (then it stands as given).
      bool found = false;
      for (const auto& arg : *argv) found = found || arg.find(target) != std::string::npos;
      if (!found && entry->exec.find('%') == std::string::npos) std::abort();
    }
  }
  varnook::listedApplications(bytes, "Default Applications", "text/html");
  varnook::unescapeValue(bytes);
  varnook::splitExec(bytes);
  varnook::pathFromFileUrl(bytes);
  varnook::webSearchUrl(bytes, "a b%s");
  return 0;
}
