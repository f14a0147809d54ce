#include "desktop/keyfile.h"

namespace varnook {

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

KeyFile KeyFile::parse(std::string_view bytes) {
  KeyFile file;
  Group* current = nullptr;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = trimBlanks(bytes.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close == std::string_view::npos) {
        current = nullptr;  // a broken header: its entries belong to no group
        continue;
      }
      file.groups_.push_back(Group{std::string(line.substr(1, close - 1)), {}});
      current = &file.groups_.back();
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || current == nullptr) continue;
    const std::string_view key = trimBlanks(line.substr(0, equals));
    if (key.empty()) continue;
    current->entries.emplace_back(std::string(key),
                                  std::string(trimBlanks(line.substr(equals + 1))));
  }
  return file;
}

const KeyFile::Group* KeyFile::group(std::string_view name) const {
  for (const auto& g : groups_) {
    if (g.name == name) return &g;
  }
  return nullptr;
}

std::optional<std::string> groupValue(const KeyFile::Group& group, std::string_view key) {
  for (const auto& [k, v] : group.entries) {
    if (k == key) return v;
  }
  return std::nullopt;
}

std::optional<std::string> KeyFile::value(std::string_view groupName, std::string_view key) const {
  const Group* g = group(groupName);
  if (g == nullptr) return std::nullopt;
  return groupValue(*g, key);
}

std::string unescapeValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char next = value[++i];
    switch (next) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += next;
    }
  }
  return out;
}

std::vector<std::string> splitList(std::string_view value) {
  std::vector<std::string> items;
  std::string item;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ';') {
      item += ';';
      ++i;
    } else if (value[i] == ';') {
      if (!item.empty()) items.push_back(std::move(item));
      item.clear();
    } else {
      item += value[i];
    }
  }
  if (!item.empty()) items.push_back(std::move(item));
  return items;
}

}  // namespace varnook
