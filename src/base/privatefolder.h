#pragma once

#include <string>

namespace varnook {

// Creates `folder` and any missing parent with mode 0700 (folders that exist are left as
// they are): the program's cache and configuration folders hold drafts, saved pages and
// options that may carry a password. Returns the system's reason on failure, empty on
// success (also when the folder was there already).
std::string createPrivateFolder(const std::string& folder);

}  // namespace varnook
