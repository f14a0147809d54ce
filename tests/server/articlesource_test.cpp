#include "server/articlesource.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "serversupport.h"

namespace varnook::server {
namespace {

using testing::TempFolder;
using testing::writeFile;

TEST(SplitMbox, MboxrdQuotingAndSeparators) {
  const std::string mbox =
      "From a@b Mon Apr  5 23:23:53 1993\nSubject: one\n\n>From the start\n>>From deeper\n"
      "From inside without blank line\n\n"
      "From c@d Tue Apr  6 10:00:00 1993\nSubject: two\n\nlast line\n";
  const auto articles = splitMbox(mbox, "m");
  ASSERT_EQ(articles.size(), 2u);
  EXPECT_EQ(articles[0].bytes,
            "Subject: one\n\nFrom the start\n>From deeper\nFrom inside without blank line\n");
  EXPECT_EQ(articles[0].envelopeDate, unixTimeFromCivil(1993, 4, 5, 23, 23, 53));
  EXPECT_EQ(articles[1].bytes, "Subject: two\n\nlast line\n");
  EXPECT_EQ(articles[1].origin, "m (message 2)");
}

TEST(SplitMbox, MalformedData) {
  EXPECT_TRUE(splitMbox("", "m").empty());
  EXPECT_TRUE(splitMbox("no envelope at all\nSubject: x\n\nbody\n", "m").empty());
  // Leading junk is dropped; an envelope at the very end gives an empty message.
  const auto articles = splitMbox("junk\n\nFrom x\nSubject: a\n\nb\nFrom y", "m");
  ASSERT_EQ(articles.size(), 1u);
  EXPECT_EQ(articles[0].bytes, "Subject: a\n\nb\nFrom y");
  EXPECT_FALSE(articles[0].envelopeDate);
  const auto twoEmpty = splitMbox("From x\n\nFrom y\n", "m");
  ASSERT_EQ(twoEmpty.size(), 2u);
  EXPECT_EQ(twoEmpty[0].bytes, "");
}

std::vector<RawArticle> walk(const std::vector<std::string>& paths,
                             std::vector<std::string>* warnings = nullptr) {
  std::vector<RawArticle> found;
  SourceCounters counters;
  walkArticleSources(
      paths,
      [&](RawArticle&& article) {
        found.push_back(std::move(article));
        return true;
      },
      [&](std::string_view text) {
        if (warnings) warnings->emplace_back(text);
      },
      counters);
  return found;
}

TEST(WalkArticleSources, SpoolMaildirAndCompressedMbox) {
  TempFolder folder;
  writeFile(folder / "spool/comp.a/10", "Subject: ten\n\nx\n");
  writeFile(folder / "spool/comp.a/9", "Subject: nine\n\nx\n");
  writeFile(folder / "spool/comp.a/.overview", "not an article");
  writeFile(folder / "mail/cur/1:2,S", "Subject: cur\n\nx\n");
  writeFile(folder / "mail/new/2", "Subject: new\n\nx\n");
  writeFile(folder / "mail/tmp/3", "Subject: being delivered\n\nx\n");
  {
    const std::string path = folder / "box.mbox.gz";
    gzFile file = gzopen(path.c_str(), "wb");
    const std::string mbox =
        "From a Mon Apr  5 23:23:53 1993\nSubject: gz1\n\nx\n\n"
        "From b Mon Apr  5 23:23:53 1993\nSubject: gz2\n\ny\n";
    gzwrite(file, mbox.data(), static_cast<unsigned>(mbox.size()));
    gzclose(file);
  }
  std::vector<std::string> warnings;
  const auto articles = walk(
      {folder / "spool", folder / "mail", folder / "box.mbox.gz", folder / "missing"}, &warnings);
  std::vector<std::string> subjects;
  for (const RawArticle& article : articles)
    subjects.push_back(article.bytes.substr(9, article.bytes.find('\n') - 9));
  // Spool numbers in numeric order; hidden files and a Maildir's tmp/ left out.
  EXPECT_EQ(subjects, (std::vector<std::string>{"nine", "ten", "cur", "new", "gz1", "gz2"}));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("missing"), std::string::npos);
}

TEST(WalkArticleSources, DamagedCompressedFileIsReportedNotFatal) {
  TempFolder folder;
  std::string compressed;
  {
    const std::string path = folder / "good.gz";
    gzFile file = gzopen(path.c_str(), "wb");
    std::string mbox;
    for (int i = 0; i < 200; ++i)
      mbox += "From a Mon Apr  5 23:23:53 1993\nSubject: s" + std::to_string(i) + "\n\nbody\n\n";
    gzwrite(file, mbox.data(), static_cast<unsigned>(mbox.size()));
    gzclose(file);
    compressed = testing::readFile(path);
  }
  compressed.resize(compressed.size() / 2);
  compressed[compressed.size() - 5] ^= 0x55;
  writeFile(folder / "cut.gz", compressed);
  std::vector<std::string> warnings;
  const auto articles = walk({folder / "cut.gz"}, &warnings);
  EXPECT_GT(articles.size(), 0u);
  EXPECT_LT(articles.size(), 200u);
  EXPECT_FALSE(warnings.empty());
}

}  // namespace
}  // namespace varnook::server
