#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/xdgdirs.h"
#include "desktop/launcher.h"

namespace varnook {

inline constexpr std::string_view kNoBrowserMessage = "Unable to detect your default browser!";
inline constexpr std::string_view kBrowserFailedMessage = "Can't launch the default browser!";

enum class OpenStatus {
  Opened,        // the handler was started
  NoHandler,     // nothing is registered for the target
  LaunchFailed,  // a handler is registered but could not be executed
};

// How long a started handler is watched: a browser or mail program that fails at once
// (a registered command that is gone, a wrapper that cannot find its program) is seen.
inline constexpr std::chrono::milliseconds kStartWatchTime{2000};

struct OpenResult {
  OpenStatus status = OpenStatus::NoHandler;
  std::string detail;             // the system's reason when the start failed
  std::vector<std::string> argv;  // what was (or would have been) started
  // For an opened target: tells whether the handler failed within kStartWatchTime.
  std::shared_ptr<StartWatch> watch;
};

// A target as the browser gets it: a text without a URL scheme that is no absolute path
// ("www.example.com") gets "http://" in front, so that no browser reads it as a file name
// or an option.
std::string browserTarget(std::string_view target);

// The command line that opens `target` in the default browser: the XDG default handler
// for the target's URL scheme, then for "http", then for "text/html" (a local file asks
// for "text/html" first); when none is registered, the first usable command of $BROWSER.
// Nothing when no browser is known.
std::optional<std::vector<std::string>> browserCommand(const XdgDirs& dirs,
                                                       std::string_view target);

// Starts the default browser on the target (see browserTarget). The caller shows
// kNoBrowserMessage for noHandler and kBrowserFailedMessage for launchFailed.
OpenResult openUrl(const XdgDirs& dirs, std::string_view target);

// Opens a document in the desktop's viewer for HTML documents and, when there is none or
// it does not start, in the browser (openUrl's result then).
OpenResult openInHelpViewer(const XdgDirs& dirs, std::string_view target);

// Starts the default application for `mimeType` on `target`.
OpenResult openWithDefault(const XdgDirs& dirs, std::string_view mimeType, std::string_view target);

// Whether the text begins with a URL scheme ("http:", "mailto:"; at least two letters,
// so that no drive letter counts).
bool hasUrlScheme(std::string_view text);
// The scheme in lower case ("https"), empty when there is none.
std::string urlScheme(std::string_view text);

}  // namespace varnook
