#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace varnook {

// Reads a whole regular file of at most `maxSize` bytes (settings and .desktop files are
// small; anything larger is not what we look for). Nothing when it is missing, no regular
// file, unreadable or too large.
std::optional<std::string> readSmallFile(const std::string& fileName,
                                         std::size_t maxSize = 1 << 20);

}  // namespace varnook
