// A person with a browser: headless Chromium renders the front page, a result page and
// an article, and follows "Next matches" from page to page.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "serversupport.h"

namespace varnook::server {
namespace {

TEST(Browser, RendersThePagesAndFollowsNextMatchesToTheLastPage) {
  std::string browser = testing::findProgram("chromium");
  if (browser.empty()) browser = testing::findProgram("chromium-browser");
  if (browser.empty()) GTEST_SKIP() << "chromium is not installed";
  testing::TempFolder folder;
  auto articles = testing::numberedArticles(23, "Bicycle chain wear");
  for (testing::TestArticle& article : articles)
    article.body =
        "In article <x>, someone wrote:\n> Is the chain worn?\n>> Measure it.\n\n"
        "Replace the chain at 0.5 percent wear. See http://www.example.com/chain\n-- \nRider\n";
  const testing::LocalServer server(testing::indexArticles(folder, articles));
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  const auto run = [&](const std::string& action, const std::string& url) {
    return testing::runProgram(
               {browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                "--no-first-run", "--disable-background-networking", "--disable-component-update",
                "--disable-sync", "--hide-scrollbars", "--window-size=1100,1300",
                "--user-data-dir=" + (folder / "profile"), action, url},
               true)
        .output;
  };

  // Screenshots of rendered pages, not empty canvases, kept for a person to look at.
  const std::string kept = std::string(VARNOOK_TEST_TEMP) + "/screenshots/";
  std::filesystem::create_directories(kept);
  for (const auto& [name, target] : {std::pair{"front", "/"},
                                     {"results", "/dnquery.xp?QRY=chain&maxhits=10"},
                                     {"article", "/getdoc.xp?AN=5"}}) {
    const std::string file = folder / (std::string(name) + ".png");
    run("--screenshot=" + file, base + target);
    const std::string png = testing::readFile(file);
    EXPECT_GT(png.size(), 5000u) << target;
    EXPECT_EQ(png.substr(1, 3), "PNG") << target;
    std::filesystem::copy_file(file, kept + name + ".png",
                               std::filesystem::copy_options::overwrite_existing);
  }
  const std::string article = run("--dump-dom", base + "/getdoc.xp?AN=5");
  EXPECT_NE(article.find("class=\"q1\""), std::string::npos);
  EXPECT_NE(article.find("<a href=\"http://www.example.com/chain\""), std::string::npos);

  // What the browser shows on every page is what the agent reads from the same address.
  const std::regex nextLink("<a href=\"([^\"]*)\">Next matches</a>");
  const std::regex entryLink("/getdoc\\.xp\\?AN=([0-9]+)\"");
  std::string url = base + "/dnquery.xp?QRY=chain&maxhits=10";
  std::set<std::string> seen;
  int pages = 0;
  for (; !url.empty() && pages < 10; ++pages) {
    const std::string page = run("--dump-dom", url);
    std::vector<std::string> numbers;
    for (std::sregex_iterator it(page.begin(), page.end(), entryLink), end; it != end; ++it)
      numbers.push_back((*it)[1]);
    const testing::ParsedPage agent = testing::parsePage(server.get(testing::targetOf(url)).body);
    std::vector<std::string> agentNumbers;
    for (std::uint32_t number : agent.numbers) agentNumbers.push_back(std::to_string(number));
    EXPECT_EQ(numbers, agentNumbers) << url;
    seen.insert(numbers.begin(), numbers.end());
    std::smatch next;
    if (std::regex_search(page, next, nextLink)) {
      url = std::regex_replace(next[1].str(), std::regex("&amp;"), "&");
      EXPECT_EQ(testing::targetOf(url), testing::targetOf(agent.nextUrl));
    } else {
      EXPECT_EQ(agent.nextUrl, "");
      url.clear();
    }
  }
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(seen.size(), 23u);
}

}  // namespace
}  // namespace varnook::server
