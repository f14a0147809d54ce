#include "desktop/opener.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "desktop/launcher.h"
#include "xdgsandbox.h"

namespace varnook {
namespace {

using Args = std::vector<std::string>;

class Opener : public ::testing::Test {
 protected:
  std::string script(const std::string& id) { return box.root + "/bin/" + id + ".sh"; }
  testing::XdgSandbox box;
};

TEST_F(Opener, FindsProgramsOnlyInAbsolutePathEntriesAndReportsThoseThatCannotRun) {
  const std::string bin = box.root + "/bin";
  testing::writeProgram(bin + "/tool", "#!/bin/sh\n");
  testing::writeFile(bin + "/plain", "not executable");
  testing::writeProgram(bin + "/broken", "#!/nonexistent/interpreter\n");
  EXPECT_EQ(findProgram("tool", "relative:" + bin), bin + "/tool");
  EXPECT_EQ(findProgram("plain", bin), std::nullopt);
  EXPECT_EQ(findProgram("bin/tool", box.root), std::nullopt);  // relative with "/": not found
  EXPECT_EQ(findProgram(bin + "/tool", ""), bin + "/tool");
  EXPECT_EQ(findProgram("", "/bin"), std::nullopt);

  const LaunchResult missing = startDetached({"no-such-program-here"}, "/usr/bin:/bin");
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.error.find("No such file"), std::string::npos) << missing.error;
  const LaunchResult broken = startDetached({bin + "/broken"}, "");
  EXPECT_FALSE(broken.started || broken.error.empty());
  EXPECT_FALSE(startDetached({}, "/bin").started);
}

// Whatever a URL holds reaches the browser as one argument; texts without a scheme become
// http URLs, never file names or options.
TEST_F(Opener, UrlsReachTheRegisteredBrowserIntact) {
  box.addHandler("recorder.desktop", {"x-scheme-handler/http", "x-scheme-handler/https"},
                 "--new-window %u");
  const std::string marker = box.root + "/pwned";
  const std::pair<std::string, std::string> cases[] = {
      {"http://example.com/a b c", ""},
      {"https://example.com/?q=\"quoted\" 'single'", ""},
      {"http://example.com/x;touch " + marker + ";", ""},
      {"http://example.com/$(touch " + marker + ")`touch " + marker + "`", ""},
      {"http://example.com/|&>" + marker + " #\n*?~", ""},
      {"www.example.com/x", "http://www.example.com/x"},
      {"--renderer-cmd-prefix=evil", "http://--renderer-cmd-prefix=evil"},
  };
  for (const auto& [url, received] : cases) {
    const OpenResult result = openUrl(box.dirs(), url);
    ASSERT_EQ(result.status, OpenStatus::Opened) << url << ": " << result.detail;
    EXPECT_EQ(box.waitForRecord("recorder.desktop"),
              (Args{"--new-window", received.empty() ? url : received}));
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
  EXPECT_EQ(browserTarget("C:\\x"), "http://C:\\x");
}

TEST_F(Opener, ChoosesTheBrowserBySchemeAndTheHelpViewerFallsBackToIt) {
  box.addHandler("http.desktop", {"x-scheme-handler/http"});
  box.addHandler("ftp.desktop", {"x-scheme-handler/ftp"});
  const XdgDirs dirs = box.dirs();
  ASSERT_EQ(openInHelpViewer(dirs, "/doc/manual.html").status, OpenStatus::Opened);
  EXPECT_EQ(box.waitForRecord("http.desktop"), (Args{"file:///doc/manual.html"}));

  box.addHandler("html.desktop", {"text/html"}, "%f");
  EXPECT_EQ(browserCommand(dirs, "https://x/")->front(), script("http.desktop"));
  EXPECT_EQ(browserCommand(dirs, "ftp://x/")->front(), script("ftp.desktop"));
  EXPECT_EQ(browserCommand(dirs, "/tmp/manual.html"),
            (Args{script("html.desktop"), "/tmp/manual.html"}));
  EXPECT_EQ(browserCommand(dirs, "file:///tmp/a%20b.html"),
            (Args{script("html.desktop"), "/tmp/a b.html"}));
  ASSERT_EQ(openInHelpViewer(dirs, "/doc/manual.html").status, OpenStatus::Opened);
  EXPECT_EQ(box.waitForRecord("html.desktop"), (Args{"/doc/manual.html"}));
}

// No handler and a handler that cannot start: see DesktopActions' failure texts.
TEST_F(Opener, FallsBackToTheBrowserVariable) {
  XdgDirs dirs = box.dirs();
  box.addRecorder("env.desktop");
  dirs.browserVariable = "no-such-browser:" + script("env.desktop") + " --open=%s --literal=%%";
  ASSERT_EQ(openUrl(dirs, "http://x/a b").status, OpenStatus::Opened);
  EXPECT_EQ(box.waitForRecord("env.desktop"), (Args{"--open=http://x/a b", "--literal=%"}));
}

TEST(UrlScheme, RecognisesSchemesOfTwoLettersOrMore) {
  const std::pair<const char*, const char*> cases[] = {
      {"HTTPS://x", "https"}, {"mailto:a@b", "mailto"},     {"c:\\x", ""},    {"www.x.com:80/", ""},
      {"localhost:8119", ""}, {"news:comp.lang.c", "news"}, {"1http://x", ""}};
  for (const auto& [text, scheme] : cases) EXPECT_EQ(urlScheme(text), scheme) << text;
}

}  // namespace
}  // namespace varnook
