#pragma once

#include <string>
#include <string_view>

#include "collection/collection.h"

namespace varnook {

// Outcome of reading a collection file.
struct LoadResult {
  enum class Status {
    Ok,
    NotFound,   // message: News collection "<path>" not found
    Malformed,  // message: Invalid file format at line N: ..., or a conversion error
    IoError,    // message: the system's error text
  };
  Status status = Status::Ok;
  std::string message;
  int line = 0;  // the line being read when the load stopped (Malformed only)
  bool ok() const { return status == Status::Ok; }
};

struct SaveResult {
  bool ok = true;
  std::string message;  // the system's error text when !ok
};

// Adds the contents of a collection file to `collection` (the caller clears it first when it
// opens a file). On success sets the file name and clears Modified. On failure the requests
// and articles read before the failing line stay; the file name is unchanged, and Modified
// is set when any row was created.
LoadResult loadCollection(Collection& collection, const std::string& path);

// The same reader over bytes in memory; `fileName` is what a successful read sets.
LoadResult readCollection(Collection& collection, std::string_view bytes,
                          const std::string& fileName);

// Writes the collection to `path`: a temporary file in the same folder, flushed to disk and
// renamed over the old file, so a failed save leaves the previous file as it was. Only a
// regular file is replaced ("Not a regular file" otherwise). On success sets the file name
// and clears Modified; on failure Modified stays set. Takes no lock: callers that share the
// file with other processes hold a FileLock on it.
SaveResult saveCollection(Collection& collection, const std::string& path);

// The file's bytes for a collection (what saveCollection writes). Everything it writes
// reads back: request lines with stored parameters longer than 999 characters, or with a
// colon in the name, carry the parameters' length (a file from elsewhere keeps the rule
// that a value ends after 999 characters).
std::string writeCollection(const Collection& collection);

}  // namespace varnook
