#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/atomicfile.h"

namespace varnook {

// Whole small files: settings, .desktop files, templates and drafts. Reading never waits
// (a FIFO planted where a settings file should be is refused, not read) and never reads
// more than asked; writing goes through AtomicFile, so a failure leaves the old file as
// it was.

struct SmallFileRead {
  enum class Status {
    Read,     // `bytes` holds the whole file (possibly empty)
    Missing,  // there is no such file
    Failed,   // it exists but could not be Read, is no regular file, or is too large
  };
  Status status = Status::Missing;
  std::string bytes;
  std::string error;  // the reason when failed ("not a regular file", "file too large", ...)
};

// Reads a whole regular file of at most `maxSize` bytes.
SmallFileRead readSmallFile(const std::string& fileName, std::size_t maxSize = 1 << 20);

// The bytes of a file that could be read whole; nothing when missing or failed, for
// callers to whom an unusable file is the same as no file.
std::optional<std::string> smallFileBytes(const std::string& fileName,
                                          std::size_t maxSize = 1 << 20);

// Writes `bytes` as the whole new content of `fileName` (see AtomicFile). Returns an empty
// text on success, else the message for the user:
// "Cannot create file "<name>". <system reason>" (or "Cannot write file ...").
std::string writeWholeFile(const std::string& fileName, std::string_view bytes, FileAccess access);

}  // namespace varnook
