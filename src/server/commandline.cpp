#include "server/commandline.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/decimal.h"
#include "base/xdgdirs.h"
#include "server/archiveindex.h"
#include "server/archiveservice.h"
#include "server/democorpus.h"
#include "server/httpserver.h"
#include "server/indexrun.h"
#include "server/indexschema.h"
#include "server/pages.h"
#include "server/pullrun.h"
#include "server/textutil.h"
#include "server/tlsfiles.h"
#include "varnook/version.h"

namespace varnook::server {
namespace {

struct CommandHelp {
  const char* name;
  const char* synopsis;     // after "varnook-archive "
  const char* description;  // indented, as --help shows it
};

constexpr CommandHelp kCommands[] = {
    {"index",
     "index [--db DIR] [--first-number N] [--groups-rules FILE] [--jobs N]\n"
     "                        [--progress] [--termlist] PATH...",
     R"(index   Adds articles to the index: PATH is an mbox file (mboxrd or mboxo, plain or
        .gz), a news spool folder (one article per file, searched recursively) or a
        Maildir. Articles whose Message-ID the index holds already are skipped, so a
        repeated or interrupted run completes the index. DIR must be an index, an
        empty folder or a new one. SIGINT or SIGTERM stops a run within seconds; the
        articles since its last checkpoint (every 100,000 articles, or half the
        index's size when that is more) are added by the next run.
          --first-number N    first article number of a new index (default 1); give
                              shards disjoint ranges to search them together
          --groups-rules FILE lines "<pattern> adult|jobs|forsale" replacing the
                              default archive rules (*.jobs*, *.forsale*, alt.sex*, ...)
          --jobs N            threads that parse and index articles (default: one per
                              core); the index is the same whatever the number
          --progress          show files, articles and articles per second while running
          --termlist          keep term lists in a new index: needed to serve it to
                              other machines with xapian-tcpsrv (about 40% larger)
)"},
    {"pull",
     "pull  [--db DIR] [--user NAME --password-file FILE] [--connections N]\n"
     "                        [--max-rate ARTICLES/S] [--ca-file FILE] [--groups-rules FILE]\n"
     "                        [--progress] URL...",
     R"(pull    Adds the new articles of newsgroups on news servers to the index, through the
        same rules as index. URL is news://HOST[:PORT]/PATTERN, or nntps://... for TLS
        from the first byte (port 563 by default; the certificate is verified against
        the system's trust store and the host name), PATTERN a wildmat
        ("comp.lang.c++", "comp.os.linux.*", "*,!alt.binaries.*"). The index records
        where each group stands, so a repeated or interrupted pull fetches only what is
        new; run it from cron to follow live groups.
          --user NAME         log in (AUTHINFO USER/PASS) with this name; the password
                              comes from --password-file FILE (its first line) or the
                              environment variable VARNOOK_NNTP_PASSWORD
          --connections N     connections to each server, 1 to 4 (default 1)
          --max-rate N        at most N articles per second (default: no limit)
          --ca-file FILE      PEM certificates trusted for nntps besides the system's
                              (for a server with a private authority)
          --groups-rules FILE and --progress as for index
)"},
    {"serve",
     "serve [--db DIR|STUB] [--listen ADDR:PORT] [--domain DOMAIN[:PORT]]\n"
     "                        [--service HOST[:PORT]] [--update-info FILE] [--threads N]\n"
     "                        [--tls-cert FILE --tls-key FILE [--hsts]]",
     R"(serve   Answers the agent and browsers over HTTP (or HTTPS): / (search form), .../dnquery.xp
        (search), .../getdoc.xp?AN=N[&fmt=text] (articles), .../profile.xp?author=A
        (posting profiles), /varnook/update.txt (update information).
          --db DIR|STUB       an index folder, or a Xapian stub file listing shards
                              (local folders, or "remote host:port" for xapian-tcpsrv)
          --listen ADDR:PORT  where to listen (default 127.0.0.1:8119; port 0 picks a
                              free port, printed on the first line of output)
          --service HOST      the service host links use when an HTTP/1.0 request has
                              no Host header (default localhost:8119)
          --domain DOMAIN     the agent's article server domain (default localhost:8119;
                              article servers are named like x1.localhost:8119)
          --update-info FILE  name=value lines for update.txt (NewestVersion,
                              OldestValidVersion, RevisionsURL, MessageUrl, MessageSubject)
          --threads N         request threads (default: two per core); a quarter of
                              them (at least one) run searches and profiles, so that
                              articles and the front page stay quick under heavy queries
          --tls-cert FILE     serve HTTPS with this PEM certificate (chain) ...
          --tls-key FILE      ... and its PEM private key; links then use https, and
                              agents name the service "https://HOST[:PORT]"
          --hsts              with TLS: tell browsers to use HTTPS only from now on
                              (Strict-Transport-Security)
)"},
    {"demo", "demo  [--db DIR] [--corpus DIR]",
     R"(demo    Writes the built-in demo corpus (about 2,000 articles) as a news spool and
        indexes it. --corpus DIR: where the spool goes (default beside the index).
)"},
    {"stats", "stats [--db DIR]", R"(stats   Shows what the index holds.
)"},
};

constexpr const char* kDatabaseNote =
    "\n--db defaults to $XDG_DATA_HOME/varnook/archive (~/.local/share/varnook/archive).\n";

std::string usage() {
  std::string text = "Usage:\n";
  for (const CommandHelp& command : kCommands)
    text += std::string("  varnook-archive ") + command.synopsis + "\n";
  text +=
      "  varnook-archive --help | --version | COMMAND --help\n\n"
      "A local Usenet archive for the Varnook news search agent.\n\n";
  for (const CommandHelp& command : kCommands) text += command.description;
  return text + kDatabaseNote;
}

// True (after printing the command's help) when the words ask for it.
bool printedCommandHelp(const std::string& name, int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") break;
    if (word != "--help" && word != "-h") continue;
    for (const CommandHelp& command : kCommands)
      if (name == command.name)
        std::cout << "Usage: varnook-archive " << command.synopsis << "\n\n"
                  << command.description << kDatabaseNote;
    return true;
  }
  return false;
}

std::string defaultDataFolder() {
  const std::string folder = XdgDirs::fromEnvironment().programDataFolder();
  return folder.empty() ? std::string("varnook-data") : folder;
}

int usageError(const std::string& message) {
  std::cerr << "varnook-archive: " << message << "\nTry 'varnook-archive --help'.\n";
  return 2;
}

int failure(const std::string& message) {
  std::cerr << "varnook-archive: " << message << '\n';
  return 1;
}

// The words after the command, read one option at a time.
class Arguments {
 public:
  Arguments(int argc, char** argv, int first) {
    for (int i = first; i < argc; ++i) words_.emplace_back(argv[i]);
  }
  bool done() const { return next_ >= words_.size(); }
  std::string take() { return words_[next_++]; }
  // The value after an option; nothing when it is missing.
  std::optional<std::string> value() {
    if (done()) return std::nullopt;
    return take();
  }

 private:
  std::vector<std::string> words_;
  std::size_t next_ = 0;
};

std::optional<std::uint32_t> parsePositive(const std::string& text) {
  const auto value = parseDecimal<std::uint32_t>(text);
  if (value == 0u) return std::nullopt;
  return value;
}

std::atomic<bool> stopRequested{false};
extern "C" void onStopSignal(int) {
  stopRequested.store(true);
}

int reportIndexRun(const IndexRunSummary& summary) {
  if (!summary.error.empty()) return failure(summary.error);
  std::cout << summaryText(summary) << std::endl;
  return summary.interrupted ? 130 : 0;
}

IndexRunSummary indexWithSignals(IndexRunOptions& options) {
  options.stop = &stopRequested;
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  return runIndex(options, std::cerr, std::cerr);
}

int commandIndex(Arguments& args) {
  IndexRunOptions options;
  options.databasePath = defaultDataFolder() + "/archive";
  bool onlyPaths = false;
  while (!args.done()) {
    const std::string word = args.take();
    if (onlyPaths || word.empty() || word[0] != '-') {
      options.paths.push_back(word);
    } else if (word == "--") {
      onlyPaths = true;
    } else if (word == "--db") {
      auto value = args.value();
      if (!value) return usageError("--db needs a folder");
      options.databasePath = *value;
    } else if (word == "--first-number") {
      auto value = args.value();
      auto number = value ? parsePositive(*value) : std::nullopt;
      if (!number) return usageError("--first-number needs a number from 1 to 4294967295");
      options.firstNumber = *number;
    } else if (word == "--groups-rules") {
      auto value = args.value();
      if (!value) return usageError("--groups-rules needs a file");
      std::string error;
      auto rules = GroupRules::load(*value, error);
      if (!rules) return failure(error);
      options.rules = std::move(*rules);
    } else if (word == "--jobs") {
      auto value = args.value();
      auto jobs = value ? parsePositive(*value) : std::nullopt;
      if (!jobs || *jobs > kMaxJobs)
        return usageError("--jobs needs a number from 1 to " + std::to_string(kMaxJobs));
      options.threads = *jobs;
    } else if (word == "--progress") {
      options.progress = true;
    } else if (word == "--termlist") {
      options.termlist = true;
    } else {
      return usageError("unknown option for index: " + word);
    }
  }
  if (options.paths.empty()) return usageError("index needs at least one PATH");
  return reportIndexRun(indexWithSignals(options));
}

// The password of --password-file (its first line) or of the environment.
std::optional<std::string> readPassword(const std::optional<std::string>& file,
                                        std::string& error) {
  if (!file) {
    const char* value = std::getenv("VARNOOK_NNTP_PASSWORD");
    if (value) return std::string(value);
    error = "--user needs --password-file FILE or VARNOOK_NNTP_PASSWORD";
    return std::nullopt;
  }
  auto text = readConfigurationFile(*file, error);
  if (!text) return std::nullopt;
  return text->substr(0, text->find_first_of("\r\n"));
}

int commandPull(Arguments& args) {
  PullOptions options;
  options.databasePath = defaultDataFolder() + "/archive";
  std::optional<std::string> passwordFile;
  while (!args.done()) {
    const std::string word = args.take();
    if (word.empty() || word[0] != '-') {
      std::string error;
      auto source = parsePullUrl(word, error);
      if (!source) return usageError(error);
      options.sources.push_back(std::move(*source));
      continue;
    }
    if (word == "--progress") {
      options.progress = true;
      continue;
    }
    auto value = args.value();
    if (!value) return usageError(word + " needs a value");
    if (word == "--db") {
      options.databasePath = *value;
    } else if (word == "--user") {
      options.login.user = *value;
    } else if (word == "--password-file") {
      passwordFile = *value;
    } else if (word == "--connections") {
      auto count = parsePositive(*value);
      if (!count || *count > 4) return usageError("--connections needs a number from 1 to 4");
      options.connections = *count;
    } else if (word == "--max-rate") {
      auto rate = parsePositive(*value);
      if (!rate) return usageError("--max-rate needs a number of articles per second");
      options.maxRate = *rate;
    } else if (word == "--ca-file") {
      options.trustedCertificates = *value;
    } else if (word == "--groups-rules") {
      std::string error;
      auto rules = GroupRules::load(*value, error);
      if (!rules) return failure(error);
      options.rules = std::move(*rules);
    } else {
      return usageError("unknown option for pull: " + word);
    }
  }
  if (options.sources.empty()) return usageError("pull needs at least one news:// or nntps:// URL");
  if (passwordFile && options.login.user.empty()) return usageError("--password-file needs --user");
  if (!options.login.user.empty()) {
    std::string error;
    auto password = readPassword(passwordFile, error);
    if (!password) return usageError(error);
    options.login.password = std::move(*password);
  }
  // Both go to the server inside a command line.
  if (options.login.user.find_first_of(" \t\r\n") != std::string::npos ||
      options.login.password.find_first_of("\r\n") != std::string::npos)
    return usageError("the user name must be one word, the password one line");

  options.stop = &stopRequested;
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const PullSummary summary = runPull(options, std::cerr, std::cerr);
  for (const std::string& error : summary.errors) std::cerr << "varnook-archive: " << error << '\n';
  std::cout << pullSummaryText(summary) << std::endl;
  if (summary.interrupted) return 130;
  return summary.errors.empty() ? 0 : 1;
}

int commandServe(Arguments& args) {
  std::string database = defaultDataFolder() + "/archive";
  HttpServer::Options http;
  http.threads = std::max(2u, 2 * std::thread::hardware_concurrency());
  ServiceConfig config;
  std::optional<std::string> updateFile, certificateFile, keyFile;
  while (!args.done()) {
    const std::string word = args.take();
    if (word == "--hsts") {
      http.hsts = true;
      continue;
    }
    auto value = args.value();
    if (!value) return usageError(word + " needs a value");
    if (word == "--db") {
      database = *value;
    } else if (word == "--listen") {
      http.listen = *value;
    } else if (word == "--domain") {
      config.serviceDomain = *value;
    } else if (word == "--service") {
      if (!usableHost(*value)) return usageError("--service needs a host name or address");
      config.serviceHost = *value;
    } else if (word == "--update-info") {
      updateFile = *value;
    } else if (word == "--tls-cert") {
      certificateFile = *value;
    } else if (word == "--tls-key") {
      keyFile = *value;
    } else if (word == "--threads") {
      auto threads = parsePositive(*value);
      if (!threads || *threads > 256) return usageError("--threads needs a number from 1 to 256");
      http.threads = *threads;
    } else {
      return usageError("unknown option for serve: " + word);
    }
  }
  if (certificateFile.has_value() != keyFile.has_value())
    return usageError("--tls-cert and --tls-key go together");
  if (http.hsts && !certificateFile) return usageError("--hsts needs --tls-cert and --tls-key");
  if (certificateFile) {
    std::string error;
    auto tls = loadTlsFiles(*certificateFile, *keyFile, error);
    if (!tls) return failure(error);
    http.tlsCertificate = std::move(tls->certificate);
    http.tlsKey = std::move(tls->key);
    config.secure = true;
  }
  if (updateFile) {
    std::string error;
    auto update = UpdateInfo::load(*updateFile, error);
    if (!update) return failure(error);
    config.update = std::move(*update);
  }
  std::string error;
  std::unique_ptr<ArchiveIndex> index = ArchiveIndex::open(database, error);
  if (!index && error.find(schema::kReindexAdvice) != std::string::npos) return failure(error);
  if (!index)
    return failure(error +
                   "\n(build an index first: varnook-archive index --db DIR PATH..., "
                   "or varnook-archive demo)");

  // Signals are taken by this thread alone: block them before the server threads start.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  ArchiveService service(*index, config);
  // A quarter of the threads (at least one) take the searches and profiles.
  const unsigned threads = http.threads;
  http.expensiveThreads = std::max(1u, threads / 4);
  http.threads = std::max(1u, threads - http.expensiveThreads);
  http.isExpensive = &ArchiveService::isExpensive;
  std::unique_ptr<HttpServer> server = HttpServer::start(
      http, [&service](const HttpRequest& request) { return service.handle(request); }, error);
  if (!server) return failure(error);
  std::cout << "Listening on " << (config.secure ? "https://" : "http://") << server->address()
            << "/ (index " << database << "; agent service host " << config.serviceHost
            << ", domain " << config.serviceDomain << ")" << std::endl;
  int received = 0;
  sigwait(&signals, &received);
  std::cout << "Stopping." << std::endl;
  server.reset();
  return 0;
}

int commandDemo(Arguments& args) {
  std::string database = defaultDataFolder() + "/archive";
  std::optional<std::string> corpus;
  while (!args.done()) {
    const std::string word = args.take();
    auto value = args.value();
    if (!value) return usageError(word + " needs a folder");
    if (word == "--db") {
      database = *value;
    } else if (word == "--corpus") {
      corpus = *value;
    } else {
      return usageError("unknown option for demo: " + word);
    }
  }
  if (!corpus) {
    std::filesystem::path parent = std::filesystem::path(database).parent_path();
    if (parent.empty()) parent = ".";
    corpus = (parent / "demo-corpus").string();
  }
  std::string error;
  const long written = writeDemoSpool(*corpus, error);
  if (written < 0) return failure(error);
  std::cout << "Wrote " << written << " demo articles to " << *corpus << std::endl;
  IndexRunOptions options;
  options.databasePath = database;
  options.paths = {*corpus};
  return reportIndexRun(indexWithSignals(options));
}

int commandStats(Arguments& args) {
  std::string database = defaultDataFolder() + "/archive";
  while (!args.done()) {
    const std::string word = args.take();
    auto value = args.value();
    if (word != "--db" || !value) return usageError("stats takes only --db DIR");
    database = *value;
  }
  std::string error;
  std::unique_ptr<ArchiveIndex> index = ArchiveIndex::open(database, error);
  if (!index) return failure(error);
  try {
    const IndexStatistics stats = index->statistics();
    std::cout << "Index:      " << database << "\nArticles:   " << groupedNumber(stats.articles)
              << "\nNext number: " << stats.nextNumber << "\n";
    if (stats.first != kUnknownDate)
      std::cout << "Dates:      " << formatListDate(stats.first) << " to "
                << formatListDate(stats.last) << "\n";
    if (stats.threads > 0)
      std::cout << "Threads:    " << groupedNumber(stats.threads) << " (the largest has "
                << groupedNumber(stats.largestThread) << " articles: thread of article "
                << stats.largestThreadNumber << ")\n";
    std::cout << "Archives:  ";
    for (const auto& [name, count] : stats.archives)
      std::cout << " " << name << " " << count << ";";
    std::cout << "\nNewsgroups: " << stats.groups.size() << "\n";
    for (const auto& [group, count] : stats.groups)
      std::cout << "  " << group << " " << count << "\n";
    std::error_code code;
    std::uintmax_t bytes = 0;
    if (std::filesystem::is_directory(database, code))
      for (auto& entry : std::filesystem::recursive_directory_iterator(database, code))
        if (entry.is_regular_file(code)) bytes += entry.file_size(code);
    if (bytes > 0) std::cout << "Size:       " << groupedNumber(bytes) << " bytes\n";
  } catch (const Xapian::Error& e) {
    return failure(database + ": " + e.get_description());
  }
  return 0;
}

}  // namespace

int runCommandLine(int argc, char** argv) {
  if (argc < 2) return usageError("a command is needed (index, serve, pull, demo or stats)");
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << usage();
    return 0;
  }
  if (command == "--version") {
    std::cout << "varnook-archive " << kVersion << std::endl;
    return 0;
  }
  const bool known = std::any_of(std::begin(kCommands), std::end(kCommands),
                                 [&](const CommandHelp& c) { return command == c.name; });
  if (known && printedCommandHelp(command, argc, argv)) return 0;
  Arguments args(argc, argv, 2);
  try {
    if (command == "index") return commandIndex(args);
    if (command == "serve") return commandServe(args);
    if (command == "demo") return commandDemo(args);
    if (command == "pull") return commandPull(args);
    if (command == "stats") return commandStats(args);
  } catch (const std::exception& e) {
    return failure(e.what());
  }
  return usageError("unknown command '" + command + "'");
}

}  // namespace varnook::server
