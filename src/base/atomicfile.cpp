#include "base/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace varnook {
namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string fileErrorText(int error) {
  return error == kNotRegularFile ? "Not a regular file" : std::strerror(error);
}

std::string replacedFile(const std::string& path, int& error) {
  std::string current = path;
  // The kernel's own limit on links followed in one lookup.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return current;
    target.resize(static_cast<std::size_t>(length));
    current = target.front() == '/' ? target : folderOf(current) + "/" + target;
  }
  error = ELOOP;
  return path;
}

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

AtomicFile::AtomicFile(const std::string& target, FileAccess access) {
  target_ = replacedFile(target, error_);
  if (error_ != 0) return;
  const auto slash = target_.rfind('/');
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  struct stat existing {};
  const bool exists = ::lstat(target_.c_str(), &existing) == 0;
  if (base.empty() || (exists && S_ISDIR(existing.st_mode))) {
    error_ = EISDIR;
    return;
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    error_ = kNotRegularFile;
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
  if (access == FileAccess::Usual) {
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
