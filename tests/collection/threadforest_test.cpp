#include "collection/threadforest.h"

#include <gtest/gtest.h>

#include <sstream>

namespace varnook {
namespace {

// An article as a table row: "subject|forum|id|references|date", loaded when it has an id.
std::unique_ptr<Article> row(const std::string& spec) {
  std::vector<std::string> f(5);
  std::istringstream fields(spec);
  for (std::string& field : f) std::getline(fields, field, '|');
  auto article = std::make_unique<Article>(1, f[0]);
  article->forum = f[1];
  article->messageId = f[2];
  article->references = f[3];
  article->date = std::stod(f[4]);
  if (!f[2].empty()) article->text = "body";
  return article;
}

// The forest in tree order: one subject per article, indented by depth.
std::vector<std::string> shape(const std::vector<std::string>& rows, ThreadLinks links) {
  std::vector<std::unique_ptr<Article>> articles;
  for (const std::string& spec : rows) articles.push_back(row(spec));
  std::vector<std::string> lines;
  for (const auto& [at, depth] : groupThreads(articles, links).treeOrder())
    lines.push_back(std::string(2 * static_cast<std::size_t>(depth), ' ') +
                    articles[static_cast<std::size_t>(at)]->subject);
  return lines;
}

TEST(ThreadForestTest, BuildsTreesFromHeadersAndSubjects) {
  using L = std::vector<std::string>;
  const struct {
    const char* name;
    ThreadLinks links;
    L rows;
    L tree;
  } cases[] = {
      {"the nearest held reference is the parent; siblings by date; roots in list order",
       ThreadLinks::Headers,
       {"other|g|<o>||1", "b|g|<b>|<r> <a> <gone>|5", "r|g|<r>||1", "a|g|<a>|<r>|2",
        "c|g|<c>|<r>|3"},
       {"other", "r", "  a", "    b", "  c"}},
      {"a loop of references is cut where it closes; by headers only, unloaded replies are roots",
       ThreadLinks::Headers,
       {"p|g|<p>|<q>|1", "q|g|<q>|<p>|2", "self|g|<s>|<s>|3", "Modem|g|||1", "Re: Modem|g|||2"},
       {"q", "  p", "self", "Modem", "Re: Modem"}},
      {"unloaded replies join the start of their subject within its forum",
       ThreadLinks::HeadersAndSubjects,
       {"Re: Modem|g|||1", "RE: aw:Re[2]: Modem|g|||3", "Modem|g|||2", "Re: Modem|h|||1",
        "Fwd: Modem|g|||0"},
       {"Modem", "  Fwd: Modem", "  Re: Modem", "  RE: aw:Re[2]: Modem", "Re: Modem"}},
      {"without a prefixless start the oldest leads; a loaded start takes unloaded replies",
       ThreadLinks::HeadersAndSubjects,
       {"Re: x|g|||5", "Re: x|g|||4", "y|g|<y>||9", "Re: y|g|||1", "Re: y|g|<r>|<y>|2"},
       {"Re: x", "  Re: x", "y", "  Re: y", "  Re: y"}},
      {"a loaded reply whose parent is missing joins by subject; a loaded start does not",
       ThreadLinks::HeadersAndSubjects,
       {"t|g|||1", "Re: t|g|<a>|<gone>|2", "t|g|<t2>||3"},
       {"t", "  Re: t", "t"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shape(c.rows, c.links), c.tree) << c.name;
  }
}

TEST(ThreadForestTest, ThreadSubjectRemovesReplyPrefixesOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {" Re: AW: Re[3]: Modem ", "Modem"},
      {"re^2:fw: x", "x"},
      {"Re[: x", "Re[: x"},
      {"Rex: y", "Rex: y"},
      {"Re:", ""},
      {"Sv:Fwd:  z", "z"},
  };
  for (const auto& [subject, expected] : cases) EXPECT_EQ(threadSubject(subject), expected);
}

}  // namespace
}  // namespace varnook
