#include "desktop/mimeapps.h"

#include <gtest/gtest.h>

#include "xdgsandbox.h"

namespace varnook {
namespace {

using testing::writeFile;
using testing::XdgSandbox;

std::string entryText(const std::string& name, const std::string& extra = "") {
  return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=/bin/true %u\n" + extra;
}

std::string defaultId(const XdgDirs& dirs, const std::string& mimeType) {
  const auto entry = defaultApplication(dirs, mimeType);
  return entry ? entry->id : "(none)";
}

TEST(MimeApps, UserDefaultWinsOverSystemDefaultAndDesktopSpecificListComesFirst) {
  XdgSandbox box;
  box.addDesktopFile("system.desktop", entryText("S", "MimeType=text/html;\n"), true);
  box.addDesktopFile("user.desktop", entryText("U"));
  writeFile(box.systemConfig + "/mimeapps.list",
            "[Default Applications]\ntext/html=system.desktop\n");
  EXPECT_EQ(defaultId(box.dirs(), "text/html"), "system.desktop");
  box.setDefault("text/html", "user.desktop");
  EXPECT_EQ(defaultId(box.dirs(), "text/html"), "user.desktop");
  EXPECT_EQ(defaultId(box.dirs(), "TEXT/HTML"), "user.desktop");

  box.addDesktopFile("kdeish.desktop", entryText("K"));
  writeFile(box.configHome + "/kde-mimeapps.list",
            "[Default Applications]\ntext/html=kdeish.desktop\n");
  XdgDirs dirs = box.dirs();
  EXPECT_EQ(defaultId(dirs, "text/html"), "user.desktop");
  dirs.currentDesktops = {"kde"};
  EXPECT_EQ(defaultId(dirs, "text/html"), "kdeish.desktop");
}

TEST(MimeApps, SkipsDefaultsThatAreNotInstalledAndHiddenUserEntriesDeleteSystemOnes) {
  XdgSandbox box;
  box.addDesktopFile("hidden.desktop", entryText("H", "Hidden=true\n"));
  box.addDesktopFile("gone.desktop", entryText("G", "TryExec=/nonexistent/program\n"));
  box.addDesktopFile("link.desktop", "[Desktop Entry]\nType=Link\nName=L\nURL=http://x/\n");
  box.addDesktopFile("good.desktop", entryText("Good"));
  writeFile(box.configHome + "/mimeapps.list",
            "[Default Applications]\nx-scheme-handler/http=missing.desktop;hidden.desktop;"
            "gone.desktop;link.desktop;../escape.desktop;good.desktop;\n");
  EXPECT_EQ(defaultId(box.dirs(), "x-scheme-handler/http"), "good.desktop");

  box.addDesktopFile("web.desktop", entryText("System web"), true);
  box.addDesktopFile("web.desktop", entryText("Deleted", "Hidden=true\n"));
  box.setDefault("text/html", "web.desktop");
  EXPECT_EQ(defaultId(box.dirs(), "text/html"), "(none)");
}

TEST(MimeApps, FallsBackToAssociationsMinusRemovedOnes) {
  XdgSandbox box;
  box.addDesktopFile("a-declares.desktop", entryText("A", "MimeType=message/news;\n"), true);
  box.addDesktopFile("b-declares.desktop", entryText("B", "MimeType=message/news;\n"), true);
  box.addDesktopFile("added.desktop", entryText("Added"));
  box.addDesktopFile("sub/nested.desktop", entryText("N", "MimeType=message/news;\n"));
  const XdgDirs dirs = box.dirs();
  // Without any list, entries declaring the type count; the data home comes first.
  EXPECT_EQ(defaultId(dirs, "message/news"), "sub-nested.desktop");
  writeFile(box.configHome + "/mimeapps.list",
            "[Removed Associations]\nmessage/news=sub-nested.desktop;a-declares.desktop\n");
  EXPECT_EQ(defaultId(dirs, "message/news"), "b-declares.desktop");
  writeFile(box.systemConfig + "/mimeapps.list",
            "[Added Associations]\nmessage/news=added.desktop;\n");
  EXPECT_EQ(defaultId(dirs, "message/news"), "added.desktop");
  // A removal in a more important file also removes an addition further down.
  writeFile(box.configHome + "/mimeapps.list",
            "[Removed Associations]\nmessage/news=added.desktop;sub-nested.desktop\n");
  EXPECT_EQ(defaultId(dirs, "message/news"), "a-declares.desktop");
  EXPECT_EQ(defaultId(dirs, "message/x-unknown"), "(none)");
}

}  // namespace
}  // namespace varnook
