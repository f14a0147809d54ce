#include "collection/collectionfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <set>

#include "archive/queryurl.h"
#include "archive/textsearch.h"
#include "base/wholefile.h"
#include "support/fixtures.h"
#include "support/realservers.h"

namespace varnook {
namespace {

// Requests get fixed names so files are reproducible.
Request& addRequest(Collection& c, const std::string& name, const std::string& keywords) {
  auto request = std::make_unique<Request>(name);
  request->keywords = keywords;
  return c.appendRequest(std::move(request));
}

Article& addArticle(Collection& c, std::uint32_t number, const std::string& subject) {
  c.isKnownArticle(number);
  return c.appendArticle(std::make_unique<Article>(number, subject), false);
}

LoadResult readBytes(Collection& c, const std::string& bytes) {
  return readCollection(c, bytes, "mem.vnk");
}

TEST(CollectionFile, WritesTheLayoutByteForByte) {
  Collection c;
  EXPECT_EQ(writeCollection(c), "---{^#ReQ&}---\r\n\r\n");
  Collection back;
  ASSERT_TRUE(readBytes(back, writeCollection(c)).ok());
  EXPECT_TRUE(back.isEmpty());
  EXPECT_TRUE(back.knownArticles().empty());

  Request& r = addRequest(c, "Q#1.5", "linux  modem");
  r.fromDate = -7;
  Article& a = addArticle(c, 12, "Re: modems");
  a.author = "joe@example.com";
  a.forum = "comp.dcom.modems";
  a.requestId = "Q#1.5";
  a.date = *encodeDate(1999, 3, 25);
  a.setChecked(true);
  a.text = "Line one\r\nLine two";
  addArticle(c, 13, "");
  // Every known number belongs to an article: the deleted section is only its separator.
  EXPECT_EQ(writeCollection(c).substr(writeCollection(c).size() - 18), "\r\n\r\n---{^#DeL&}---");
  for (std::uint32_t n = 100; n < 110; ++n) c.isKnownArticle(n);

  EXPECT_EQ(writeCollection(c), testing::readTestFile("collection/data/layout.vnk"));
}

// Builds a random collection whose stored fields survive the file: single-line values
// without surrounding blanks, at most 999 characters, texts with CR LF line ends.
struct Generator {
  std::mt19937 rng;

  std::size_t pick(std::size_t max) {
    return std::uniform_int_distribution<std::size_t>(0, max)(rng);
  }
  std::string word(std::size_t maxLength) {
    static const char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,;:!?@<>&\"'#%~+-_/()[]\t";
    std::string s(pick(maxLength), ' ');
    for (char& ch : s) ch = kChars[pick(sizeof kChars - 2)];
    for (std::size_t i = s.size() / 20; i > 0; --i)
      s[pick(s.size() - 1)] = static_cast<char>(128 + pick(127));
    return std::string(trimControls(s));
  }
  // Lines of an article that read like the file's own separators, among others.
  std::string text() {
    static const std::string kSeparators[] = {"---{^#ReQ&}---", "---{^#MsG&}---", "---{^#DeL&}---"};
    std::string t;
    for (std::size_t i = 0, lines = pick(8); i < lines; ++i) {
      if (i > 0) t += "\r\n";
      const std::size_t kind = pick(6);
      if (kind == 1) t += "> " + word(60);
      if (kind == 2) t += "---{^#MsG&}--- not alone";
      if (kind == 3) t += "trailing cr\r";
      if (kind == 5) t += kSeparators[pick(2)] + std::string(pick(2), '\r');
      if (kind == 4 || kind == 6) t += word(120);
    }
    return t + (pick(2) == 0 && !t.empty() ? "\r\n" : "");
  }
  DayDate date() {
    const auto part = [&](int first, std::size_t range) {
      return first + static_cast<int>(pick(range));
    };
    return pick(3) == 0 ? 0 : *encodeDate(part(1901, 1000), part(1, 11), part(1, 27));
  }

  void fill(Collection& c) {
    std::vector<std::string> names;
    for (std::size_t i = pick(5); i > 0; --i) {
      names.push_back(pick(3) == 0
                          ? "Renamed: 50% " + std::to_string(i)
                          : "Q#" + std::to_string(1000 + i) + "." + std::to_string(pick(999999)));
      Request& r = c.appendRequest(std::make_unique<Request>(names.back()));
      // Stored queries may pass 999 characters.
      r.keywords = compactBlanks(pick(4) == 0 ? "a ~s " + word(10) : word(pick(5) ? 40 : 1000));
      // Extended syntax carries the whole query in its keywords.
      if (r.keywords.find('~') == std::string::npos)
        for (auto field : {&Request::subject, &Request::author, &Request::forum})
          r.*field = compactBlanks(word(20));
      r.matchAll = pick(1) == 0;
      for (char ch : compactBlanks(word(3))) r.language += asciiLower(ch);
      r.archive = static_cast<std::int32_t>(pick(6));
      if (pick(3) == 0) r.thread = static_cast<std::uint32_t>(1 + pick(4294967294u));
      r.fromDate = pick(2) == 0 ? -static_cast<double>(pick(400)) : date();
      r.toDate = date();
      if (pick(4) == 0 && r.toDate != 0) r.toDate += 0.75;  // with a time of day
    }
    for (std::size_t i = pick(30); i > 0; --i) {
      // Article numbers up to 32 bits.
      const auto number = static_cast<std::uint32_t>(1 + pick(pick(3) ? 100000 : 4294967294u));
      if (c.isKnownArticle(number)) continue;
      Article& a = c.appendArticle(std::make_unique<Article>(number, word(pick(10) ? 80 : 1200)),
                                   pick(1) == 0);
      a.author = word(50);
      a.forum = word(30);
      a.references = word(100);
      a.date = date();
      if (!names.empty() && pick(4) != 0) a.requestId = names[pick(names.size() - 1)];
      if (pick(2) != 0) c.setArticleText(a, text());
    }
    for (std::size_t i = pick(20); i > 0; --i)
      c.isKnownArticle(static_cast<std::uint32_t>(pick(200000)));
  }
};

TEST(CollectionFile, SaveLoadKeepsEveryStoredFieldAndSavesIdenticalBytes) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Collection original;
    Generator{std::mt19937(seed)}.fill(original);
    const std::string bytes = writeCollection(original);

    Collection loaded;
    const LoadResult result = readBytes(loaded, bytes);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_FALSE(loaded.modified());
    bool longValues = false;
    for (const auto& a : original.articles()) longValues |= a->subject.size() > 999;
    // Values are read back cut to 999 characters; otherwise the file is reproduced exactly.
    if (!longValues) {
      EXPECT_EQ(writeCollection(loaded), bytes);
    }

    ASSERT_EQ(loaded.requests().size(), original.requests().size());
    for (std::size_t i = 0; i < loaded.requests().size(); ++i) {
      const Request& o = *original.requests()[i];
      const Request& l = *loaded.requests()[i];
      EXPECT_TRUE(l.sameQuery(o)) << buildQueryUrl(o, true, {}, 0);
      int naming = 0;
      for (const auto& a : original.articles()) naming += a->requestId == o.name;
      EXPECT_EQ(std::tuple(l.name, l.toDate, l.articles, l.unique, l.expectedTotal, l.status()),
                std::tuple(o.name, o.toDate, naming, 0, 0, ""));
    }
    ASSERT_EQ(loaded.articles().size(), original.articles().size());
    for (std::size_t i = 0; i < loaded.articles().size(); ++i) {
      const Article& o = *original.articles()[i];
      const Article& l = *loaded.articles()[i];
      // Attribute values are read back trimmed, at most 999 characters.
      const std::string subject(trimControls(std::string_view(o.subject).substr(0, 999)));
      EXPECT_EQ(std::tuple(l.number, l.subject, l.author, l.forum, l.references, l.requestId,
                           l.date, l.checked(), l.text),
                std::tuple(o.number, subject, o.author, o.forum, o.references, o.requestId, o.date,
                           o.checked(), o.text));
      EXPECT_EQ(l.isLoaded(), l.hasState(kComplete));
      EXPECT_EQ(l.status(), l.isLoaded() ? "Loaded" : "");
    }
    EXPECT_EQ(loaded.loadedArticles(), original.loadedArticles());
    const auto& lk = loaded.knownArticles().inOrder();
    const auto& ok = original.knownArticles().inOrder();
    EXPECT_EQ(std::set<std::uint32_t>(lk.begin(), lk.end()),
              std::set<std::uint32_t>(ok.begin(), ok.end()));
  }
}

// Texts whose lines read like separators, with CR LF line ends, are the random
// collections' (above); here a bare line feed, which comes back as CR LF, and values with
// line breaks, which stay on one line.
TEST(CollectionFile, TextLinesThatReadLikeSeparatorsAndValuesWithLineBreaksSurvive) {
  Collection c;
  addArticle(c, 1, "quoting a collection file").text = "a\n---{^#MsG&}---\nb";
  Article& after = addArticle(c, 2, "two\r\nlines");
  after.author = "x\n---{^#DeL&}---";
  after.text = "second";
  Collection back;
  const LoadResult result = readBytes(back, writeCollection(c));
  ASSERT_TRUE(result.ok()) << result.message;
  ASSERT_EQ(back.articles().size(), 2u);
  EXPECT_EQ(back.articles()[0]->text, "a\r\n---{^#MsG&}---\r\nb");
  const Article& second = *back.articles()[1];
  EXPECT_EQ(std::tuple(second.subject, second.author, second.text),
            std::tuple("two\r lines", "x ---{^#DeL&}---", "second"));
}

// Errors name their line; what was read before the failing line stays (a request whose
// parameters fail is not added), and the file name does not change.
TEST(CollectionFile, ReaderErrorsNameTheLineAndKeepWhatWasReadBefore) {
  for (auto row : testing::readTable("collection/data/errors.txt")) {
    row.resize(6);
    SCOPED_TRACE(row[0]);
    Collection c;
    c.setFileName("previous.vnk");
    const LoadResult result = readBytes(c, row[1]);
    EXPECT_EQ(std::tuple(result.status, result.message, result.line),
              std::tuple(LoadResult::Status::Malformed, row[2], std::stoi(row[3])));
    EXPECT_EQ(c.fileName(), "previous.vnk");
    ASSERT_EQ(std::tuple(c.requests().size(), c.articles().size()),
              std::tuple(std::stoul(row[4]), std::stoul(row[5])));
    for (const auto& r : c.requests()) EXPECT_EQ(r->name, "Q#1");
    for (const auto& a : c.articles()) EXPECT_EQ(a->text, "body");
    EXPECT_EQ(c.modified(), !c.isEmpty());
  }
}

TEST(CollectionFile, ReaderEdgeCases) {
  // LF line ends, no request section, a 1200-character subject, a separator line that ends
  // an article's body, number 0 (no article), and a number listed as deleted before.
  const std::string bytes = testing::readTestFile("collection/data/edgecases.vnk");
  Collection c;
  const LoadResult result = readBytes(c, bytes);
  ASSERT_TRUE(result.ok()) << result.message;
  ASSERT_EQ(c.articles().size(), 2u);
  const Article& first = *c.articles()[0];
  EXPECT_EQ(first.subject.size(), 999u);
  EXPECT_TRUE(first.checked());
  EXPECT_EQ(first.date, *encodeDate(1999, 3, 25));
  EXPECT_EQ(first.text, "a & b");
  EXPECT_EQ(c.articles()[1]->date, 0);
  EXPECT_EQ(c.articles()[1]->text, "before");
  for (std::uint32_t n : {77u, 78u, 79u}) EXPECT_TRUE(c.knownArticles().contains(n));

  // Request lines keep their name up to the first colon.
  Collection named;
  ASSERT_TRUE(readBytes(named, "---{^#ReQ&}---\r\nEmpty:\r\nname:with: &QRY=a\r\n").ok());
  ASSERT_EQ(named.requests().size(), 2u);
  EXPECT_EQ(std::tuple(named.requests()[0]->name, named.requests()[0]->keywords),
            std::tuple("Empty", ""));
  EXPECT_EQ(std::tuple(named.requests()[1]->name, named.requests()[1]->keywords),
            std::tuple("name", "a"));

  // A file made before texts were kept exactly: the last article carries the writer's extra
  // line, texts saved with a trailing line end; both come back without the file's line ends.
  Collection old;
  ASSERT_TRUE(readBytes(old,
                        "---{^#MsG&}---\r\nX-QuenID: 1\r\n\r\nfirst\r\n---{^#MsG&}---\r\n"
                        "X-QuenID: 2\r\n\r\nlast\r\n\r\n---{^#DeL&}---\r\n9")
                  .ok());
  ASSERT_EQ(old.articles().size(), 2u);
  EXPECT_EQ(std::tuple(old.articles()[0]->text, old.articles()[1]->text),
            std::tuple("first", "last"));
  EXPECT_TRUE(old.knownArticles().contains(9));

  // A request line longer than 999 characters from elsewhere is cut there, also with a
  // length ahead of it that does not match.
  for (const std::string lengthNotMatching : {"", "{2000} "}) {
    Collection other;
    const std::string line = "Q#1: " + lengthNotMatching + "&QRY=" + std::string(1200, 'k');
    ASSERT_TRUE(readBytes(other, "---{^#ReQ&}---\r\n" + line + "\r\n").ok());
    EXPECT_EQ(other.requests()[0]->keywords.size(), 999u - 5 - lengthNotMatching.size());
  }
}

// A temporary folder that can tell how many entries it holds.
struct TempDir : testing::TempFolder {
  std::string file(const std::string& name) const { return path() + "/" + name; }
  long entries() const { return std::distance(std::filesystem::directory_iterator(path()), {}); }
};

// A file far larger than the reader's chunks, with separator-like text lines among them.
TEST(CollectionFileOnDisk, SaveAndLoadALargeFileThroughTheFileSystem) {
  Collection c;
  auto& r = addRequest(c, "R", "k");
  for (std::uint32_t n = 1; n <= 3000; ++n) {
    Article* a = r.addArticle(n, "subject " + std::to_string(n));
    a->text = std::string(700 + n % 300, 'x') + "\r\n" +
              (n % 7 ? std::string(n % 50, '>') : "---{^#MsG&}---\r\n---{^#DeL&}---");
  }
  for (std::uint32_t n = 5000; n < 5020; ++n) c.isKnownArticle(n);
  TempDir dir;
  const std::string path = dir.file("big.vnk");
  ASSERT_TRUE(saveCollection(c, path).ok);
  EXPECT_FALSE(c.modified());
  EXPECT_EQ(c.fileName(), path);
  EXPECT_EQ(testing::readFile(path), writeCollection(c));
  EXPECT_EQ(dir.entries(), 1);  // no temporary files are left behind

  Collection fromDisk;
  const LoadResult result = loadCollection(fromDisk, path);
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(fromDisk.fileName(), path);
  EXPECT_EQ(writeCollection(fromDisk), writeCollection(c));
  EXPECT_EQ(fromDisk.loadedArticles(), 3000);
}

TEST(CollectionFileOnDisk, FailedSaveLeavesTheOldFileAndModifiedFlag) {
  TempDir dir;
  const std::string path = dir.file("kept.vnk");
  // root ignores folder permissions; there the rename fails instead: the target is a folder.
  const bool root = ::geteuid() == 0;
  if (root) {
    ::mkdir(path.c_str(), 0700);
  } else {
    dir.write("kept.vnk", "old contents");
    ::chmod(dir.path().c_str(), 0500);
  }
  Collection c;
  addArticle(c, 1, "s");
  const SaveResult result = saveCollection(c, path);
  ::chmod(dir.path().c_str(), 0700);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.message.empty());
  EXPECT_TRUE(c.modified());
  EXPECT_EQ(dir.entries(), 1);
  if (!root) {
    EXPECT_EQ(testing::readFile(path), "old contents");
  }
}

// Missing files, folders and pipes are refused at loading without waiting. Every writer
// replaces only regular files: a FIFO or device named as the file is left as it was.
TEST(CollectionFileOnDisk, OnlyRegularFilesAreReadOrReplaced) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  const std::tuple<std::string, LoadResult::Status, std::string> cases[] = {
      {"/nonexistent/none.vnk", LoadResult::Status::NotFound,
       "News collection \"/nonexistent/none.vnk\" not found"},
      {dir.path(), LoadResult::Status::IoError, ""},
      {dir.file("fifo"), LoadResult::Status::IoError, ""},
  };
  for (const auto& [path, status, message] : cases) {
    Collection c;
    const LoadResult result = loadCollection(c, path);
    EXPECT_EQ(result.status, status) << path;
    if (!message.empty()) {
      EXPECT_EQ(result.message, message);
    }
    EXPECT_TRUE(c.isEmpty());
  }

  const bool root = ::mknod(dir.file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  Collection c;
  addArticle(c, 1, "s");
  for (const std::string name : {"fifo", "null"}) {
    if (!root && name == "null") continue;
    const std::string path = dir.file(name);
    struct stat before {
    }, after{};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);
    const SaveResult saved = saveCollection(c, path);
    EXPECT_EQ(std::tuple(saved.ok, saved.message), std::tuple(false, "Not a regular file"));
    EXPECT_EQ(writeWholeFile(path, "x", FileAccess::Usual),
              "Cannot create file \"" + path + "\". Not a regular file");
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(std::tuple(after.st_ino, after.st_mode), std::tuple(before.st_ino, before.st_mode));
  }
  EXPECT_EQ(dir.entries(), root ? 2 : 1);
}

TEST(CollectionFileOnDisk, SavingThroughALinkReplacesTheFileItNamesAndKeepsItsMode) {
  TempDir dir;
  const std::string real = dir.file("real.vnk"), link = dir.file("link.vnk");
  dir.write("real.vnk", "old");
  ::chmod(real.c_str(), 0640);
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  Collection c;
  ASSERT_TRUE(saveCollection(c, link).ok);
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(testing::readFile(real), writeCollection(c));
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // A link to a file not there yet: the file it names is made.
  ASSERT_EQ(::symlink("made.vnk", dir.file("new.vnk").c_str()), 0);
  ASSERT_TRUE(saveCollection(c, dir.file("new.vnk")).ok);
  EXPECT_EQ(testing::readFile(dir.file("made.vnk")), writeCollection(c));
  EXPECT_TRUE(::lstat(dir.file("new.vnk").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
}

}  // namespace
}  // namespace varnook
