#include "desktop/opener.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "desktop/launcher.h"
#include "xdgsandbox.h"

namespace varnook {
namespace {

using Args = std::vector<std::string>;
using testing::XdgSandbox;

class Opener : public ::testing::Test {
 protected:
  // Installs the recorder `id` as the default handler of every type in `types`.
  void handle(const std::string& id, std::initializer_list<const char*> types,
              const std::string& execArguments = "%u") {
    box.addRecorder(id, execArguments);
    for (const char* type : types) box.setDefault(type, id);
  }
  // The arguments the recorder got; they are forgotten for the next start.
  std::optional<Args> take(const std::string& id) {
    auto args = box.waitForRecord(id);
    std::filesystem::remove(box.root + "/records/" + id + ".args");
    return args;
  }
  std::string script(const std::string& id) { return box.root + "/bin/" + id + ".sh"; }
  XdgSandbox box;
};

TEST_F(Opener, FindsProgramsOnlyInAbsolutePathEntriesAndReportsThoseThatCannotRun) {
  testing::writeTextFile(box.root + "/bin/tool", "#!/bin/sh\n", true);
  testing::writeTextFile(box.root + "/bin/plain", "not executable");
  testing::writeTextFile(box.root + "/bin/broken", "#!/nonexistent/interpreter\n", true);
  EXPECT_EQ(findProgram("tool", "relative:" + box.root + "/bin"), box.root + "/bin/tool");
  EXPECT_EQ(findProgram("plain", box.root + "/bin"), std::nullopt);
  EXPECT_EQ(findProgram("bin/tool", box.root), std::nullopt);  // relative with "/": not found
  EXPECT_EQ(findProgram(box.root + "/bin/tool", ""), box.root + "/bin/tool");
  EXPECT_EQ(findProgram("", "/bin"), std::nullopt);

  const LaunchResult missing = startDetached({"no-such-program-here"}, "/usr/bin:/bin");
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.error.find("No such file"), std::string::npos) << missing.error;
  const LaunchResult broken = startDetached({box.root + "/bin/broken"}, "");
  EXPECT_FALSE(broken.started);
  EXPECT_FALSE(broken.error.empty());
  EXPECT_FALSE(startDetached({}, "/bin").started);
}

TEST_F(Opener, HostileUrlsReachTheRegisteredBrowserIntact) {
  handle("recorder.desktop", {"x-scheme-handler/http", "x-scheme-handler/https"},
         "--new-window %u");
  const std::string marker = box.root + "/pwned";
  const std::string urls[] = {
      "http://example.com/a b c",
      "https://example.com/?q=\"quoted\" 'single'",
      "http://example.com/x;touch " + marker + ";",
      "http://example.com/$(touch " + marker + ")`touch " + marker + "`",
      "http://example.com/|&>" + marker + " #\n*?~",
  };
  for (const auto& url : urls) {
    const OpenResult result = openUrl(box.dirs(), url);
    ASSERT_EQ(result.status, OpenStatus::opened) << url << ": " << result.detail;
    EXPECT_EQ(take("recorder.desktop"), (Args{"--new-window", url}));
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(Opener, ChoosesTheBrowserByScheme) {
  handle("http.desktop", {"x-scheme-handler/http"});
  handle("html.desktop", {"text/html"}, "%f");
  handle("ftp.desktop", {"x-scheme-handler/ftp"});
  const XdgDirs dirs = box.dirs();
  EXPECT_EQ(browserCommand(dirs, "https://x/")->front(), script("http.desktop"));
  EXPECT_EQ(browserCommand(dirs, "ftp://x/")->front(), script("ftp.desktop"));
  EXPECT_EQ(browserCommand(dirs, "/tmp/manual.html"),
            (Args{script("html.desktop"), "/tmp/manual.html"}));
  EXPECT_EQ(browserCommand(dirs, "file:///tmp/a%20b.html"),
            (Args{script("html.desktop"), "/tmp/a b.html"}));
}

TEST_F(Opener, BareAddressesBecomeHttpUrlsAndNeverOptions) {
  handle("recorder.desktop", {"x-scheme-handler/http"});
  ASSERT_EQ(openUrl(box.dirs(), "www.example.com/x").status, OpenStatus::opened);
  EXPECT_EQ(take("recorder.desktop"), (Args{"http://www.example.com/x"}));
  ASSERT_EQ(openUrl(box.dirs(), "--renderer-cmd-prefix=evil").status, OpenStatus::opened);
  EXPECT_EQ(take("recorder.desktop"), (Args{"http://--renderer-cmd-prefix=evil"}));
  EXPECT_EQ(browserTarget("C:\\x"), "http://C:\\x");
  EXPECT_EQ(browserTarget("mailto:a@b"), "mailto:a@b");
}

TEST_F(Opener, ReportsAMissingAndABrokenBrowser) {
  EXPECT_EQ(openUrl(box.dirs(), "http://x/").status, OpenStatus::noHandler);
  box.addDesktopFile("broken.desktop", "[Desktop Entry]\nType=Application\nName=B\nExec=" +
                                           box.root + "/bin/not-there %u\n");
  box.setDefault("x-scheme-handler/http", "broken.desktop");
  const OpenResult broken = openUrl(box.dirs(), "http://x/");
  EXPECT_EQ(broken.status, OpenStatus::launchFailed);
  EXPECT_FALSE(broken.detail.empty());
}

TEST_F(Opener, UsesTheBrowserVariableWhenNothingIsRegistered) {
  box.addRecorder("env.desktop");
  XdgDirs dirs = box.dirs();
  dirs.browserVariable = "no-such-browser:" + script("env.desktop") + " --open=%s --literal=%%";
  ASSERT_EQ(openUrl(dirs, "http://x/a b").status, OpenStatus::opened);
  EXPECT_EQ(take("env.desktop"), (Args{"--open=http://x/a b", "--literal=%"}));
}

TEST_F(Opener, HelpViewerFallsBackToTheBrowser) {
  handle("browser.desktop", {"x-scheme-handler/http"});
  ASSERT_EQ(openInHelpViewer(box.dirs(), "/doc/manual.html").status, OpenStatus::opened);
  EXPECT_EQ(take("browser.desktop"), (Args{"file:///doc/manual.html"}));
  handle("viewer.desktop", {"text/html"}, "%f");
  ASSERT_EQ(openInHelpViewer(box.dirs(), "/doc/manual.html").status, OpenStatus::opened);
  EXPECT_EQ(take("viewer.desktop"), (Args{"/doc/manual.html"}));
}

TEST(UrlScheme, RecognisesSchemesOfTwoLettersOrMore) {
  const std::pair<const char*, const char*> cases[] = {
      {"HTTPS://x", "https"}, {"mailto:a@b", "mailto"},     {"c:\\x", ""},    {"www.x.com:80/", ""},
      {"localhost:8119", ""}, {"news:comp.lang.c", "news"}, {"1http://x", ""}};
  for (const auto& [text, scheme] : cases) EXPECT_EQ(urlScheme(text), scheme) << text;
}

}  // namespace
}  // namespace varnook
