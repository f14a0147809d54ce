#pragma once

#include <string>

namespace varnook {

// An advisory lock that keeps two Varnook processes from writing one file at once (two
// cron runs on the same collection would otherwise lose the articles of the one that saves
// first).
//
// The lock is flock(2) on "<file>.lock" beside the file (symbolic links followed as a save
// follows them), not on the file itself: a save renames a new file over the old one, so a
// lock on the old file's inode would not stop a process that opens the new one. The lock
// file is removed on release; a process that locked a lock file just removed finds that
// out and tries again. A lock held by a process that dies is released by the system.
//
// Never waits: a file locked by another process (or by another FileLock in this one)
// reports inUse at once.
class FileLock {
 public:
  enum class Status {
    Locked,
    InUse,   // another process holds it
    Failed,  // the file is no regular file (error() is kNotRegularFile), or the lock file
             // could not be made (error() is the errno)
  };

  explicit FileLock(const std::string& file);
  // Releases the lock and removes the lock file.
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  Status status() const { return status_; }
  int error() const { return error_; }
  // For the user: "\"<file>\" is in use by another Varnook process", or why the lock
  // could not be taken.
  std::string message() const;

 private:
  std::string file_;
  std::string lockFile_;
  int fd_ = -1;
  Status status_ = Status::Failed;
  int error_ = 0;
};

}  // namespace varnook
