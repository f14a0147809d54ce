#pragma once

// Fixture files kept under tests/<folder>/data and read at run time.

#include <string>
#include <string_view>
#include <vector>

namespace varnook::testing {

// The rows of a table file: one row a line, fields parted by tabs. Empty lines and lines
// starting with "# " are skipped. Fields may hold the escapes \t, \r, \n, \\ and \xHH.
// No rows when the file cannot be read.
std::vector<std::vector<std::string>> readTable(const std::string& path);

#ifdef VARNOOK_SOURCE_DIR
// The path of `name` ("net/data/urls.tsv") under the tests folder.
inline std::string fixture(std::string_view name) {
  return VARNOOK_SOURCE_DIR "/tests/" + std::string(name);
}
#endif

}  // namespace varnook::testing
