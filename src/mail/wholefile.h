#pragma once

#include <string>
#include <string_view>

namespace varnook {

enum class FileAccess {
  ownerOnly,  // 0600: message drafts that may quote private mail
  usual,      // the mode of the file it replaces, or 0666 less the umask for a new one
};

// Writes `bytes` as the whole new content of `fileName`: into a temporary file in the same
// folder, flushed and renamed over the old file, so that a failure leaves the old file as
// it was. Returns an empty text on success, else the message for the user:
// "Cannot create file "<name>". <system reason>" (or "Cannot write file ...").
std::string writeWholeFile(const std::string& fileName, std::string_view bytes, FileAccess access);

}  // namespace varnook
