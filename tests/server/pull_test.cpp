// Pulling newsgroups from a real news server: INN on a loopback port, started once for
// the suite (one process runs all these tests) and fed with articles of the test corpus.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "server/articleingest.h"
#include "server/pullrun.h"
#include "serversupport.h"
#include "support/testcertificates.h"

namespace varnook::server {
namespace {

using testing::TempFolder;
using Strings = std::vector<std::string>;

// A program of scratch-inn.sh on a free loopback port: INN with its files in a temporary
// folder ("start" with the groups), or nnrpd in front of it speaking TLS from the first
// byte ("tls" with a certificate and key).
class ScratchInn : public testing::LoopbackServer {
 public:
  static std::unique_ptr<ScratchInn> start(const std::string& command, const Strings& more,
                                           std::string* error, const ScratchInn* inn = nullptr) {
    auto server = std::make_unique<ScratchInn>();
    server->inn_ = inn ? inn : server.get();
    const auto configure = [&]() -> Strings {
      Strings arguments = {kScript, command, server->folder(), std::to_string(server->port())};
      arguments.insert(arguments.end(), more.begin(), more.end());
      return arguments;
    };
    return server->launch("bash", 1, configure, error) ? std::move(server) : nullptr;
  }
  ~ScratchInn() {
    if (inn_ == this) script({"stop"});
  }

  testing::ProgramResult script(Strings arguments) const {
    arguments.insert(arguments.begin() + 1, folder());
    arguments.insert(arguments.begin(), {testing::findProgram("bash"), kScript});
    return testing::runProgram(arguments);
  }
  std::string url(const std::string& pattern) const {
    return (inn_ == this ? "news" : "nntps") + std::string("://127.0.0.1:") +
           std::to_string(port()) + "/" + pattern;
  }
  std::string folder() const { return inn_->folder_.path(); }

  static constexpr const char* kScript = VARNOOK_SOURCE_DIR "/tests/server/scratch-inn.sh";

 private:
  const ScratchInn* inn_ = nullptr;
};

class Pull : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    files_ = std::make_unique<TempFolder>();
    if (testing::runProgram(
            {testing::findProgram("bash"), ScratchInn::kScript, "check", files_->path()})
            .status != 0) {
      skipReason_ = "INN cannot run here (scratch-inn.sh check)";
      return;
    }
    inn_ = ScratchInn::start(
        "start",
        {"talk.politics.guns", "talk.politics.misc", "sci.space", "local.login", "local.renumber"},
        &skipReason_);
    if (!inn_) return;
    for (const auto& [group, count] :
         {std::pair{"talk.politics.guns", 300}, {"talk.politics.misc", 300}, {"sci.space", 400}}) {
      const Strings some = corpusFiles(group, count);
      corpus_.insert(corpus_.end(), some.begin(), some.end());
    }
    feed(corpus_);
    feed(generated("local.login", 1, 5));
  }
  static void TearDownTestSuite() {
    inn_.reset();
    files_.reset();
  }
  void SetUp() override {
    if (!inn_) GTEST_SKIP() << skipReason_;
  }

  static void feed(const Strings& files) {
    Strings arguments = {"feed"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    ASSERT_EQ(inn_->script(arguments).status, 0);
  }

  // The first `count` articles of a corpus group; generated ones without the corpus.
  static Strings corpusFiles(const std::string& group, int count) {
    const std::string folder = std::string(VARNOOK_CORPUS_SPOOL) + "/" + group;
    if (!std::filesystem::is_directory(folder)) return generated(group, 1, count);
    std::vector<long> numbers;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      numbers.push_back(std::stol(entry.path().filename().string()));
    std::sort(numbers.begin(), numbers.end());
    numbers.resize(std::min(numbers.size(), static_cast<std::size_t>(count)));
    Strings files;
    for (long number : numbers) files.push_back(folder + "/" + std::to_string(number));
    return files;
  }

  // Articles `first` to `last` of a test group, written as files to feed.
  static Strings generated(const std::string& group, int first, int last) {
    Strings files;
    for (int i = first; i <= last; ++i) {
      testing::TestArticle article;
      article.newsgroups = group;
      article.subject = group + " article " + std::to_string(i);
      article.messageId = "<" + std::to_string(i) + "." + group + "@test>";
      files.push_back(*files_ / (group + "." + std::to_string(i)));
      EXPECT_TRUE(testing::writeFile(files.back(), "Path: test\n" + article.text()));
    }
    return files;
  }

  // The corpus articles posted to a group the pattern matches, and their Message-IDs.
  static Strings postedTo(const std::string& pattern) {
    Strings files;
    for (const std::string& file : corpus_) {
      const auto groups = ingestArticle(testing::readFile(file)).article->groups;
      if (std::any_of(groups.begin(), groups.end(),
                      [&](const std::string& group) { return wildmatMatch(pattern, group); }))
        files.push_back(file);
    }
    return files;
  }
  static std::set<std::string> idsOf(const Strings& files) {
    std::set<std::string> ids;
    for (const std::string& file : files) ids.insert(quickMessageId(testing::readFile(file)));
    return ids;
  }

  // Every article of an index, by Message-ID, as the agent would read it.
  static std::map<std::string, std::string> contents(const std::string& database) {
    std::map<std::string, std::string> texts;
    const auto index = testing::openIndex(database);
    const std::uint32_t next = index->statistics().nextNumber;
    for (std::uint32_t number = 1; number < next; ++number) {
      if (auto article = index->article(number)) {
        EXPECT_TRUE(texts.emplace(article->messageId, article->plainText()).second)
            << "held twice: " << article->messageId;
      }
    }
    return texts;
  }
  static std::set<std::string> idsIn(const std::string& database) {
    std::set<std::string> ids;
    for (const auto& [id, text] : contents(database)) ids.insert(id);
    return ids;
  }

  static PullOptions options(const std::string& database, const std::string& pattern) {
    PullOptions options;
    std::string error;
    options.databasePath = database;
    options.sources = {*parsePullUrl(inn_->url(pattern), error)};
    options.retryDelay = std::chrono::milliseconds(100);
    return options;
  }
  static PullSummary pull(const PullOptions& options) {
    std::ostringstream log;
    PullSummary summary = runPull(options, log, log);
    for (const std::string& error : summary.errors) ADD_FAILURE() << error << "\n" << log.str();
    return summary;
  }

  // Waits until a reader is connected (10 s at most), then runs "readers" or "drop":
  // the number of readers.
  static int readers(const std::string& command) {
    for (int i = 0; i < 100 && std::atoi(inn_->script({"readers"}).output.c_str()) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return std::atoi(inn_->script({command}).output.c_str());
  }

  // Pulls into folder/"index" with `arguments`: the status and a text of its output.
  static void expectPull(const TempFolder& folder, Strings arguments, int status,
                         const std::string& text) {
    arguments.insert(arguments.begin(), {"pull", "--db", folder / "index"});
    const auto result = testing::runArchive(arguments);
    EXPECT_EQ(result.status, status) << result.output;
    EXPECT_NE(result.output.find(text), std::string::npos) << result.output;
  }

  static inline std::unique_ptr<ScratchInn> inn_;
  static inline std::unique_ptr<TempFolder> files_;
  static inline Strings corpus_;
  static inline std::string skipReason_;
};

TEST_F(Pull, AnswersTheSameSearchesAsAnIndexOfTheArticlesAndFetchesNothingTwice) {
  TempFolder folder;
  const Strings files = postedTo("talk.politics.guns,talk.politics.misc");
  const std::set<std::string> expected = idsOf(files);
  const Strings command = {
      "pull",          "--db", folder / "pulled",
      "--connections", "2",    inn_->url("talk.politics.*,!talk.politics.mideast")};
  const auto first = testing::runArchive(command);
  EXPECT_EQ(first.status, 0) << first.output;
  // Cross-posted articles are fetched from the first group only.
  EXPECT_NE(first.output.find("Pulled 2 groups from 1 server: " + std::to_string(expected.size()) +
                              " new articles, "),
            std::string::npos)
      << first.output;

  // The same stored articles as an index of the files: the pull feeds the same index run,
  // so what is searched is what these texts hold.
  testing::indexPaths(folder / "indexed", files);
  EXPECT_EQ(idsIn(folder / "pulled"), expected);
  EXPECT_TRUE(contents(folder / "pulled") == contents(folder / "indexed"));

  const auto again = testing::runArchive(command);
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.output.find(": 0 new articles, 0 skipped (held already), 0 failed"),
            std::string::npos)
      << again.output;
}

TEST_F(Pull, ReadsARenumberedGroupAgainFromItsStart) {
  TempFolder folder;
  const PullOptions renumbered = options(folder / "index", "local.renumber");
  feed(generated("local.renumber", 1, 10));
  EXPECT_EQ(pull(renumbered).added, 10u);
  // The group starts afresh: its numbers up to 12 name other articles now.
  ASSERT_EQ(inn_->script({"renumber", "local.renumber"}).status, 0);
  feed(generated("local.renumber", 11, 22));
  EXPECT_EQ(pull(renumbered).added, 12u);
  EXPECT_EQ(idsIn(folder / "index").size(), 22u);
}

TEST_F(Pull, ResumesWithoutGapsOrDuplicatesAfterLostConnections) {
  TempFolder folder;
  const std::set<std::string> expected = idsOf(postedTo("sci.space"));
  PullOptions slow = options(folder / "index", "sci.space");
  slow.maxRate = 100;
  slow.connections = 2;
  PullSummary interrupted;
  std::thread running([&] {
    std::ostringstream log;
    interrupted = runPull(slow, log, log);
  });
  // The index is published at the end only, after the script below has run: a child
  // process forked while Xapian opens a database for writing would hold its lock.
  struct Join {
    std::thread& thread;
    ~Join() { thread.join(); }
  };
  {
    const Join join{running};
    // The first loss is overcome on new connections; while the server refuses them, the
    // tries run out and the pull ends early.
    EXPECT_GT(readers("drop"), 0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(inn_->script({"ctlinnd", "reject", "closed for a test"}).status, 0);
    EXPECT_GT(readers("drop"), 0);
  }
  EXPECT_EQ(inn_->script({"ctlinnd", "allow", "closed for a test"}).status, 0);
  ASSERT_EQ(interrupted.errors.size(), 1u);
  EXPECT_NE(interrupted.errors[0].find("gave up after 3 tries"), std::string::npos)
      << interrupted.errors[0];
  EXPECT_GT(interrupted.added, 50u);
  EXPECT_LT(interrupted.added, expected.size());

  const PullSummary completed = pull(options(folder / "index", "sci.space"));
  EXPECT_EQ(completed.fetched, expected.size() - interrupted.added);
  EXPECT_EQ(completed.added, completed.fetched);
  EXPECT_EQ(idsIn(folder / "index"), expected);
}

TEST_F(Pull, LogsInWhenTheServerWantsAReaderPassword) {
  TempFolder folder;
  ASSERT_EQ(inn_->script({"login", "reader", "s3cret"}).status, 0);
  struct OpenAgain {
    ~OpenAgain() { inn_->script({"login"}); }
  } openAgain;
  testing::writeFile(folder / "right", "s3cret\n");
  testing::writeFile(folder / "wrong", "secret\n");
  const std::string url = inn_->url("local.login");
  expectPull(folder, {url}, 1, "requires a login (480");
  expectPull(folder, {"--user", "reader", "--password-file", folder / "wrong", url}, 1,
             "login refused (481");
  expectPull(folder, {"--user", "reader", "--password-file", folder / "right", url}, 0,
             ": 5 new articles");
}

TEST_F(Pull, FollowsGroupsOverTlsOnlyFromServersWithAVerifiedCertificate) {
  std::string error;
  const auto certificates = testing::TestCertificates::make(&error);
  ASSERT_TRUE(certificates) << error;
  const auto good = ScratchInn::start(
      "tls", {certificates->good().certificate, certificates->good().key}, &error, inn_.get());
  ASSERT_TRUE(good) << error;
  TempFolder folder;
  expectPull(folder, {good->url("sci.space")}, 1, "Certificate verify failed: unknown issuer");
  Strings arguments = {"--ca-file", certificates->authority(), "--connections", "2",
                       good->url("sci.space")};
  expectPull(folder, arguments, 0, "Pulled 1 group from 1 server: ");
  EXPECT_EQ(idsIn(folder / "index"), idsOf(postedTo("sci.space")));
}

}  // namespace
}  // namespace varnook::server
