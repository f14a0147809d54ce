#include "desktop/opener.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "desktop/launcher.h"
#include "xdgsandbox.h"

namespace varnook {
namespace {

using Args = std::vector<std::string>;
using testing::XdgSandbox;

TEST(Launcher, FindsProgramsOnlyInAbsolutePathEntries) {
  XdgSandbox box;
  testing::writeTextFile(box.root + "/bin/tool", "#!/bin/sh\n", true);
  testing::writeTextFile(box.root + "/bin/plain", "not executable");
  EXPECT_EQ(findProgram("tool", "relative:" + box.root + "/bin"), box.root + "/bin/tool");
  EXPECT_EQ(findProgram("plain", box.root + "/bin"), std::nullopt);
  EXPECT_EQ(findProgram("bin/tool", box.root), std::nullopt);  // relative with "/": not found
  EXPECT_EQ(findProgram(box.root + "/bin/tool", ""), box.root + "/bin/tool");
  EXPECT_EQ(findProgram("", "/bin"), std::nullopt);
}

TEST(Launcher, ReportsProgramsThatCannotBeExecuted) {
  XdgSandbox box;
  testing::writeTextFile(box.root + "/bin/broken", "#!/nonexistent/interpreter\n", true);
  const LaunchResult missing = startDetached({"no-such-program-here"}, "/usr/bin:/bin");
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.error.find("No such file"), std::string::npos) << missing.error;
  const LaunchResult broken = startDetached({box.root + "/bin/broken"}, "");
  EXPECT_FALSE(broken.started);
  EXPECT_FALSE(broken.error.empty());
  EXPECT_FALSE(startDetached({}, "/bin").started);
}

TEST(Browser, HostileUrlsReachTheRegisteredBrowserIntact) {
  XdgSandbox box;
  box.addRecorder("recorder.desktop", "--new-window %u");
  box.setDefault("x-scheme-handler/http", "recorder.desktop");
  box.setDefault("x-scheme-handler/https", "recorder.desktop");
  const std::string marker = box.root + "/pwned";
  const std::string urls[] = {
      "http://example.com/a b c",
      "https://example.com/?q=\"quoted\" 'single'",
      "http://example.com/x;touch " + marker + ";",
      "http://example.com/$(touch " + marker + ")`touch " + marker + "`",
      "http://example.com/|&>" + marker + " #\n*?~",
  };
  for (const auto& url : urls) {
    std::filesystem::remove(box.root + "/records/recorder.desktop.args");
    const OpenResult result = openUrl(box.dirs(), url);
    ASSERT_EQ(result.status, OpenStatus::opened) << url << ": " << result.detail;
    EXPECT_EQ(box.waitForRecord("recorder.desktop"), (Args{"--new-window", url}));
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(Browser, ChoosesTheHandlerByScheme) {
  XdgSandbox box;
  box.addRecorder("http.desktop");
  box.addRecorder("html.desktop", "%f");
  box.addRecorder("ftp.desktop");
  box.setDefault("x-scheme-handler/http", "http.desktop");
  box.setDefault("text/html", "html.desktop");
  box.setDefault("x-scheme-handler/ftp", "ftp.desktop");
  const XdgDirs dirs = box.dirs();
  EXPECT_EQ(browserCommand(dirs, "https://x/")->front(), box.root + "/bin/http.desktop.sh");
  EXPECT_EQ(browserCommand(dirs, "ftp://x/")->front(), box.root + "/bin/ftp.desktop.sh");
  EXPECT_EQ(browserCommand(dirs, "/tmp/manual.html"),
            (Args{box.root + "/bin/html.desktop.sh", "/tmp/manual.html"}));
  EXPECT_EQ(browserCommand(dirs, "file:///tmp/a%20b.html"),
            (Args{box.root + "/bin/html.desktop.sh", "/tmp/a b.html"}));
}

TEST(Browser, BareAddressesBecomeHttpUrlsAndNeverOptions) {
  XdgSandbox box;
  box.addRecorder("recorder.desktop");
  box.setDefault("x-scheme-handler/http", "recorder.desktop");
  ASSERT_EQ(openUrl(box.dirs(), "www.example.com/x").status, OpenStatus::opened);
  EXPECT_EQ(box.waitForRecord("recorder.desktop"), (Args{"http://www.example.com/x"}));
  std::filesystem::remove(box.root + "/records/recorder.desktop.args");
  ASSERT_EQ(openUrl(box.dirs(), "--renderer-cmd-prefix=evil").status, OpenStatus::opened);
  EXPECT_EQ(box.waitForRecord("recorder.desktop"), (Args{"http://--renderer-cmd-prefix=evil"}));
  EXPECT_EQ(browserTarget("C:\\x"), "http://C:\\x");
  EXPECT_EQ(browserTarget("mailto:a@b"), "mailto:a@b");
}

TEST(Browser, ReportsAMissingAndABrokenBrowser) {
  XdgSandbox box;
  EXPECT_EQ(openUrl(box.dirs(), "http://x/").status, OpenStatus::noHandler);
  box.addDesktopFile("broken.desktop", "[Desktop Entry]\nType=Application\nName=B\nExec=" +
                                           box.root + "/bin/not-there %u\n");
  box.setDefault("x-scheme-handler/http", "broken.desktop");
  const OpenResult broken = openUrl(box.dirs(), "http://x/");
  EXPECT_EQ(broken.status, OpenStatus::launchFailed);
  EXPECT_FALSE(broken.detail.empty());
}

TEST(Browser, UsesTheBrowserVariableWhenNothingIsRegistered) {
  XdgSandbox box;
  box.addRecorder("env.desktop");
  XdgDirs dirs = box.dirs();
  const std::string script = box.root + "/bin/env.desktop.sh";
  dirs.browserVariable = "no-such-browser:" + script + " --open=%s --literal=%%";
  ASSERT_EQ(openUrl(dirs, "http://x/a b").status, OpenStatus::opened);
  EXPECT_EQ(box.waitForRecord("env.desktop"), (Args{"--open=http://x/a b", "--literal=%"}));
}

TEST(HelpViewer, FallsBackToTheBrowser) {
  XdgSandbox box;
  box.addRecorder("browser.desktop");
  box.setDefault("x-scheme-handler/http", "browser.desktop");
  ASSERT_EQ(openInHelpViewer(box.dirs(), "/doc/manual.html").status, OpenStatus::opened);
  EXPECT_EQ(box.waitForRecord("browser.desktop"), (Args{"file:///doc/manual.html"}));
  box.addRecorder("viewer.desktop", "%f");
  box.setDefault("text/html", "viewer.desktop");
  ASSERT_EQ(openInHelpViewer(box.dirs(), "/doc/manual.html").status, OpenStatus::opened);
  EXPECT_EQ(box.waitForRecord("viewer.desktop"), (Args{"/doc/manual.html"}));
}

TEST(UrlScheme, RecognisesSchemes) {
  EXPECT_EQ(urlScheme("HTTPS://x"), "https");
  EXPECT_EQ(urlScheme("mailto:a@b"), "mailto");
  EXPECT_EQ(urlScheme("c:\\x"), "");
  EXPECT_EQ(urlScheme("www.x.com:80/"), "");
  EXPECT_EQ(urlScheme("localhost:8119"), "");
  EXPECT_EQ(urlScheme("news:comp.lang.c"), "news");
  EXPECT_EQ(urlScheme("1http://x"), "");
}

}  // namespace
}  // namespace varnook
