// Damaged and hostile sources for "index": cut compressed files, link loops, gzip bombs,
// endless lines and stop signals, folders that are not ours, failures that say why.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "server/articlesource.h"
#include "serversupport.h"

namespace varnook::server {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::writeFile;
constexpr std::size_t npos = std::string::npos;

std::string message(int n, std::string_view body = "body\n") {
  return "From x Mon Apr  5 10:00:00 1993\nSubject: s" + std::to_string(n) + "\n\n" +
         std::string(body) + "\n";
}

using testing::walkSources;

TEST(DamagedArchives, ACutCompressedMboxDeliversNoPartialArticle) {
  TempFolder folder;
  std::minstd_rand random(7);
  std::string body;
  for (int i = 0; i < 3000; ++i) body += std::to_string(random()) + "\n";
  testing::writeGzip(folder / "box.gz", message(1) + message(2) + message(3, body));
  fs::resize_file(folder / "box.gz", fs::file_size(folder / "box.gz") - 2000);
  const auto cut = walkSources({folder / "box.gz"});
  EXPECT_EQ(cut.articles.size(), 2u);
  EXPECT_NE(cut.warnings.find("box.gz: truncated compressed data"), npos) << cut.warnings;
}

TEST(DamagedArchives, EachFolderIsWalkedOnceWhateverLinksLeadToIt) {
  using Links = std::vector<std::pair<const char*, const char*>>;  // name -> target
  for (const Links& links :
       {Links{{"a", "."}}, Links{{"a", "."}, {"b", "."}}, Links{{"g/up", ".."}, {"h", "g"}}}) {
    TempFolder folder;
    writeFile(folder / "spool/1", "Subject: one\n\nx\n");
    writeFile(folder / "spool/g/2", "Subject: two\n\nx\n");
    for (const auto& [name, target] : links)
      fs::create_directory_symlink(target, folder / "spool/" + name);
    const auto walked = walkSources({folder / "spool"});
    EXPECT_EQ(walked.counters.files, 2u) << walked.warnings;
    EXPECT_EQ(std::count(walked.warnings.begin(), walked.warnings.end(), '\n'), links.size());
  }
}

TEST(BoundedReads, OversizedArticlesAreNotHeldAndLongLinesComeInPieces) {
  TempFolder folder;
  SourceOptions small;
  small.maxArticleBytes = 64 << 10;
  small.maxLineBytes = 64;
  testing::writeGzip(folder / "bomb.gz", std::string(16 << 20, '\0'));
  const auto bomb = walkSources({folder / "bomb.gz"}, small);
  ASSERT_EQ(bomb.articles.size(), 1u);
  EXPECT_TRUE(bomb.articles[0].oversized);
  EXPECT_LT(bomb.counters.bytesRead, 1u << 20);  // reading stopped at the limit
  // Pieces of lines split an mbox exactly as whole lines do.
  const std::string mbox = message(1, ">From " + std::string(300, 'q') + "\n") + "From " +
                           std::string(300, 'w') + "\n\n" + message(2, std::string(1000, 'y'));
  const auto whole = splitMbox(mbox, "m"), pieces = splitMbox(mbox, "m", small);
  ASSERT_EQ(pieces.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(pieces[i].bytes, whole[i].bytes) << i;
}

// A signal ends a run inside a file that would take minutes to read, and the next run
// completes the index.
TEST(BoundedReads, AStopSignalEndsARunInsideAHugeFile) {
  TempFolder folder;
  const std::string spool = testing::writeSpool(folder, testing::numberedArticles(3, "s"));
  {  // 64 GB that take no disk space: lines of 16 MB of NUL bytes
    std::ofstream huge(folder / "huge", std::ios::binary);
    huge << message(1, "");
    for (std::streamoff at = 16 << 20; at < (std::streamoff(64) << 30); at += 16 << 20)
      huge.seekp(at) << '\n';
  }
  auto run = testing::ChildProcess::start(
      {VARNOOK_ARCHIVE_PROGRAM, "index", "--db", folder / "index", spool, folder / "huge"}, {},
      true);
  ASSERT_TRUE(run);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  run->signal(SIGTERM);
  run->readRest(20);  // returns when the program ends and closes its output
  run->signal(SIGKILL);
  EXPECT_EQ(run->wait(), 130);
  EXPECT_EQ(testing::indexPaths(folder / "index", {spool}).indexSize, 3u);
}

TEST(IndexFolder, OnlyAnIndexOrAnEmptyFolderIsUsedAndOnlyOurLeftoversAreRemoved) {
  TempFolder folder;
  const std::string spool = testing::writeSpool(folder, testing::numberedArticles(1, "f"));
  for (const char* name : {"mine/run-notes.txt", "mine/base-camp/1.jpg"})
    writeFile(folder / name, "x");
  testing::indexPaths(folder / "mine", {spool}, 1, false, "is not an archive index");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder / "mine"), {}), 2);  // untouched
  fs::create_directory(folder / "empty");
  testing::indexPaths(folder / "empty", {spool});
  for (const char* name : {"run-12-1/x", "base-000099/x", "run-notes.txt"})
    writeFile(folder / "empty/" + name, "x");
  testing::indexPaths(folder / "empty", {spool});
  EXPECT_FALSE(fs::exists(folder / "empty/run-12-1") || fs::exists(folder / "empty/base-000099"));
  EXPECT_TRUE(fs::exists(folder / "empty/run-notes.txt"));
}

TEST(SayWhy, FailuresNameTheirReason) {
  TempFolder folder;
  const std::string spool = testing::writeSpool(folder, testing::numberedArticles(2, "w"));
  fs::permissions(spool + "/2", fs::perms::none);
  fs::permissions(folder.path(), fs::perms::all);  // nobody makes the index here
  EXPECT_NE(testing::runArchive({"index", "--db", folder / "index", spool}, true)
                .output.find("/2: cannot be opened (Permission denied)"),
            npos);

  writeFile(folder / "other/file", "x");
  const auto stats = testing::runArchive({"stats", "--db", folder / "other"});
  EXPECT_EQ(stats.status, 1);
  EXPECT_NE(stats.output.find("is not an archive index"), npos) << stats.output;
  EXPECT_EQ(stats.output.find("Error"), npos) << stats.output;
}

}  // namespace
}  // namespace varnook::server
