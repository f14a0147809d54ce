// A person with a browser: headless Chromium renders the front page, a result page, an
// article and a thread, as the agent reads them.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <tuple>

#include "serversupport.h"

namespace varnook::server {
namespace {

// The first page of the chain articles, and the thread of an article: the reply tree,
// indented by depth, the article marked, its References leading to the articles held.
TEST(Browser, RendersPagesAsTheAgentReadsThemAndShowsThreadTrees) {
  std::string browser = testing::findProgram("chromium");
  if (browser.empty()) browser = testing::findProgram("chromium-browser");
  if (browser.empty()) GTEST_SKIP() << "chromium is not installed";
  testing::TempFolder folder;
  auto articles = testing::threadArticles();
  for (testing::TestArticle& article : testing::numberedArticles(23, "Bicycle chain wear")) {
    article.body =
        "In article <x>, someone wrote:\n> Is the chain worn?\n>> Measure it.\n\n"
        "Replace the chain at 0.5 percent wear. See http://www.example.com/chain\n-- \nRider\n";
    articles.push_back(article);
  }
  const testing::LocalServer server(testing::indexArticles(folder, articles));
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  // Headless Chromium on `url` with `action` (--dump-dom, --screenshot=FILE): its output.
  const auto run = [&](const std::string& action, const std::string& url) {
    return testing::runProgram(
               {browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                "--no-first-run", "--disable-background-networking", "--disable-component-update",
                "--disable-sync", "--hide-scrollbars", "--window-size=1100,1300",
                "--user-data-dir=" + (folder / "profile"), action, url},
               true)
        .output;
  };
  std::map<std::string, std::string> number;
  for (const char* name : {"root", "a", "b"})
    number[name] = std::to_string(
        server.index().articlesByMessageId({"<" + std::string(name) + "@t>"}).at(0).second);

  const std::string reply = run("--dump-dom", base + "/getdoc.xp?AN=" + number["b"]);
  for (const char* name : {"root", "a"})
    EXPECT_NE(reply.find("getdoc.xp?AN=" + number[name] + "\">&lt;" + name + "@t&gt;</a>"),
              std::string::npos)
        << name;
  std::smatch link;
  ASSERT_TRUE(std::regex_search(
      reply, link, std::regex("<a class=\"thread\" href=\"([^\"]*)\">7 articles</a>")));
  const std::string thread = std::regex_replace(link[1].str(), std::regex("&amp;"), "&");

  // Screenshots of rendered pages, not empty canvases, kept for a person to look at.
  const std::string kept = std::string(VARNOOK_TEST_TEMP) + "/screenshots/";
  std::filesystem::create_directories(kept);
  for (const auto& [name, url] : {std::pair{"front", base + "/"}, {"thread", thread}}) {
    const std::string file = folder / (std::string(name) + ".png");
    run("--screenshot=" + file, url);
    const std::string png = testing::readFile(file);
    EXPECT_GT(png.size(), 5000u) << url;
    EXPECT_EQ(png.substr(1, 3), "PNG") << url;
    std::filesystem::copy_file(file, kept + name + ".png",
                               std::filesystem::copy_options::overwrite_existing);
  }
  const std::string article = run("--dump-dom", base + "/getdoc.xp?AN=13");
  EXPECT_NE(article.find("class=\"q1\""), std::string::npos);
  EXPECT_NE(article.find("<a href=\"http://www.example.com/chain\""), std::string::npos);

  // What the browser shows is what the agent reads from the same address (the walk over
  // the pages: ServiceTest.PagingWithNextMatchesToTheLastPage).
  const std::string url = base + "/dnquery.xp?QRY=chain&maxhits=10";
  const std::string results = run("--dump-dom", url);
  const std::regex entryLink("/getdoc\\.xp\\?AN=([0-9]+)\"");
  std::vector<std::uint32_t> numbers;
  for (std::sregex_iterator it(results.begin(), results.end(), entryLink), end; it != end; ++it)
    numbers.push_back(static_cast<std::uint32_t>(std::stoul((*it)[1])));
  const testing::ParsedPage agent = testing::parsePage(server.get(testing::targetOf(url)).body);
  EXPECT_EQ(std::tuple(numbers, numbers.size()), std::tuple(agent.numbers, 10u));
  std::smatch next;
  ASSERT_TRUE(
      std::regex_search(results, next, std::regex("<a href=\"([^\"]*)\">Next matches</a>")));
  EXPECT_EQ(testing::targetOf(std::regex_replace(next[1].str(), std::regex("&amp;"), "&")),
            testing::targetOf(agent.nextUrl));

  const std::string page = run("--dump-dom", thread);
  const std::regex row(
      "<li( class=\"current\")? data-depth=\"([0-9]+)\"[^>]*><a href=\"[^\"]*"
      "getdoc\\.xp\\?AN=([0-9]+)\">([^<]*)</a>");
  std::vector<std::pair<std::string, std::uint32_t>> tree;
  std::string current;
  for (std::sregex_iterator it(page.begin(), page.end(), row), end; it != end; ++it) {
    tree.emplace_back((*it)[4], std::stoul((*it)[2]));
    if ((*it)[1].matched) current = (*it)[3];
    if ((*it)[4] == "b") {
      EXPECT_EQ((*it)[3], number["b"]);
    }
  }
  EXPECT_EQ(tree,
            (std::vector<std::pair<std::string, std::uint32_t>>{
                {"root", 0}, {"a", 1}, {"b", 2}, {"join", 3}, {"c", 1}, {"s1", 0}, {"s2", 0}}));
  EXPECT_EQ(current, number["b"]);
}

}  // namespace
}  // namespace varnook::server
