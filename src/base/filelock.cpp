#include "base/filelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/atomicfile.h"

namespace varnook {

FileLock::FileLock(const std::string& file) : file_(file) {
  const std::string target = replacedFile(file, error_);
  if (error_ != 0) return;
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    error_ = S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
    return;
  }
  lockFile_ = target + ".lock";
  // A few rounds at most: each retry means another process released the lock meanwhile.
  for (int attempt = 0; attempt < 100; ++attempt) {
    fd_ = ::open(lockFile_.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd_ < 0) {
      error_ = errno;
      return;
    }
    int locked;
    do {
      locked = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      error_ = errno;
      status_ = errno == EWOULDBLOCK ? Status::InUse : Status::Failed;
      ::close(fd_);
      fd_ = -1;
      return;
    }
    // The holder before us removes the lock file before it lets go: the lock counts only
    // when the file locked is still the one under that name.
    struct stat held {};
    struct stat named {};
    if (::fstat(fd_, &held) == 0 && ::stat(lockFile_.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      status_ = Status::Locked;
      error_ = 0;
      return;
    }
    ::close(fd_);
    fd_ = -1;
  }
  error_ = EAGAIN;
}

FileLock::~FileLock() {
  if (fd_ < 0) return;
  ::unlink(lockFile_.c_str());
  ::close(fd_);
}

std::string FileLock::message() const {
  switch (status_) {
    case Status::Locked:
      return {};
    case Status::InUse:
      return "\"" + file_ + "\" is in use by another Varnook process";
    case Status::Failed:
      break;
  }
  return "Cannot lock \"" + file_ + "\": " + fileErrorText(error_);
}

}  // namespace varnook
