#include "desktop/desktopentry.h"

#include <gtest/gtest.h>

#include "desktop/keyfile.h"

namespace varnook {
namespace {

using Args = std::vector<std::string>;

TEST(KeyFile, ReadsGroupsSkipsWhatIsNoEntryUnescapesAndSplitsLists) {
  const KeyFile file = KeyFile::parse(
      "# comment\nstray=before any group\n[Desktop Entry]\r\nName = Browser \nName[de]=Netz\n"
      "garbage line\n[Broken\nlost=1\n[Other]\nName=second\n");
  ASSERT_EQ(file.groups().size(), 2u);
  EXPECT_EQ(file.value("Desktop Entry", "Name"), "Browser");
  EXPECT_EQ(file.value("Desktop Entry", "Name[de]"), "Netz");
  EXPECT_EQ(file.value("Desktop Entry", "lost"), std::nullopt);
  EXPECT_EQ(file.value("Other", "Name"), "second");
  EXPECT_EQ(file.value("Missing", "Name"), std::nullopt);
  EXPECT_EQ(unescapeValue(R"(a\sb\tc\\d\"e)"), "a b\tc\\d\\\"e");
  EXPECT_EQ(splitList("text/html;;x-scheme-handler/http;a\\;b;"),
            (Args{"text/html", "x-scheme-handler/http", "a;b"}));
}

TEST(DesktopEntry, ParsesTheEntryGroupOnly) {
  auto entry = parseDesktopEntry(
      "[Desktop Action new]\nExec=wrong\n[Desktop Entry]\nType=Application\nName=Web\n"
      "Exec=/usr/bin/web\\s--new %U\nHidden=true\nMimeType=text/html;x-scheme-handler/http;\n");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->exec, "/usr/bin/web --new %U");
  EXPECT_TRUE(entry->hidden);
  EXPECT_EQ(entry->mimeTypes, (Args{"text/html", "x-scheme-handler/http"}));
  EXPECT_FALSE(parseDesktopEntry("[Other]\nExec=x\n"));
}

TEST(DesktopEntry, SplitsExecByItsQuotingRules) {
  const std::pair<const char*, std::optional<Args>> cases[] = {
      {"firefox %u", Args{"firefox", "%u"}},
      {"  a   b\tc ", Args{"a", "b", "c"}},
      {R"("/opt/My Browser/run" --x)", Args{"/opt/My Browser/run", "--x"}},
      {R"(sh "a \"q\" \$HOME \`x\` \\")", Args{"sh", R"(a "q" $HOME `x` \)"}},
      {R"(prog "keep \n as is")", Args{"prog", R"(keep \n as is)"}},
      {R"(prog 'single $x' back\ slash)", Args{"prog", "single $x", "back slash"}},
      {R"(prog --opt="a b")", Args{"prog", "--opt=a b"}},
      {R"(prog "unclosed)", std::nullopt},
      {"prog 'unclosed", std::nullopt},
      {"", std::nullopt},
      {"\"\" x", std::nullopt},
  };
  for (const auto& [exec, args] : cases) EXPECT_EQ(splitExec(exec), args) << exec;
}

TEST(DesktopEntry, ExpandsFieldCodesWithTheTargetAsOneArgument) {
  DesktopEntry entry;
  entry.name = "Web Browser";
  entry.icon = "web";
  entry.path = "/apps/web.desktop";
  const char* hostile = "http://h/a b\"c';d$(touch x)`y`&e|f>g";
  const struct {
    const char* exec;
    const char* target;
    std::optional<Args> argv;
  } cases[] = {
      {"web %u", "http://x/", Args{"web", "http://x/"}},
      {"web %U", hostile, Args{"web", hostile}},
      {"web", hostile, Args{"web", hostile}},
      {"web --new-window %u --end", "http://x/", Args{"web", "--new-window", "http://x/", "--end"}},
      {"web --url=%u", "http://x/", Args{"web", "--url=http://x/"}},
      {"web %u %u", "http://x/", Args{"web", "http://x/"}},
      {"web %f", "file:///tmp/a%20b.html", Args{"web", "/tmp/a b.html"}},
      {"web %u", "/tmp/a b.html", Args{"web", "file:///tmp/a%20b.html"}},
      {"web %f", "http://x/", Args{"web", "http://x/"}},
      {"web %i %c %k 100%% %d %D %n %N %v %m %u", "u",
       Args{"web", "--icon", "web", "Web Browser", "/apps/web.desktop", "100%", "u"}},
      {"web \"%u\"", "http://x/", Args{"web", "http://x/"}},
      {"web \"unclosed %u", "http://x/", std::nullopt},
  };
  for (const auto& c : cases) {
    entry.exec = c.exec;
    EXPECT_EQ(expandExec(entry, c.target), c.argv) << c.exec;
  }
  entry.icon.clear();
  entry.exec = "web %i %u";
  EXPECT_EQ(expandExec(entry, "u"), (Args{"web", "u"}));
}

TEST(DesktopEntry, ConvertsBetweenPathsAndFileUrls) {
  EXPECT_EQ(fileUrlFromPath("/tmp/a b/ä#?.html"), "file:///tmp/a%20b/%C3%A4%23%3F.html");
  EXPECT_EQ(pathFromFileUrl("file:///tmp/a%20b/%C3%A4%23%3F.html"), "/tmp/a b/ä#?.html");
  EXPECT_EQ(pathFromFileUrl("FILE://localhost/x%2"), "/x%2");
  EXPECT_EQ(pathFromFileUrl("file:///x.html#top"), "/x.html");
  for (const char* url : {"file://remote/x", "file:///a%00b", "http://x/"})
    EXPECT_EQ(pathFromFileUrl(url), std::nullopt) << url;
}

}  // namespace
}  // namespace varnook
