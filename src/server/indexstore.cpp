#include "server/indexstore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "server/indexschema.h"
#include "server/threads.h"

namespace varnook::server {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStubName = "XAPIANDB";
constexpr const char* kGenerationPrefix = "base-";
constexpr const char* kShardPrefix = "run-";
constexpr const char* kLockName = "index.lock";

std::string generationName(unsigned long number) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%06lu", kGenerationPrefix, number);
  return name;
}

// `dashes + 1` groups of digits joined by single dashes ("1234-5" for one dash).
bool digitsAndDashes(std::string_view text, int dashes) {
  int seen = 0;
  bool digit = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '-' && digit && seen < dashes) {
      ++seen;
      digit = false;
    } else {
      return false;
    }
  }
  return digit && seen == dashes;
}

bool isShardName(std::string_view name) {
  return name.substr(0, 4) == kShardPrefix && digitsAndDashes(name.substr(4), 1);
}

bool isGenerationName(std::string_view name) {
  return name.substr(0, 5) == kGenerationPrefix && digitsAndDashes(name.substr(5), 0);
}

void syncPath(const fs::path& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return;
  ::fsync(descriptor);
  ::close(descriptor);
}

}  // namespace

std::uint32_t storedNextNumber(const Xapian::Database& database) {
  const std::string text = database.get_metadata(schema::kNextNumberKey);
  if (text.empty()) return 1;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 1;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return 0;
  }
  return static_cast<std::uint32_t>(value);
}

IndexStore::IndexStore(std::string folder, int lockDescriptor)
    : folder_(std::move(folder)), lockDescriptor_(lockDescriptor) {}

IndexStore::~IndexStore() {
  if (lockDescriptor_ >= 0) ::close(lockDescriptor_);
}

std::unique_ptr<IndexStore> IndexStore::openForWriting(const std::string& folder,
                                                       std::string& error) {
  std::error_code code;
  // Nothing is created or removed in a folder before it is known to be ours.
  if (fs::exists(folder, code)) {
    if (!fs::is_directory(folder, code)) {
      error = folder + ": not a folder";
      return nullptr;
    }
    if (fs::exists(folder + "/iamglass", code)) {
      error = folder + ": a plain Xapian database, not an archive index folder";
      return nullptr;
    }
    if (!isIndexFolder(folder) && !fs::is_empty(folder, code)) {
      error = folder +
              " is not an archive index and not empty; it is left as it is (give --db a new "
              "or empty folder)";
      return nullptr;
    }
  }
  fs::create_directories(folder, code);
  if (code) {
    error = folder + ": " + code.message();
    return nullptr;
  }
  const std::string lockPath = folder + "/" + kLockName;
  const int descriptor = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    error = lockPath + ": cannot be created (" + std::strerror(errno) + ")";
    return nullptr;
  }
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    ::close(descriptor);
    error = folder + ": another index run is writing this index";
    return nullptr;
  }
  std::unique_ptr<IndexStore> store(new IndexStore(folder, descriptor));
  // Shards of a killed run, and generations no stub names any more.
  const std::optional<std::string> current = store->currentGenerationName();
  for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
    const std::string name = it->path().filename().string();
    const bool ours = isShardName(name) || isGenerationName(name);
    if (ours && name != current && it->is_directory(code)) fs::remove_all(it->path(), code);
  }
  return store;
}

bool isIndexFolder(const std::string& folder) {
  std::error_code code;
  return fs::exists(folder + "/" + kStubName, code) || fs::exists(folder + "/" + kLockName, code);
}

std::optional<std::string> IndexStore::currentGenerationName() const {
  std::ifstream stub(folder_ + "/" + kStubName);
  std::string type, name;
  if (!(stub >> type >> name) || type != "auto" || name.find('/') != std::string::npos)
    return std::nullopt;
  return name;
}

std::optional<Xapian::Database> IndexStore::openCurrent() const {
  if (!currentGenerationName()) return std::nullopt;
  return Xapian::Database(folder_);
}

std::string IndexStore::newShardPath() {
  return folder_ + "/" + kShardPrefix + std::to_string(::getpid()) + "-" +
         std::to_string(++shardCounter_);
}

bool hasTermlist(const Xapian::Database& database) {
  return database.get_metadata(schema::kTermlistKey) == "1";
}

void IndexStore::publish(const std::vector<std::string>& shardPaths, std::uint32_t nextNumber,
                         bool termlist, const std::map<std::string, std::string>& metadata) {
  const std::optional<std::string> current = currentGenerationName();
  unsigned long generation = 1;
  if (current) generation = std::stoul(current->substr(std::string(kGenerationPrefix).size())) + 1;
  const std::string nextName = generationName(generation);
  const fs::path nextPath = fs::path(folder_) / nextName;
  fs::remove_all(nextPath);

  Xapian::Database sources;
  if (current) sources.add_database(Xapian::Database(folder_));
  for (const std::string& shard : shardPaths) sources.add_database(Xapian::Database(shard));
  sources.compact(nextPath.string(), Xapian::DB_BACKEND_GLASS);
  {
    Xapian::WritableDatabase output(nextPath.string(),
                                    Xapian::DB_OPEN | (termlist ? 0 : Xapian::DB_NO_TERMLIST));
    output.set_metadata(schema::kNextNumberKey, std::to_string(nextNumber));
    output.set_metadata(schema::kTermlistKey, termlist ? "1" : "0");
    output.set_metadata(schema::kFormatKey, schema::kFormatVersion);
    // Only an index whose every article has date terms may answer date ranges with them;
    // one begun by an older program keeps answering from the date values.
    if (!current) output.set_metadata(schema::kDateTermsKey, "1");
    for (const auto& [key, value] : metadata) output.set_metadata(key, value);
    updateThreadTable(output);
    output.commit();
  }
  syncPath(nextPath);

  const fs::path stubPath = fs::path(folder_) / kStubName;
  const fs::path temporary = fs::path(folder_) / "XAPIANDB.new";
  {
    std::ofstream stub(temporary, std::ios::trunc);
    stub << "auto " << nextName << '\n';
    stub.flush();
    if (!stub)
      throw fs::filesystem_error("cannot write the index stub", temporary,
                                 std::make_error_code(std::errc::io_error));
  }
  syncPath(temporary);
  fs::rename(temporary, stubPath);
  syncPath(folder_);

  // Readers that still have the old generation open keep their open files.
  std::error_code ignored;
  if (current) fs::remove_all(fs::path(folder_) / *current, ignored);
  for (const std::string& shard : shardPaths) fs::remove_all(shard, ignored);
}

}  // namespace varnook::server
