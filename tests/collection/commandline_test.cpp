#include "collection/commandline.h"

#include <gtest/gtest.h>

namespace varnook {
namespace {

TEST(CommandLine, NothingGivenMeansAnEmptyCollection) {
  const CommandLine c = parseCommandLine({});
  EXPECT_EQ(c.kind, CommandLine::Kind::None);
  EXPECT_TRUE(c.collectionPath.empty());
}

TEST(CommandLine, QueryFormWithAndWithoutRun) {
  CommandLine c = parseCommandLine({"/Q:RUN:&QRY=modem&defaultOp=AND", "ignored"});
  EXPECT_EQ(c.kind, CommandLine::Kind::Query);
  EXPECT_TRUE(c.run);
  EXPECT_EQ(c.queryParameters, "&QRY=modem&defaultOp=AND");

  c = parseCommandLine({"/q:run:&QRY=x"});
  EXPECT_TRUE(c.run);
  EXPECT_EQ(c.queryParameters, "&QRY=x");

  c = parseCommandLine({"/Q:&QRY=x"});
  EXPECT_FALSE(c.run);
  EXPECT_EQ(c.queryParameters, "&QRY=x");

  c = parseCommandLine({"/Q:" + std::string(1200, 'a')});
  EXPECT_EQ(c.queryParameters.size(), 999u);
  c = parseCommandLine({"/Q:RUN:" + std::string(1200, 'a')});
  EXPECT_EQ(c.queryParameters.size(), 999u);
}

TEST(CommandLine, CollectionPathThenWords) {
  CommandLine c = parseCommandLine({"/home/me/News.VNK"});
  EXPECT_EQ(c.collectionPath, "/home/me/News.VNK");
  EXPECT_EQ(c.kind, CommandLine::Kind::None);
  c = parseCommandLine({"x.vnk", "modem"});
  EXPECT_EQ(c.collectionPath, "x.vnk");
  EXPECT_EQ(c.kind, CommandLine::Kind::Words);
  EXPECT_EQ(c.keywords, "modem");
  c = parseCommandLine({"vnk", "a"});
  EXPECT_EQ(c.collectionPath, "");
  EXPECT_EQ(c.keywords, "vnk a");
}

struct WordsCase {
  std::vector<std::string> args;
  const char* keywords;
  const char* authors;
  const char* subjects;
  const char* groups;
};

TEST(CommandLine, SearchWordsAndSwitches) {
  const WordsCase cases[] = {
      {{"apple", "~a", "smith", "~s", "car parts"}, "apple", "smith", "car parts", ""},
      {{"~x", "~~", "'quoted'"}, "~x ~ \"quoted\"", "", "", ""},
      {{"a~", "b"}, "a~ b", "", "", ""},
      {{"  lots \t of   blanks  "}, "lots of blanks", "", "", ""},
      {{"tab\tfirst"}, "tab\tfirst", "", "", ""},
      {{"~Gcomp.*", "~K", "back"}, "back", "", "", "comp.*"},
      {{"~a", "john", "smith", "~k", "modem"}, "modem", "john smith", "", ""},
      {{"~'"}, "~'", "", "", ""},
  };
  for (const WordsCase& t : cases) {
    const CommandLine c = parseCommandLine(t.args);
    EXPECT_EQ(c.kind, CommandLine::Kind::Words);
    EXPECT_EQ(c.keywords, t.keywords) << t.args[0];
    EXPECT_EQ(c.authors, t.authors) << t.args[0];
    EXPECT_EQ(c.subjects, t.subjects) << t.args[0];
    EXPECT_EQ(c.groups, t.groups) << t.args[0];
  }
  EXPECT_EQ(parseCommandLine({"~a", "  "}).kind, CommandLine::Kind::None);
}

}  // namespace
}  // namespace varnook
