// Other outside input of the server: URL query strings and paths written back into
// links, Host headers, the group rules and update information files, and index records
// read back from a database.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/archiveservice.h"
#include "server/grouprules.h"
#include "server/httpserver.h"
#include "server/pagecontext.h"
#include "server/storedarticle.h"
#include "server/updateinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnook::server;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const auto parameters = parseQueryString(text);
  // What the pages write back into links is a query string that reads the same.
  std::vector<Parameter> pairs(parameters.begin(), parameters.end());
  const std::string rebuilt = queryString(pairs);
  if (!rebuilt.empty() && parseQueryString(std::string_view(rebuilt).substr(1)) != parameters)
    std::abort();
  // Links hold printable ASCII only, and nothing that ends an attribute.
  const auto linkSafe = [](std::string_view link) {
    for (unsigned char c : link)
      if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\'') return false;
    return true;
  };
  if (!linkSafe(rebuilt) || !linkSafe(linkPath(text))) std::abort();
  if (auto host = usableHost(text))
    if (host->find_first_of("\"<>' /") != std::string::npos) std::abort();
  const std::string echoed = echoText(text);
  if (echoed.find_first_of("<>\"'/ ") != std::string::npos) std::abort();
  const std::string entry = entryText(text);
  if (entry.find('<') != std::string::npos) std::abort();

  std::string error;
  (void)GroupRules::parse(text, "rules", error);
  (void)UpdateInfo::parse(text, "update", error);
  if (auto record = StoredArticle::deserialize(text)) (void)record->plainText();
  return 0;
}
