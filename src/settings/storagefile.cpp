#include "settings/storagefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "collection/atomicfile.h"

namespace varnook {

namespace {

std::string systemError(int error) {
  return std::strerror(error);
}

}  // namespace

StorageFileRead readStorageFile(const std::string& fileName, std::size_t maxSize) {
  StorageFileRead result;
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return result;
    result.status = StorageFileRead::Status::failed;
    result.error = systemError(errno);
    return result;
  }
  struct stat info {};
  result.status = StorageFileRead::Status::failed;
  if (::fstat(fd, &info) != 0) {
    result.error = systemError(errno);
  } else if (!S_ISREG(info.st_mode)) {
    result.error = "not a regular file";
  } else if (static_cast<std::size_t>(info.st_size) > maxSize) {
    result.error = "file too large";
  } else {
    result.bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    for (;;) {
      if (done == result.bytes.size()) result.bytes.resize(done + 4096);  // grew meanwhile
      const ssize_t count = ::read(fd, result.bytes.data() + done, result.bytes.size() - done);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) {
        result.error = systemError(errno);
        break;
      }
      if (count == 0) {
        result.bytes.resize(done);
        result.status = StorageFileRead::Status::read;
        break;
      }
      done += static_cast<std::size_t>(count);
      if (done > maxSize) {
        result.error = "file too large";
        break;
      }
    }
  }
  ::close(fd);
  if (result.status != StorageFileRead::Status::read) result.bytes.clear();
  return result;
}

std::string writeStorageFile(const std::string& fileName, std::string_view bytes) {
  AtomicFile file(fileName, AtomicFile::Access::ownerOnly);
  if (file.write(bytes) && file.commit()) return {};
  return systemError(file.error());
}

std::string createPrivateFolder(const std::string& folder) {
  if (folder.empty()) return "no folder";
  // Walk down from the top so that every missing level is created with the same mode.
  std::size_t next = folder.find('/', 1);
  for (;;) {
    const std::string level = folder.substr(0, next);
    if (::mkdir(level.c_str(), S_IRWXU) != 0 && errno != EEXIST) return systemError(errno);
    if (next == std::string::npos) break;
    next = folder.find('/', next + 1);
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return systemError(errno);
  if (!S_ISDIR(info.st_mode)) return systemError(ENOTDIR);
  return {};
}

}  // namespace varnook
