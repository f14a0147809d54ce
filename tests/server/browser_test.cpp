// A person with a browser: headless Chromium renders the front page, a result page and
// an article, and follows "Next matches" from page to page.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "serversupport.h"

namespace varnook::server {
namespace {

using testing::TempFolder;

std::string chromiumPath() {
  for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (std::filesystem::exists(candidate)) return candidate;
  return {};
}

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    browser_ = chromiumPath();
    if (browser_.empty()) GTEST_SKIP() << "chromium is not installed";
    std::vector<testing::TestArticle> articles(23);
    for (int i = 0; i < 23; ++i) {
      articles[i].subject = "Bicycle chain wear, part " + std::to_string(i + 1);
      articles[i].from =
          "Rider " + std::to_string(i) + " <rider" + std::to_string(i) + "@example.com>";
      articles[i].newsgroups = "rec.bicycles.tech";
      articles[i].date = std::to_string(i + 1) + " May 1996 10:00:00 GMT";
      articles[i].body =
          "In article <x>, someone wrote:\n> Is the chain worn?\n>> Measure it.\n\n"
          "Replace the chain at 0.5 percent wear. See http://www.example.com/chain\n"
          "-- \nRider\n";
    }
    testing::indexPaths(folder_ / "index", {testing::writeSpool(folder_, articles)});
    server_ = std::make_unique<testing::LocalServer>(folder_ / "index");
    base_ = "http://127.0.0.1:" + std::to_string(server_->port());
  }

  std::vector<std::string> browserArguments(const std::string& action, const std::string& url) {
    return {browser_,
            "--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--disable-quic",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--hide-scrollbars",
            "--window-size=1100,1300",
            "--user-data-dir=" + (folder_ / "profile"),
            action,
            url};
  }

  void screenshot(const std::string& url, const std::string& name) {
    const std::string file = folder_ / (name + ".png");
    testing::runProgram(browserArguments("--screenshot=" + file, url), true);
    const std::string png = testing::readFile(file);
    ASSERT_GT(png.size(), 5000u) << url;  // a rendered page, not an empty canvas
    EXPECT_EQ(png.substr(1, 3), "PNG");
    // Keep the pictures for a person to look at.
    std::filesystem::create_directories(std::string(VARNOOK_TEST_TEMP) + "/screenshots");
    std::filesystem::copy_file(file,
                               std::string(VARNOOK_TEST_TEMP) + "/screenshots/" + name + ".png",
                               std::filesystem::copy_options::overwrite_existing);
  }

  std::string dom(const std::string& url) {
    return testing::runProgram(browserArguments("--dump-dom", url), true).output;
  }

  std::string browser_;
  TempFolder folder_;
  std::unique_ptr<testing::LocalServer> server_;
  std::string base_;
};

TEST_F(BrowserTest, RendersTheFrontPageAResultPageAndAnArticle) {
  screenshot(base_ + "/", "front");
  screenshot(base_ + "/dnquery.xp?QRY=chain&maxhits=10", "results");
  screenshot(base_ + "/getdoc.xp?AN=5", "article");
  const std::string article = dom(base_ + "/getdoc.xp?AN=5");
  EXPECT_NE(article.find("class=\"q1\""), std::string::npos);
  EXPECT_NE(article.find("<a href=\"http://www.example.com/chain\""), std::string::npos);
}

TEST_F(BrowserTest, FollowsNextMatchesToTheLastPage) {
  const std::regex nextLink("<a href=\"([^\"]*)\">Next matches</a>");
  const std::regex entryLink("/getdoc\\.xp\\?AN=([0-9]+)\"");
  std::string url = base_ + "/dnquery.xp?QRY=chain&maxhits=10";
  std::set<std::string> seen;
  int pages = 0;
  while (!url.empty() && pages < 10) {
    ++pages;
    const std::string page = dom(url);
    std::vector<std::string> numbers;
    for (std::sregex_iterator it(page.begin(), page.end(), entryLink), end; it != end; ++it)
      numbers.push_back((*it)[1]);
    // What the browser shows is what the agent reads from the same address.
    const testing::ParsedPage agent = testing::parsePage(server_->get(testing::targetOf(url)).body);
    ASSERT_EQ(agent.numbers.size(), numbers.size()) << url;
    for (std::size_t i = 0; i < numbers.size(); ++i)
      EXPECT_EQ(std::to_string(agent.numbers[i]), numbers[i]);
    seen.insert(numbers.begin(), numbers.end());
    std::smatch next;
    if (std::regex_search(page, next, nextLink)) {
      url = std::regex_replace(next[1].str(), std::regex("&amp;"), "&");
      EXPECT_EQ(testing::targetOf(url), testing::targetOf(agent.nextUrl));
    } else {
      EXPECT_TRUE(agent.nextUrl.empty());
      url.clear();
    }
  }
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(seen.size(), 23u);
}

}  // namespace
}  // namespace varnook::server
