// Damaged and hostile sources for "index": cut compressed files, link loops, gzip bombs
// and endless lines, folders that are not ours, and failures that must say why.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>

#include "server/articleingest.h"
#include "server/articlesource.h"
#include "serversupport.h"

namespace varnook::server {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::writeFile;
constexpr std::size_t npos = std::string::npos;

std::string message(int n, std::string_view body = "body\n") {
  return "From x Mon Apr  5 10:00:00 1993\nDate: 5 Apr 1993 10:00 GMT\nSubject: s" +
         std::to_string(n) + "\nMessage-ID: <m" + std::to_string(n) + "@h>\n\n" +
         std::string(body) + "\n";
}

struct IndexLog {
  IndexRunSummary summary;
  std::string log;
};
// An index run that is stopped after 20 s, so that a walk that never ends fails instead.
IndexLog indexBounded(const std::string& database, const std::vector<std::string>& paths) {
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::thread timer([&] {
    std::unique_lock lock(mutex);
    if (!finished.wait_for(lock, std::chrono::seconds(20), [&] { return done; })) stop = true;
  });
  IndexRunOptions options;
  options.databasePath = database;
  options.paths = paths;
  options.stop = &stop;
  std::ostringstream log;
  IndexLog run{runIndex(options, log, log), log.str()};
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  finished.notify_one();
  timer.join();
  return run;
}

TEST(DamagedArchives, ACutCompressedMboxKeepsNoPartialArticle) {
  TempFolder folder;
  std::minstd_rand random(7);
  std::string longBody;
  for (int i = 0; i < 3000; ++i) longBody += std::to_string(random()) + "\n";
  const std::string whole = testing::gzip(message(1) + message(2) + message(3, longBody));
  writeFile(folder / "box.mbox.gz", whole.substr(0, whole.size() - 2000));
  const IndexLog cut = indexBounded(folder / "index", {folder / "box.mbox.gz"});
  EXPECT_EQ(cut.summary.added, 2u);
  EXPECT_NE(cut.log.find("box.mbox.gz: truncated compressed data"), npos) << cut.log;

  writeFile(folder / "box.mbox.gz", whole);
  EXPECT_EQ(indexBounded(folder / "index", {folder / "box.mbox.gz"}).summary.added, 1u);
  const auto third = testing::openIndex(folder / "index")->article(3);
  ASSERT_TRUE(third);
  EXPECT_TRUE(third->body == longBody) << third->body.size();
}

TEST(DamagedArchives, EachFolderIsWalkedOnceWhateverLinksLeadToIt) {
  const struct {
    std::vector<std::pair<const char*, const char*>> links;  // name -> target
    std::uint64_t warnings;
  } cases[] = {
      {{{"spool/a", "."}}, 1},
      {{{"spool/a", "."}, {"spool/b", "."}}, 2},
      {{{"spool/g/up", ".."}, {"spool/h", "g"}}, 2},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    writeFile(folder / "spool/1", message(1).substr(message(1).find('\n') + 1));
    writeFile(folder / "spool/g/2", message(2).substr(message(2).find('\n') + 1));
    for (const auto& [name, target] : c.links) fs::create_directory_symlink(target, folder / name);
    const IndexLog run = indexBounded(folder / "index", {folder / "spool"});
    EXPECT_FALSE(run.summary.interrupted);
    EXPECT_EQ(run.summary.files, 2u) << run.log;
    EXPECT_EQ(run.summary.added, 2u);
    EXPECT_EQ(run.summary.warnings, c.warnings) << run.log;
  }
}

// What a walk with small limits delivers, and how much it read.
struct Walked {
  std::vector<RawArticle> articles;
  SourceCounters counters;
};
Walked walkSmall(const std::string& path) {
  Walked walked;
  SourceOptions options;
  options.maxArticleBytes = 64 * 1024;
  options.maxLineBytes = 4096;
  walkArticleSources(
      {path},
      [&](RawArticle&& article) {
        walked.articles.push_back(std::move(article));
        return true;
      },
      [](std::string_view) {}, walked.counters, options);
  return walked;
}

TEST(BoundedReads, OversizedArticlesAreNotReadWhole) {
  TempFolder folder;
  // One article of 16 MB of zeros: reading stops at the limit.
  writeFile(folder / "bomb.gz", testing::gzip(std::string(16 << 20, '\0')));
  const Walked bomb = walkSmall(folder / "bomb.gz");
  ASSERT_EQ(bomb.articles.size(), 1u);
  EXPECT_TRUE(bomb.articles[0].oversized);
  EXPECT_LT(bomb.counters.bytesRead, 1u << 20);
  // An mbox whose first message is one endless line: the next message is still found.
  writeFile(folder / "line.mbox.gz",
            testing::gzip(message(1, std::string(8 << 20, 'x') + "\n") + message(2)));
  const Walked line = walkSmall(folder / "line.mbox.gz");
  ASSERT_EQ(line.articles.size(), 2u);
  EXPECT_TRUE(line.articles[0].oversized);
  EXPECT_EQ(line.articles[0].bytes, "");
  std::string second = message(2);
  second = second.substr(second.find('\n') + 1, second.size() - second.find('\n') - 2);
  EXPECT_EQ(line.articles[1].bytes, second);
}

TEST(BoundedReads, LinesInPiecesSplitTheSameAsWholeLines) {
  const std::string mbox =
      message(1, ">From " + std::string(300, 'q') + "\n>>From x\n\n\n") +
      message(2, std::string(1000, 'y') + "\nFrom " + std::string(200, 'z') + "\n") + "From " +
      std::string(500, 'w') + "\n\n" + message(3);
  SourceOptions small;
  small.maxLineBytes = 64;
  const auto whole = splitMbox(mbox, "m"), pieces = splitMbox(mbox, "m", small);
  ASSERT_EQ(whole.size(), 4u);
  ASSERT_EQ(pieces.size(), whole.size());
  for (std::size_t i = 0; i < whole.size(); ++i) EXPECT_EQ(pieces[i].bytes, whole[i].bytes) << i;
}

// A signal ends a run inside a file that would take minutes to read, and the next run
// completes the index.
TEST(BoundedReads, AStopSignalEndsARunInsideAHugeFile) {
  TempFolder folder;
  const std::string spool = testing::writeSpool(folder, testing::numberedArticles(3, "s"));
  {  // 64 GB, sparse: an envelope, then lines of 16 MB of NUL bytes
    const int file = ::open((folder / "huge.mbox").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    const std::string envelope = "From x Mon Apr  5 10:00:00 1993\nSubject: huge\n\n";
    ASSERT_EQ(::write(file, envelope.data(), envelope.size()), ssize_t(envelope.size()));
    for (off_t at = 16 << 20; at < (off_t(64) << 30); at += 16 << 20)
      ASSERT_EQ(::pwrite(file, "\n", 1, at), 1);
    ::close(file);
  }
  testing::ChildProcess run(
      {VARNOOK_ARCHIVE_PROGRAM, "index", "--db", folder / "index", spool, folder / "huge.mbox"},
      true);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  run.signal(SIGTERM);
  run.readRest(20);  // returns when the program ends and closes its output
  run.signal(SIGKILL);
  EXPECT_EQ(run.wait(), 130);
  EXPECT_EQ(testing::indexPaths(folder / "index", {spool}).indexSize, 3u);
}

TEST(IndexFolder, OnlyAnIndexOrAnEmptyFolderIsUsedAndOnlyOurLeftoversAreRemoved) {
  TempFolder folder;
  const std::string spool = testing::writeSpool(folder, testing::numberedArticles(1, "f"));
  // A user's folder: refused, and nothing in it touched.
  writeFile(folder / "mine/run-notes.txt", "notes");
  writeFile(folder / "mine/base-camp-photos/1.jpg", "jpeg");
  testing::indexPaths(folder / "mine", {spool}, 1, false, "is not an archive index");
  EXPECT_TRUE(fs::exists(folder / "mine/run-notes.txt"));
  EXPECT_TRUE(fs::exists(folder / "mine/base-camp-photos/1.jpg"));
  EXPECT_FALSE(fs::exists(folder / "mine/index.lock"));
  // An empty folder becomes an index.
  fs::create_directory(folder / "empty");
  EXPECT_EQ(testing::indexPaths(folder / "empty", {spool}).added, 1u);
  // In an index, a killed run's shards and unnamed generations go; other names stay.
  for (const char* name : {"run-12-1/x", "base-000099/x", "run-notes.txt"})
    writeFile(folder / "empty/" + name, "x");
  testing::indexPaths(folder / "empty", {spool});
  EXPECT_FALSE(fs::exists(folder / "empty/run-12-1"));
  EXPECT_FALSE(fs::exists(folder / "empty/base-000099"));
  EXPECT_TRUE(fs::exists(folder / "empty/run-notes.txt"));
}

testing::ProgramResult runWithErrors(const std::vector<std::string>& arguments,
                                     bool unprivileged = false) {
  std::string command = "exec";
  // Permissions do not stop root: read as nobody then.
  if (unprivileged && ::geteuid() == 0)
    command += " setpriv --reuid=65534 --regid=65534 --clear-groups";
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  return testing::runProgram({"/bin/sh", "-c", command + " 2>&1"});
}

TEST(SayWhy, FailuresNameTheirReason) {
  TempFolder folder;
  const std::string spool = testing::writeSpool(folder, testing::numberedArticles(2, "w"));
  ::chmod((spool + "/2").c_str(), 0);
  ::chmod(folder.path().c_str(), 0755);
  fs::create_directory(folder / "index");
  ::chmod((folder / "index").c_str(), 0777);
  const auto indexed =
      runWithErrors({VARNOOK_ARCHIVE_PROGRAM, "index", "--db", folder / "index", spool}, true);
  EXPECT_NE(indexed.output.find("/2: cannot be opened (Permission denied)"), npos)
      << indexed.output;

  writeFile(folder / "other/file", "x");
  const auto stats = runWithErrors({VARNOOK_ARCHIVE_PROGRAM, "stats", "--db", folder / "other"});
  EXPECT_EQ(stats.status, 1);
  EXPECT_NE(stats.output.find("is not an archive index"), npos) << stats.output;
  EXPECT_EQ(stats.output.find("Error"), npos) << stats.output;

  for (const char* command : {"index", "serve", "demo", "stats"}) {
    const auto help = runWithErrors({VARNOOK_ARCHIVE_PROGRAM, command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.output.rfind(std::string("Usage: varnook-archive ") + command, 0), 0u)
        << help.output;
  }
}

TEST(SayWhy, AMultipartWithABadBoundaryKeepsItsText) {
  for (const char* type : {"multipart/mixed; boundary=\"right\"", "multipart/mixed"}) {
    const IngestResult result =
        ingestArticle(std::string("From: a@b\nSubject: s\nMIME-Version: 1.0\nContent-Type: ") +
                      type + "\n\n--wrong\nContent-Type: text/plain\n\nthe text\n--wrong--\n");
    ASSERT_TRUE(result.article) << type;
    EXPECT_NE(result.article->body.find("the text"), npos) << result.article->body;
  }
}

}  // namespace
}  // namespace varnook::server
