#include "support/fixtures.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace varnook::testing {
namespace {

std::string unescapeField(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'x' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      const std::string from = "tnr0s", to{'\t', '\n', '\r', '\0', ' '};
      const std::size_t at = from.find(c);
      out += at == std::string::npos ? c : to[at];
    }
  }
  return out;
}

}  // namespace

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
    std::vector<std::string>& row = rows.emplace_back(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '|') {
        row.emplace_back();
      } else {
        if (line[i] == '\\' && i + 1 < line.size()) row.back() += line[i++];
        row.back() += line[i];
      }
    }
    for (std::string& field : row) {
      const std::size_t first = field.find_first_not_of(" \t");
      field = first == std::string::npos
                  ? ""
                  : unescapeField(field.substr(first, field.find_last_not_of(" \t") - first + 1));
    }
    if (columns != 0 && row.size() != columns)
      throw std::runtime_error("tests/" + path + ": bad row: " + line);
  }
  if (rows.empty()) throw std::runtime_error("tests/" + path + " holds no cases");
  return rows;
}

}  // namespace varnook::testing
