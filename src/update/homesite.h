#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/eventloop.h"
#include "settings/vnkoptions.h"
#include "update/updateui.h"

namespace varnook {

class HttpClient;

// The running program's version in the form the home site compares: the four numbers
// formatted "%d.%2.2d.%2.2d.%2.2d" (1.0.5.15 gives "1.00.05.15").
std::string versionString(int major, int minor, int release, int build);
// This build's version string.
std::string programVersionString();

// Versions are compared as texts, byte by byte; a missing (empty) value is never greater.
bool versionGreater(const std::string& a, const std::string& b);

// The name=value lines of an update answer.
using UpdateValues = std::map<std::string, std::string>;
UpdateValues parseUpdateValues(const std::string& body);

// Asks the home site (the option HomeSite) whether a newer version exists, whether this one
// is outdated, and whether there is a message, once per run until it has succeeded. The
// check is asynchronous: `done` is called when it has finished (true) or was aborted by
// stop (false); the loop keeps running meanwhile. Questions go through the UpdateUi.
//
// Downloads wait for the first check of a run only: once a check has failed, a home site
// that is down or silent must not cost every download its wait. A failed check is made
// again before a download at most every retryAfterMs.
class HomeSite {
 public:
  // Negative: a failed check is not made again in this run (the batch tool).
  int retryAfterMs = 10 * 60 * 1000;

  HomeSite(EventLoop& loop, const VnkOptions& options, UpdateUi& ui);
  ~HomeSite();
  HomeSite(const HomeSite&) = delete;
  HomeSite& operator=(const HomeSite&) = delete;

  // Makes the check unless it has succeeded in this run (then `done(true)` is called at
  // once). While a check runs, further callers wait for the same one.
  void check(std::function<void(bool completed)> done);
  // Stop pressed: aborts a running check; its callers hear false.
  void abort();

  bool succeeded() const { return succeeded_; }
  bool running() const { return client_ != nullptr; }
  // No check has ended in this run (a stopped one does not count): downloads wait for it.
  bool firstCheckPending() const { return !succeeded_ && failures_ == 0; }
  // A check failed, and retryAfterMs has passed since.
  bool retryDue() const;
  // True once an answer named an oldest valid version above this one; stays for the run.
  bool outdated() const { return outdated_; }
  const UpdateValues& values() const { return values_; }
  const std::string& version() const { return version_; }
  void setVersion(std::string version) { version_ = std::move(version); }

  // The archive service's web address as the messages name it.
  std::string serviceAddress() const;
  // The program's home page and its list of changes, both on the home site.
  std::string homePageUrl() const;
  std::string revisionsUrl() const;

 private:
  void finished(int error);
  // Returns true when the user chose to end the program for a new version.
  bool askQuestions();

  EventLoop& loop_;
  const VnkOptions& options_;
  UpdateUi& ui_;
  std::string version_;
  std::unique_ptr<HttpClient> client_;
  std::string answer_;
  UpdateValues values_;
  bool succeeded_ = false;
  bool outdated_ = false;
  std::vector<std::function<void(bool)>> waiting_;
  std::uint64_t checks_ = 0;  // counts the checks started, so stale posted work is dropped
  int failures_ = 0;
  std::chrono::steady_clock::time_point lastFailure_{};
  std::shared_ptr<char> life_ = std::make_shared<char>();
};

}  // namespace varnook
