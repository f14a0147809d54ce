#include "server/queryparser.h"

#include <gtest/gtest.h>

#include "server/grouprules.h"
#include "server/updateinfo.h"

namespace varnook::server {
namespace {

std::string parsed(std::string_view text, bool matchAll = true) {
  const ParsedQuery query = parseQueryText(text, matchAll);
  if (!query.error.empty()) return "error: " + query.error;
  return query.root ? describeQuery(*query.root) : "(none)";
}

TEST(QueryParser, Language) {
  const struct {
    const char* text;
    bool matchAll;
    const char* expected;
  } cases[] = {
      {"modem", true, "\"modem\""},
      {"linux  modem ", true, "(and \"linux\" \"modem\")"},
      {"linux modem", false, "(or \"linux\" \"modem\")"},
      {"modem & \"usr sportster\"", true, "(and \"modem\" (phrase \"usr sportster\"))"},
      {"a | b & c", true, "(or \"a\" (and \"b\" \"c\"))"},
      {"a b | c", false, "(or (or \"a\" \"b\") \"c\")"},
      {"a &! b", true, "(andnot \"a\" \"b\")"},
      {"(a | b) c", true, "(and (or \"a\" \"b\") \"c\")"},
      {"modem*", true, "\"modem*\""},
      // What the agent's summary text and refined searches produce.
      {"modem ~a (john smith) ~g comp.dcom.modems", true,
       "(and \"modem\" (and (field a (and \"john\" \"smith\")) (field g \"comp.dcom.modems\")))"},
      {"modem ~a (john smith)", false, "(and \"modem\" (field a (and \"john\" \"smith\")))"},
      {"~s \"exact words\" ~g (comp.a comp.b)", true,
       "(and (field s (phrase \"exact words\")) (field g (or \"comp.a\" \"comp.b\")))"},
      {"~A smith", true, "(field a \"smith\")"},
      {"~x smith", true, "(and \"~x\" \"smith\")"},
      {"a~s b", true, "(and \"a~s\" \"b\")"},
      // Lenient where a reader would be.
      {"(a b", true, "(and \"a\" \"b\")"},
      {"a) b", true, "(and \"a\" \"b\")"},
      {"\"open phrase", true, "(phrase \"open phrase\")"},
      {"a & | b", true, "(or \"a\" \"b\")"},
      {"&! b", true, "(not \"b\")"},
      {"()", true, "(none)"},
      {"~a", true, "(none)"},
      {"* ** ", true, "(none)"},
      {"", true, "(none)"},
  };
  for (const auto& c : cases) EXPECT_EQ(parsed(c.text, c.matchAll), c.expected) << c.text;
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
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"comp.sys.*", "comp.sys.mac.hardware", true},
      {"comp.sys.*", "comp.sys", false},
      {"*.jobs*", "misc.jobs.offered", true},
      {"*.jobs*", "jobs.offered", false},
      {"*.forsale*", "misc.forsale", true},
      {"alt.sex*", "alt.sex.stories", true},
      {"alt.sex*", "alt.sexy", true},
      {"comp.?raphics", "comp.graphics", true},
      {"COMP.*", "comp.x", true},
      {"a*b*c*d*e*f", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
       false},
      {"*", "", true},
      {"", "x", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
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
