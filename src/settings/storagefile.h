#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varnook {

// The few file operations an options store needs. All report failures as values.

struct StorageFileRead {
  enum class Status {
    read,     // `bytes` holds the whole file (possibly empty)
    missing,  // there is no such file
    failed,   // it exists but could not be read, is no regular file, or is too large
  };
  Status status = Status::missing;
  std::string bytes;
  std::string error;  // the system's reason when failed
};

// Reads a whole regular file of at most `maxSize` bytes.
StorageFileRead readStorageFile(const std::string& fileName, std::size_t maxSize);

// Replaces `fileName` with `bytes` as a whole or not at all: the bytes go to a new file in
// the same folder (mode 0600, since stored options may hold a password), are flushed to
// disk and renamed over the old file. On failure the old file is untouched, the temporary
// file removed, and the system's reason returned; the result is empty on success.
std::string writeStorageFile(const std::string& fileName, std::string_view bytes);

// Creates `folder` and any missing parent with mode 0700 (folders that exist are left as
// they are). Returns the system's reason on failure, empty on success.
std::string createPrivateFolder(const std::string& folder);

}  // namespace varnook
