#include "collection/commandline.h"

#include <gtest/gtest.h>

#include <tuple>

namespace varnook {
namespace {

using Kind = CommandLine::Kind;

TEST(CommandLine, QueryFormCollectionPathAndSearchWords) {
  const std::string longQuery(1200, 'a');
  const struct {
    std::vector<std::string> args;
    Kind kind;
    std::string path, words;  // words: "keywords|authors|subjects|groups"
    std::string query;
    bool run;
  } cases[] = {
      {{}, Kind::None, "", "|||", "", false},
      {{"/Q:RUN:&QRY=modem&defaultOp=AND", "ignored"},
       Kind::Query,
       "",
       "|||",
       "&QRY=modem&defaultOp=AND",
       true},
      {{"/q:run:&QRY=x"}, Kind::Query, "", "|||", "&QRY=x", true},
      {{"/Q:&QRY=x"}, Kind::Query, "", "|||", "&QRY=x", false},
      {{"/Q:" + longQuery}, Kind::Query, "", "|||", longQuery.substr(0, 999), false},
      {{"/Q:RUN:" + longQuery}, Kind::Query, "", "|||", longQuery.substr(0, 999), true},
      {{"/home/me/News.VNK"}, Kind::None, "/home/me/News.VNK", "|||", "", false},
      {{"x.vnk", "modem"}, Kind::Words, "x.vnk", "modem|||", "", false},
      {{"vnk", "a"}, Kind::Words, "", "vnk a|||", "", false},
      {{"apple", "~a", "smith", "~s", "car parts"},
       Kind::Words,
       "",
       "apple|smith|car parts|",
       "",
       false},
      {{"~x", "~~", "'quoted'"}, Kind::Words, "", "~x ~ \"quoted\"|||", "", false},
      {{"a~", "b"}, Kind::Words, "", "a~ b|||", "", false},
      {{"  lots \t of   blanks  "}, Kind::Words, "", "lots of blanks|||", "", false},
      {{"tab\tfirst"}, Kind::Words, "", "tab\tfirst|||", "", false},
      {{"~Gcomp.*", "~K", "back"}, Kind::Words, "", "back|||comp.*", "", false},
      {{"~a", "john", "smith", "~k", "modem"}, Kind::Words, "", "modem|john smith||", "", false},
      {{"~'"}, Kind::Words, "", "~'|||", "", false},
      {{"~a", "  "}, Kind::None, "", "|||", "", false},
      {{"--help"}, Kind::Help, "", "|||", "", false},
      {{"x.vnk", "--version", "-h"}, Kind::Help, "", "|||", "", false},
      {{"/Q:RUN:&QRY=x", "--version"}, Kind::Version, "", "|||", "", false},
      {{"-help"}, Kind::Words, "", "-help|||", "", false},
  };
  for (const auto& c : cases) {
    const CommandLine l = parseCommandLine(c.args);
    EXPECT_EQ(std::tuple(l.kind, l.collectionPath,
                         l.keywords + "|" + l.authors + "|" + l.subjects + "|" + l.groups,
                         l.queryParameters, l.run),
              std::tuple(c.kind, c.path, c.words, c.query, c.run))
        << (c.args.empty() ? "" : c.args[0]);
  }
}

}  // namespace
}  // namespace varnook
