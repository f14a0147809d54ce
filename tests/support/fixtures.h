#pragma once

// Fixture files kept under tests/<folder>/data and read at run time.
//
// A case table holds one case a line, fields parted by "|" and trimmed of blanks; lines
// starting with "#" and empty lines are skipped. Fields take the escapes \t \n \r \0 \|
// \\ \s (a blank, for one at either end) and \xHH, so that any bytes fit.

#include <cstddef>
#include <string>
#include <vector>

namespace varnook::testing {

// The bytes of tests/<path> ("net/data/urls.txt"); throws when it cannot be read.
std::string readTestFile(const std::string& path);

// The rows of the case table tests/<path>, each with exactly `columns` fields (0: any
// number); throws when the file cannot be read, holds no case or has a row of another
// width.
std::vector<std::vector<std::string>> readTable(const std::string& path, std::size_t columns = 0);

}  // namespace varnook::testing
