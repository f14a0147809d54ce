#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/xdgdirs.h"
#include "desktop/desktopentry.h"

namespace varnook {

// The default application for a MIME type ("text/html", "message/rfc822") or a URL scheme
// ("x-scheme-handler/https"), chosen as the XDG MIME applications rules say:
// 1. the first installed entry that a "[Default Applications]" line names, searching the
//    mimeapps.list files (desktop-specific ones first) of the config home, the config
//    folders, the data home and the data folders, in that order;
// 2. otherwise the most preferred associated entry: "[Added Associations]" in the same
//    order, then every installed entry whose MimeType lists the type; an association that
//    a "[Removed Associations]" line of the same or a more important file removes is
//    skipped.
// An entry counts as installed when its file is found in the application folders (the
// first folder holding an id wins), its Type is "Application", it is not Hidden, it has an
// Exec line, and its TryExec program (if any) exists. Nothing when no entry qualifies.
std::optional<DesktopEntry> defaultApplication(const XdgDirs& dirs, std::string_view mimeType);

// The installed entry with this desktop file id, or nothing.
std::optional<DesktopEntry> findInstalledEntry(const XdgDirs& dirs, std::string_view id);

// The mimeapps.list files in the order of their importance (whether they exist or not).
std::vector<std::string> mimeappsListFiles(const XdgDirs& dirs);

// The desktop ids that one mimeapps.list text names for the type in one group
// ("Default Applications", "Added Associations", "Removed Associations").
std::vector<std::string> listedApplications(std::string_view mimeappsText, std::string_view group,
                                            std::string_view mimeType);

}  // namespace varnook
