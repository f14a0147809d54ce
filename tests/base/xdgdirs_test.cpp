#include "base/xdgdirs.h"

#include <gtest/gtest.h>

namespace varnook {
namespace {

// The one rule every program uses for its configuration, data and cache folders.
TEST(XdgDirs, BaseFolderTakesAbsoluteVariablesOnly) {
  EXPECT_EQ(XdgDirs::baseFolder("/x/config", "/home/u", "/.config"), "/x/config");
  EXPECT_EQ(XdgDirs::baseFolder(nullptr, "/home/u", "/.config"), "/home/u/.config");
  EXPECT_EQ(XdgDirs::baseFolder("", "/home/u", "/.config"), "/home/u/.config");
  EXPECT_EQ(XdgDirs::baseFolder("relative/data", "/home/u", "/.local/share"),
            "/home/u/.local/share");
  EXPECT_EQ(XdgDirs::baseFolder("/x/config", "", "/.config"), "/x/config");
  EXPECT_EQ(XdgDirs::baseFolder(nullptr, "", "/.config"), "");
}

TEST(XdgDirs, ProgramFoldersAreEmptyWithoutABase) {
  XdgDirs dirs;
  EXPECT_EQ(dirs.programDataFolder(), "");
  dirs.dataHome = "/d";
  dirs.configHome = "/c";
  dirs.cacheHome = "/k";
  EXPECT_EQ(dirs.programDataFolder(), "/d/varnook");
  EXPECT_EQ(dirs.programConfigFolder(), "/c/varnook");
  EXPECT_EQ(dirs.programCacheFolder(), "/k/varnook");
}

}  // namespace
}  // namespace varnook
