#include "server/queryparser.h"

#include <gtest/gtest.h>

#include "server/grouprules.h"
#include "server/pullsource.h"
#include "server/updateinfo.h"
#include "support/fixtures.h"

namespace varnook::server {
namespace {

std::string parsed(std::string_view text, bool matchAll = true) {
  const ParsedQuery query = parseQueryText(text, matchAll);
  if (!query.error.empty()) return "error: " + query.error;
  return query.root ? describeQuery(*query.root) : "(none)";
}

// The language, lenient where a reader would be (data/query-language.txt).
TEST(QueryParser, Language) {
  for (const auto& row : testing::readTable("server/data/query-language.txt", 3))
    EXPECT_EQ(parsed(row[0], row[1] == "all"), row[2]) << row[0];
}

TEST(QueryParser, Limits) {
  EXPECT_EQ(parsed(std::string(kMaxQueryBytes + 1, 'a')), "error: The query is too long.");
  EXPECT_EQ(parsed(std::string(100, '(') + "a"), "error: The query is nested too deeply.");
  EXPECT_EQ(parsed(std::string(kMaxQueryDepth, '(') + "a"), "\"a\"");
  std::string many;
  for (int i = 0; i <= kMaxQueryWords; ++i) many += "w" + std::to_string(i) + " ";
  EXPECT_EQ(parsed(many), "error: The query has too many words.");
  std::string fields;
  for (int i = 0; i < 100; ++i) fields += "~a ";
  EXPECT_EQ(parsed(fields + "x"), "error: The query is nested too deeply.");
}

TEST(GroupPatterns, ListsAndWildcards) {
  EXPECT_EQ(splitGroupList(" Comp.A,comp.b  rec.* ,,"),
            (std::vector<std::string>{"comp.a", "comp.b", "rec.*"}));
  EXPECT_TRUE(splitGroupList(" , ").empty());
  // The archive's wildcards and the pull's wildmats.
  for (const auto& row : testing::readTable("server/data/group-patterns.txt", 4))
    EXPECT_EQ((row[0] == "wildcard" ? wildcardMatch : wildmatMatch)(row[1], row[2]),
              row[3] == "yes")
        << row[0] << " " << row[1] << " " << row[2];
}

TEST(GroupRules, DefaultsAndFiles) {
  const GroupRules rules = GroupRules::defaults();
  EXPECT_EQ(rules.archivesOf({"misc.jobs.offered"}), std::vector<Archive>{Archive::Jobs});
  EXPECT_EQ(rules.archivesOf({"misc.forsale", "alt.sex.stories"}),
            (std::vector<Archive>{Archive::Adult, Archive::ForSale}));
  EXPECT_TRUE(rules.archivesOf({"comp.graphics"}).empty());

  std::string error;
  auto custom = GroupRules::parse("# mine\nrec.* forsale\n  sci.*   3 # adult\n", "rules", error);
  ASSERT_TRUE(custom) << error;
  EXPECT_EQ(custom->archivesOf({"rec.autos"}), std::vector<Archive>{Archive::ForSale});
  EXPECT_EQ(custom->archivesOf({"sci.crypt"}), std::vector<Archive>{Archive::Adult});
  EXPECT_TRUE(custom->archivesOf({"misc.jobs.offered"}).empty());

  EXPECT_FALSE(GroupRules::parse("x.* clothes\n", "rules", error));
  EXPECT_EQ(error, "rules:1: unknown archive 'clothes' (adult, jobs or forsale)");
  EXPECT_FALSE(GroupRules::parse("\nlonely\n", "rules", error));
  EXPECT_EQ(error, "rules:2: expected a pattern and an archive");
}

TEST(UpdateInfo, VersionStringsAndFile) {
  EXPECT_EQ(agentVersionString("1.0.5.15"), "1.00.05.15");
  EXPECT_EQ(agentVersionString("2.3"), "2.03.00.00");
  EXPECT_EQ(agentVersionString(""), "0.00.00.00");
  std::string error;
  auto info = UpdateInfo::parse(
      "# update\nOldestValidVersion = 1.00.00.00\nNewestVersion=9.00.00.00\n"
      "MessageUrl=http://example.com/msg\r\nMessageSubject=Hello there\n",
      "update.conf", error);
  ASSERT_TRUE(info) << error;
  EXPECT_EQ(info->text(),
            "NewestVersion=9.00.00.00\nOldestValidVersion=1.00.00.00\n"
            "MessageUrl=http://example.com/msg\nMessageSubject=Hello there\n");
  EXPECT_FALSE(UpdateInfo::parse("Evil=1\n", "u", error));
  EXPECT_EQ(error.substr(0, 4), "u:1:");
}

}  // namespace
}  // namespace varnook::server
