#include "desktop/desktopentry.h"

#include "base/asciicase.h"
#include "desktop/keyfile.h"

namespace varnook {

std::optional<DesktopEntry> parseDesktopEntry(std::string_view bytes) {
  const KeyFile file = KeyFile::parse(bytes);
  const KeyFile::Group* group = file.group("Desktop Entry");
  if (group == nullptr) return std::nullopt;
  DesktopEntry entry;
  auto text = [&](std::string_view key) {
    auto value = groupValue(*group, key);
    return value ? unescapeValue(*value) : std::string();
  };
  entry.type = text("Type");
  entry.name = text("Name");
  entry.icon = text("Icon");
  entry.exec = text("Exec");
  entry.tryExec = text("TryExec");
  entry.hidden = text("Hidden") == "true";
  if (auto types = groupValue(*group, "MimeType")) entry.mimeTypes = splitList(*types);
  return entry;
}

std::optional<std::vector<std::string>> splitExec(std::string_view exec) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
      continue;
    }
    inArgument = true;
    if (c == '"') {
      bool closed = false;
      for (++i; i < exec.size(); ++i) {
        if (exec[i] == '"') {
          closed = true;
          break;
        }
        if (exec[i] == '\\' && i + 1 < exec.size()) {
          const char next = exec[i + 1];
          if (next == '"' || next == '`' || next == '$' || next == '\\') {
            current += next;
            ++i;
            continue;
          }
        }
        current += exec[i];
      }
      if (!closed) return std::nullopt;
    } else if (c == '\'') {
      const std::size_t close = exec.find('\'', i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      current.append(exec.substr(i + 1, close - i - 1));
      i = close;
    } else if (c == '\\' && i + 1 < exec.size()) {
      current += exec[++i];
    } else {
      current += c;
    }
  }
  if (inArgument) args.push_back(std::move(current));
  if (args.empty() || args.front().empty()) return std::nullopt;
  return args;
}

namespace {

bool isUnreservedPathByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string asFileName(std::string_view target) {
  if (auto path = pathFromFileUrl(target)) return *path;
  return std::string(target);
}

std::string asUrl(std::string_view target) {
  if (!target.empty() && target.front() == '/') return fileUrlFromPath(target);
  return std::string(target);
}

}  // namespace

std::string fileUrlFromPath(std::string_view path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (isUnreservedPathByte(c)) {
      url += ch;
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

std::optional<std::string> pathFromFileUrl(std::string_view url) {
  if (!startsWithNoCase(url, "file://")) return std::nullopt;
  std::string_view rest = url.substr(7);
  if (startsWithNoCase(rest, "localhost/")) rest.remove_prefix(9);
  if (rest.empty() || rest.front() != '/') return std::nullopt;
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size()) {
      const int high = hexValue(rest[i + 1]);
      const int low = hexValue(rest[i + 2]);
      if (high >= 0 && low >= 0) {
        const char byte = static_cast<char>(high * 16 + low);
        if (byte == '\0') return std::nullopt;  // no file name holds a NUL
        path += byte;
        i += 2;
        continue;
      }
    }
    if (rest[i] == '?' || rest[i] == '#') break;
    path += rest[i];
  }
  return path;
}

std::optional<std::vector<std::string>> expandExec(const DesktopEntry& entry,
                                                   std::string_view target) {
  auto split = splitExec(entry.exec);
  if (!split) return std::nullopt;
  std::vector<std::string> argv;
  bool targetPlaced = false;
  for (const std::string& arg : *split) {
    if (arg == "%i") {
      if (!entry.icon.empty()) {
        argv.emplace_back("--icon");
        argv.push_back(entry.icon);
      }
      continue;
    }
    std::string out;
    bool onlyRemovedCodes = true;  // the argument consisted of codes that expand to nothing
    for (std::size_t i = 0; i < arg.size(); ++i) {
      if (arg[i] != '%' || i + 1 == arg.size()) {
        out += arg[i];
        onlyRemovedCodes = false;
        continue;
      }
      const char code = arg[++i];
      switch (code) {
        case '%':
          out += '%';
          onlyRemovedCodes = false;
          break;
        case 'f':
        case 'F':
        case 'u':
        case 'U':
          // One target, placed once; a second file code expands to nothing.
          if (!targetPlaced) {
            out += (code == 'f' || code == 'F') ? asFileName(target) : asUrl(target);
            targetPlaced = true;
            onlyRemovedCodes = false;
          }
          break;
        case 'c':
          out += entry.name;
          onlyRemovedCodes = false;
          break;
        case 'k':
          out += entry.path;
          onlyRemovedCodes = false;
          break;
        default:
          break;  // %d %D %n %N %v %m and unknown codes: nothing
      }
    }
    if (out.empty() && onlyRemovedCodes) continue;
    argv.push_back(std::move(out));
  }
  if (argv.empty()) return std::nullopt;
  if (!targetPlaced) argv.emplace_back(target);
  return argv;
}

}  // namespace varnook
