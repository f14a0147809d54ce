#include "base/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace varnook {
namespace {

std::string resolvedPath(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string target(real);
      std::free(real);
      return target;
    }
  }
  return path;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

AtomicFile::AtomicFile(const std::string& target, FileAccess access)
    : target_(resolvedPath(target)) {
  const auto slash = target_.rfind('/');
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  if (base.empty()) {
    error_ = EISDIR;
    return;
  }
  temporary_ = folderOf(target_) + "/." + base + ".XXXXXX";
  fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);  // created with mode 0600
  if (fd_ < 0) {
    error_ = errno;
    temporary_.clear();
    return;
  }
  mode_t mode = S_IRUSR | S_IWUSR;
  if (access == FileAccess::usual) {
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) {
      mode = old.st_mode & 07777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
  }
  if (::fchmod(fd_, mode) != 0) error_ = errno;
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

bool AtomicFile::write(std::string_view bytes) {
  if (error_ == 0 && !writeAll(fd_, bytes)) error_ = errno;
  return error_ == 0;
}

bool AtomicFile::commit() {
  if (fd_ < 0) return false;
  if (error_ == 0 && ::fsync(fd_) != 0) error_ = errno;
  if (::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  if (error_ == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0) error_ = errno;
  if (error_ != 0) return false;
  committed_ = true;
  // Make the rename itself durable; a failure here no longer endangers either file.
  const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

}  // namespace varnook
