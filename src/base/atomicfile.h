#pragma once

#include <string>
#include <string_view>

namespace varnook {

enum class FileAccess {
  OwnerOnly,  // 0600: files that may hold passwords or private mail
  Usual,      // the mode of the file it replaces, or 0666 less the umask for a new one
};

// Writes all bytes to a descriptor, going on after interrupted calls. False (errno set)
// when the system refuses.
bool writeAll(int fd, std::string_view bytes);

// The error of a save whose target exists but is no regular file (a device, FIFO or
// socket): renaming over it would replace it, so it is refused.
inline constexpr int kNotRegularFile = -1;

// The text for an error of AtomicFile or FileLock: the system's message for an errno,
// "Not a regular file" for kNotRegularFile.
std::string fileErrorText(int error);

// The file that a save to `path` replaces: symbolic links are followed, also one that
// names no file yet, so the link stays and the file it names is made. Sets `error` (ELOOP)
// and returns `path` when the links go round in circles.
std::string replacedFile(const std::string& path, int& error);

// A file written whole or not at all: the bytes go into a temporary file in the target's
// folder, which commit() flushes to disk and renames over the target. Until then, and
// whenever a step fails, the file that was there stays as it was. A symbolic link as the
// target is followed (see replacedFile). Only a regular file is replaced: any other kind
// of file as the target fails at once with kNotRegularFile (a folder with EISDIR).
class AtomicFile {
 public:
  // Creates the temporary file; ok() tells whether that worked.
  AtomicFile(const std::string& target, FileAccess access);
  // A file not committed is removed.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool ok() const { return error_ == 0; }
  // The errno of the first step that failed (or kNotRegularFile), 0 while all went well.
  int error() const { return error_; }
  // The temporary file's descriptor, for writers that stream; -1 when it could not be made.
  int descriptor() const { return fd_; }

  // Appends bytes; false once anything has failed.
  bool write(std::string_view bytes);
  // Notes a failure of a writer that used descriptor() itself.
  void fail(int error) {
    if (error_ == 0) error_ = error;
  }
  // Flushes, closes and renames the file over the target; false when any step failed.
  bool commit();

 private:
  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  int error_ = 0;
  bool committed_ = false;
};

}  // namespace varnook
