#include "support/fixtures.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace varnook::testing {

std::string readTestFile(const std::string& path) {
  std::ifstream file(VARNOOK_TESTS_DIR "/" + path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read tests/" + path);
  return {std::istreambuf_iterator<char>(file), {}};
}

std::vector<std::vector<std::string>> readTable(const std::string& path, std::size_t columns) {
  std::istringstream file(readTestFile(path));
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    // Fields are trimmed before their escapes are taken, so "\s" keeps a blank at an end.
    std::vector<std::string>& row = rows.emplace_back(1);
    std::string blanks;  // blanks not yet known to be inside the field
    for (std::size_t i = 0; i < line.size(); ++i) {
      std::string& field = row.back();
      char c = line[i];
      if (c == '|') {
        row.emplace_back(), blanks.clear();
        continue;
      }
      if (c == ' ' || c == '\t') {
        if (!field.empty()) blanks += c;
        continue;
      }
      if (c == '\\' && i + 1 < line.size()) {
        c = line[++i];
        if (c == 'x' && i + 2 < line.size()) {
          c = static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
          i += 2;
        } else if (const std::size_t at = std::string("tnr0s").find(c); at != std::string::npos) {
          c = "\t\n\r\0 "[at];
        }
      }
      field += std::exchange(blanks, {}) + c;
    }
    if (columns != 0 && row.size() != columns)
      throw std::runtime_error("tests/" + path + ": bad row: " + line);
  }
  if (rows.empty()) throw std::runtime_error("tests/" + path + " holds no cases");
  return rows;
}

}  // namespace varnook::testing
