#include "support/fixtures.h"

#include <fstream>

namespace varnook::testing {

std::vector<std::vector<std::string>> readTable(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line.starts_with("# ")) continue;
    rows.emplace_back(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
      std::string& field = rows.back().back();
      const char c = line[i];
      if (c == '\t') {
        rows.back().emplace_back();
      } else if (c != '\\' || i + 1 == line.size()) {
        field += c;
      } else if (const char e = line[++i]; e == 'x' && i + 2 < line.size()) {
        field += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        field += e == 't' ? '\t' : e == 'r' ? '\r' : e == 'n' ? '\n' : e;
      }
    }
  }
  return rows;
}

}  // namespace varnook::testing
