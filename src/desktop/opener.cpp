#include "desktop/opener.h"

#include "desktop/desktopentry.h"
#include "desktop/launcher.h"
#include "desktop/mimeapps.h"

namespace varnook {

namespace {

bool isSchemeChar(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool isLocalFile(std::string_view target) {
  return (!target.empty() && target.front() == '/') || urlScheme(target) == "file";
}

// $BROWSER: commands separated by ":", "%s" standing for the target (else it is appended).
std::optional<std::vector<std::string>> browserFromVariable(const XdgDirs& dirs,
                                                            std::string_view target) {
  std::string_view list = dirs.browserVariable;
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    const std::string_view command = list.substr(0, colon);
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    auto args = splitExec(command);
    if (!args || !findProgram(args->front(), dirs.path)) continue;
    bool placed = false;
    for (std::string& arg : *args) {
      std::string out;
      for (std::size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] == '%' && i + 1 < arg.size() && (arg[i + 1] == 's' || arg[i + 1] == '%')) {
          if (arg[i + 1] == 's') {
            out += target;
            placed = true;
          } else {
            out += '%';
          }
          ++i;
        } else {
          out += arg[i];
        }
      }
      arg = std::move(out);
    }
    if (!placed) args->emplace_back(target);
    return args;
  }
  return std::nullopt;
}

OpenResult start(std::vector<std::string> argv, const XdgDirs& dirs) {
  OpenResult result;
  LaunchResult launched = startDetached(argv, dirs.path, kStartWatchTime);
  result.status = launched.started ? OpenStatus::Opened : OpenStatus::LaunchFailed;
  result.detail = launched.error;
  result.watch = std::move(launched.watch);
  result.argv = std::move(argv);
  return result;
}

}  // namespace

bool hasUrlScheme(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    if (!isSchemeChar(text[i], i == 0)) return false;
  }
  // "www.example.com:8080/x" is a host and a port, not a scheme.
  std::size_t digits = colon + 1;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  const bool port = digits > colon + 1 && (digits == text.size() || text[digits] == '/');
  return !port;
}

std::string urlScheme(std::string_view text) {
  if (!hasUrlScheme(text)) return {};
  std::string scheme(text.substr(0, text.find(':')));
  for (char& c : scheme) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return scheme;
}

std::string browserTarget(std::string_view target) {
  if (hasUrlScheme(target) || (!target.empty() && target.front() == '/')) {
    return std::string(target);
  }
  return "http://" + std::string(target);
}

std::optional<std::vector<std::string>> browserCommand(const XdgDirs& dirs,
                                                       std::string_view target) {
  std::vector<std::string> types;
  if (isLocalFile(target)) {
    types = {"text/html", "x-scheme-handler/http"};
  } else {
    const std::string scheme = urlScheme(target);
    if (!scheme.empty() && scheme != "http") types.push_back("x-scheme-handler/" + scheme);
    types.push_back("x-scheme-handler/http");
    types.push_back("text/html");
  }
  for (const std::string& type : types) {
    if (auto entry = defaultApplication(dirs, type)) {
      if (auto argv = expandExec(*entry, target)) return argv;
    }
  }
  return browserFromVariable(dirs, target);
}

OpenResult openUrl(const XdgDirs& dirs, std::string_view target) {
  const std::string url = browserTarget(target);
  auto argv = browserCommand(dirs, url);
  if (!argv) return OpenResult{};
  return start(std::move(*argv), dirs);
}

OpenResult openWithDefault(const XdgDirs& dirs, std::string_view mimeType,
                           std::string_view target) {
  auto entry = defaultApplication(dirs, mimeType);
  if (!entry) return OpenResult{};
  auto argv = expandExec(*entry, target);
  if (!argv) {
    OpenResult result;
    result.status = OpenStatus::LaunchFailed;
    result.detail = entry->id + ": unusable Exec line";
    return result;
  }
  return start(std::move(*argv), dirs);
}

OpenResult openInHelpViewer(const XdgDirs& dirs, std::string_view target) {
  const std::string document = browserTarget(target);
  OpenResult viewer = openWithDefault(dirs, "text/html", document);
  if (viewer.status == OpenStatus::Opened) return viewer;
  return openUrl(dirs, document);
}

}  // namespace varnook
