#include "mail/wholefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "collection/atomicfile.h"

namespace varnook {

namespace {

std::string message(const char* verb, const std::string& fileName, int error) {
  return std::string("Cannot ") + verb + " file \"" + fileName + "\". " + std::strerror(error);
}

}  // namespace

std::string writeWholeFile(const std::string& fileName, std::string_view bytes, FileAccess access) {
  AtomicFile file(fileName, access == FileAccess::ownerOnly ? AtomicFile::Access::ownerOnly
                                                            : AtomicFile::Access::usual);
  if (!file.ok()) return message("create", fileName, file.error());
  if (file.write(bytes) && file.commit()) return {};
  return message("write", fileName, file.error());
}

}  // namespace varnook
