#include "batch/batchagent.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

#include "archive/queryurl.h"
#include "base/filelock.h"
#include "base/wholefile.h"
#include "base/xdgdirs.h"
#include "collection/collectionfile.h"
#include "collection/commandline.h"
#include "collection/threadforest.h"
#include "net/pollloop.h"
#include "settings/optionsstore.h"
#include "settings/optionsstream.h"
#include "transfer/scheduler.h"
#include "update/homesite.h"
#include "varnook/version.h"

namespace varnook {
namespace {

// Reads the options: the given file, or the user's stored options; never written. A given
// file that cannot be read is an error; damage, and a stored file that cannot be read, are
// warnings.
bool readOptions(const BatchOptions& batch, VnkOptions& options, std::string& error,
                 std::string& warning) {
  if (!batch.optionsFile.empty()) {
    const SmallFileRead file = readSmallFile(batch.optionsFile, kMaxOptionsFileSize);
    if (file.status != SmallFileRead::Status::Read) {
      error = "cannot read the options file \"" + batch.optionsFile + "\": " +
              (file.status == SmallFileRead::Status::Missing ? std::strerror(ENOENT) : file.error);
      return false;
    }
    if (!file.bytes.empty()) {  // an empty file gives the defaults
      const OptionsStreamReport report = readOptionsStream(file.bytes, options);
      options.clampToDialogRanges();
      if (!report.clean()) warning = damagedOptionsWarning(batch.optionsFile, report);
    }
  } else {
    OptionsStore store(options);
    store.setStorageMode(StorageMode::orgRegistry);
    store.setAutoSave(false);
    warning = store.load().warning;
    options = store.options();
  }
  if (batch.service) options.serviceHost = *batch.service;
  if (batch.domain) options.serviceDomain = *batch.domain;
  if (batch.hosts) options.hostList = *batch.hosts;
  if (batch.rotate) options.multiHost = *batch.rotate;
  if (batch.hits) options.hitsPerPage = *batch.hits;
  if (batch.maxTransfers) options.maxRequests = *batch.maxTransfers;
  if (batch.transferTimeout) options.transferTimeout = *batch.transferTimeout;
  if (batch.homeSite) options.homeSite = *batch.homeSite;
  if (batch.proxy) {
    options.useProxy = !batch.proxy->empty();
    const auto colon = batch.proxy->rfind(':');
    if (colon != std::string::npos && batch.proxy->find(']', colon) == std::string::npos) {
      options.proxyURL = batch.proxy->substr(0, colon);
      options.proxyPort = batch.proxy->substr(colon + 1);
    } else {
      options.proxyURL = *batch.proxy;
      options.proxyPort = "80";
    }
  }
  if (batch.proxyUser) options.proxyUser = *batch.proxyUser;
  if (batch.proxyPassword) options.proxyPWD = *batch.proxyPassword;
  if (batch.caFile) options.trustedCertificates = *batch.caFile;
  return true;
}

bool sameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// SIGTERM, SIGINT and SIGHUP, read from a signalfd on the loop: stopping runs as an ordinary
// event (no work in a signal handler), so the transfers end and what was gathered is saved.
// The signals are blocked while the object lives; threads started meanwhile inherit that.
// A signal that the process ignores (SIGHUP under nohup) stays ignored.
class StopSignals {
 public:
  explicit StopSignals(EventLoop& loop) : loop_(loop) {
    sigemptyset(&set_);
    for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set_, number);
    ::pthread_sigmask(SIG_BLOCK, &set_, &previous_);
    fd_ = ::signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ >= 0) watch_ = loop_.addWatch(fd_, EventLoop::kReadable, [this](unsigned) { poll(); });
  }
  ~StopSignals() {
    if (fd_ >= 0) {
      loop_.removeWatch(watch_);
      ::close(fd_);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The first signal received, 0 while none came.
  int received() const { return received_; }
  // Takes in the signals that came; the loop does so whenever one comes.
  void poll() {
    signalfd_siginfo info{};
    while (fd_ >= 0 && ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
      if (received_ == 0) received_ = static_cast<int>(info.ssi_signo);
  }

 private:
  EventLoop& loop_;
  sigset_t set_{}, previous_{};
  int fd_ = -1;
  EventLoop::WatchId watch_ = 0;
  int received_ = 0;
};

// A text as the terminal may show it: CR LF become line ends (when `lines`), every other
// control character U+FFFD, so bytes from a page cannot move the cursor or recolour.
std::string printable(std::string_view text, bool lines) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (lines && byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if ((byte < 0x20 && !(lines && byte == '\n')) || byte == 0x7F)
      out += "\xEF\xBF\xBD";
    else
      out += text[i];
  }
  return out;
}

// The articles in list order, or with `threads` as reply trees (from the headers only:
// articles not yet downloaded are roots), each with its depth in its tree.
std::vector<std::pair<const Article*, int>> listingOrder(
    const std::vector<std::unique_ptr<Article>>& articles, bool threads) {
  std::vector<std::pair<const Article*, int>> order;
  order.reserve(articles.size());
  if (!threads) {
    for (const auto& article : articles) order.emplace_back(article.get(), 0);
    return order;
  }
  for (const auto& [at, depth] : groupThreads(articles, ThreadLinks::Headers).treeOrder())
    order.emplace_back(articles[static_cast<std::size_t>(at)].get(), depth);
  return order;
}

}  // namespace

BatchAgent::~BatchAgent() {
  if (logSink_ != stderr && logSink_ != nullptr) std::fclose(logSink_);
}

int BatchAgent::run(const BatchOptions& batch) {
  quiet_ = batch.quiet;
  progress_ = batch.progress && !batch.quiet && ::isatty(STDERR_FILENO);
  if (!batch.logFile.empty()) {
    logSink_ = std::fopen(batch.logFile.c_str(), "a");
    if (logSink_ == nullptr) {
      logSink_ = stderr;
      std::fprintf(stderr, "varnook-batch: cannot write the log file \"%s\"\n",
                   batch.logFile.c_str());
      return 2;
    }
  }

  VnkOptions options;
  std::string error, warning;
  if (!readOptions(batch, options, error, warning)) {
    std::fprintf(stderr, "varnook-batch: %s\n", error.c_str());
    return 2;
  }
  if (!warning.empty()) std::fprintf(stderr, "varnook-batch: warning: %s\n", warning.c_str());
  const CommandLine commandLine = parseCommandLine(batch.arguments);
  if (commandLine.kind == CommandLine::Kind::Words && batch.download && !batch.send) {
    std::fprintf(stderr,
                 "varnook-batch: --download without --send searches nothing for the words "
                 "given; add --send\n");
    return 2;
  }
  if (!batch.threads.empty() && batch.download && !batch.send) {
    std::fprintf(stderr,
                 "varnook-batch: --download without --send fetches nothing of the threads "
                 "given; add --send\n");
    return 2;
  }
  const std::string& input = commandLine.collectionPath;
  std::string savedTo = batch.output.empty() ? input : batch.output;

  // The file to be saved is locked before it is read, so a second run on it cannot save
  // over this one's articles. A run that sends nothing and names no output only reads.
  std::optional<FileLock> lock;
  if (!savedTo.empty() && (!batch.output.empty() || batch.send || batch.download ||
                           commandLine.kind != CommandLine::Kind::None || !batch.threads.empty())) {
    lock.emplace(savedTo);
    if (lock->status() == FileLock::Status::InUse) {
      std::fprintf(stderr, "varnook-batch: %s\n", lock->message().c_str());
      return 2;
    }
    // Any other failure to lock is left to the save, which says what stops it.
    if (lock->error() == kNotRegularFile || lock->error() == EISDIR) {
      std::fprintf(stderr, "varnook-batch: cannot save \"%s\": %s\n", savedTo.c_str(),
                   fileErrorText(lock->error()).c_str());
      return 2;
    }
  }

  PollLoop loop;
  StopSignals signals(loop);
  Collection collection({nowLocal, [&loop](double seconds) {
                           loop.processEvents(static_cast<int>(seconds * 1000) + 1);
                         }});
  collection_ = &collection;
  // Asked once a run at most: a failed check is not repeated before every download.
  std::optional<HomeSite> homeSite;
  if (!batch.noUpdateCheck) {
    homeSite.emplace(loop, options, *this);
    homeSite->retryAfterMs = -1;
  }
  Scheduler scheduler(collection, loop, options, *this, homeSite ? &*homeSite : nullptr);
  // Every transfer goes to its own end and is reported; nobody is there to resume.
  scheduler.pauseOnOutage = false;
  scheduler.pageLimit = batch.pages;
  scheduler.cacheFolder = XdgDirs::fromEnvironment().programCacheFolder();
  scheduler.userAgent = std::string("Varnook/") + kVersion;
  collection.markNewArticles = !batch.noMark;

  if (!commandLine.collectionPath.empty()) {
    const LoadResult loaded = loadCollection(collection, commandLine.collectionPath);
    if (!loaded.ok()) {
      std::fprintf(stderr, "%s\n", loaded.message.c_str());
      return 2;
    }
  }

  std::vector<Request*> toSend;
  const ServiceSettings service = options.serviceSettings();
  if (commandLine.kind == CommandLine::Kind::Query) {
    auto request = collection.newRequest();
    const std::string parseError = parseQueryParameters(*request, commandLine.queryParameters);
    if (!parseError.empty()) {
      std::fprintf(stderr, "varnook-batch: %s\n", parseError.c_str());
      return 2;
    }
    request->url = buildQueryUrl(*request, false, service);
    Request& added = collection.appendRequest(std::move(request));
    if (commandLine.run || batch.send) toSend.push_back(&added);
  } else if (commandLine.kind == CommandLine::Kind::Words) {
    auto request = collection.newRequest();
    request->keywords = commandLine.keywords;
    request->author = commandLine.authors;
    request->subject = commandLine.subjects;
    request->forum = commandLine.groups;
    request->url = buildQueryUrl(*request, false, service);
    Request& added = collection.appendRequest(std::move(request));
    if (batch.send) toSend.push_back(&added);
  } else if (batch.send && batch.threads.empty()) {
    for (const auto& request : collection.requests()) toSend.push_back(request.get());
  }
  for (std::uint32_t thread : batch.threads) {
    auto request = collection.newRequest();
    request->thread = thread;
    request->url = buildQueryUrl(*request, false, service);
    Request& added = collection.appendRequest(std::move(request));
    if (batch.send) toSend.push_back(&added);
  }

  for (Request* request : toSend) scheduler.send(*request);
  if (batch.download) scheduler.setAutoDownload(true);
  loop.runUntil([&] { return signals.received() != 0 || !scheduler.busy(); }, -1);
  if (signals.received() != 0) {
    log(std::string("Stopped by SIG") + sigabbrev_np(signals.received()) +
        ": the transfers were ended, what was gathered is saved");
    scheduler.stopAll();
    loop.runUntil([&] { return !scheduler.busy(); }, 5000);
  }
  printProgress(true);

  int status = failed_ ? 1 : 0;
  // A run that changed nothing leaves its input as it was.
  if (!collection.modified() && !input.empty() && sameFile(savedTo, input)) savedTo.clear();
  if (!savedTo.empty()) {
    const SaveResult saved = saveCollection(collection, savedTo);
    if (!saved.ok) {
      std::fprintf(stderr, "varnook-batch: cannot save \"%s\": %s\n", savedTo.c_str(),
                   saved.message.c_str());
      savedTo.clear();
      status = 1;
    }
  }
  if (!quiet_) printSummary(collection, savedTo);
  if (batch.list) {
    const auto& requests = collection.requests();
    const bool threads = std::any_of(requests.begin(), requests.end(),
                                     [](const auto& request) { return request->thread != 0; });
    for (const auto& [article, depth] : listingOrder(collection.articles(), threads))
      std::printf("%u\t%s\t%s\t%*s%s\n", article->number, formatShortDate(article->date).c_str(),
                  printable(article->author, false).c_str(), 2 * std::min(depth, 40), "",
                  printable(article->subject, false).c_str());
  }
  collection_ = nullptr;
  signals.poll();  // one that came while the file was saved counts too
  return signals.received() != 0 ? 128 + signals.received() : status;
}

void BatchAgent::log(const std::string& line) {
  if (quiet_) return;
  if (progress_) std::fputs("\r\033[K", stderr);
  std::fprintf(logSink_, "%s\n", printable(line, true).c_str());
  std::fflush(logSink_);
}

void BatchAgent::transferFailed(const ArticleBase& object, const std::string& line) {
  failed_ = true;
  ++failures_;
  if (object.listKind() == ListKind::Articles) ++failedArticles_;
  // On standard error, also when quiet, and in the log file too.
  const std::string text = printable(line, true);
  if (logSink_ != stderr) {
    std::fprintf(logSink_, "%s\n", text.c_str());
    std::fflush(logSink_);
  }
  if (progress_) std::fputs("\r\033[K", stderr);
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

bool BatchAgent::askYesNo(const std::string& text) {
  log(text + " [answered No]");
  return false;
}

bool BatchAgent::askOkCancel(const std::string& text) {
  log(text + " [answered Cancel]");
  return false;
}

void BatchAgent::openInBrowser(const std::string& path) {
  log("Not opened: " + path);
}
void BatchAgent::openUrl(const std::string& url) {
  log("Not opened: " + url);
}
void BatchAgent::openInHelpViewer(const std::string& url) {
  log("Not opened: " + url);
}

void BatchAgent::showUpdateStatus(const std::string&) {}

void BatchAgent::countsChanged(const TransferCounts&) {
  printProgress(false);
}

void BatchAgent::printProgress(bool final) {
  if (!progress_ || collection_ == nullptr) return;
  int pages = 0, found = 0;
  for (const auto& request : collection_->requests()) {
    pages += request->pages;
    found += request->unique;
  }
  std::fprintf(stderr, "\r\033[Kpages %d, articles found %d, downloaded %d, failed %d%s", pages,
               found, collection_->loadedArticles(), failedArticles_, final ? "\n" : "");
  std::fflush(stderr);
}

void BatchAgent::printSummary(const Collection& collection, const std::string& savedTo) const {
  std::fprintf(stderr, "%zu requests, %zu articles, %d loaded, %d failed%s%s\n",
               collection.requests().size(), collection.articles().size(),
               collection.loadedArticles(), failures_, savedTo.empty() ? "" : "; saved to ",
               savedTo.c_str());
}

}  // namespace varnook
