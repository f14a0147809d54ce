// Result page bytes into a fresh collection: no crash, what the parser reports agrees with
// what it added, and the collection file written from it reads back whole.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "archive/resultpage.h"
#include "collection/collection.h"
#include "collection/collectionfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnook;
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  Collection collection(Collection::NameClock{[] { return 1000.0; }, [](double) {}});
  Request& request = collection.appendRequest(std::make_unique<Request>("Q#1"));
  const std::string error = parseResultPage(page, request);

  // Every article came from this request and has a number; none is counted twice.
  if (static_cast<std::size_t>(request.unique) != collection.articles().size()) std::abort();
  if (request.unique > request.articles) std::abort();
  for (const auto& article : collection.articles())
    if (article->number == 0 || article->requestId != "Q#1") std::abort();
  if (error == "none" && !collection.articles().empty()) std::abort();

  Collection reread(Collection::NameClock{[] { return 1000.0; }, [](double) {}});
  if (!readCollection(reread, writeCollection(collection), "fuzz.vnk").ok() ||
      reread.articles().size() != collection.articles().size())
    std::abort();
  return 0;
}
