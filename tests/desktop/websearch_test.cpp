#include "desktop/websearch.h"

#include <gtest/gtest.h>

#include "xdgsandbox.h"

namespace varnook {
namespace {

using testing::readFile;
using testing::writeFile;

TEST(WebSearch, WritesTheBuiltInTemplateWhenMissingOrUnusable) {
  testing::XdgSandbox box;
  const std::string file = webSearchTemplateFile(box.dirs());
  EXPECT_EQ(file, box.configHome + "/varnook/search");
  const std::string builtIn = std::string(kBuiltInSearchPrefix) + "%s";
  EXPECT_EQ(loadWebSearchTemplate(file), builtIn);
  EXPECT_EQ(readFile(file), builtIn + "\n");
  EXPECT_EQ(testing::fileMode(file), 0600u);
  // A bare address has no "%s", and "%%s" is no placeholder.
  for (const char* unusable : {"http://search.example/", "http://s.example/?p=100%%s\n"}) {
    writeFile(file, unusable);
    EXPECT_EQ(loadWebSearchTemplate(file), builtIn) << unusable;
    EXPECT_EQ(readFile(file), builtIn + "\n");
  }
  writeFile(file, "http://s.example/find?q=%S&x=1\r\nsecond line\n");
  EXPECT_EQ(loadWebSearchTemplate(file), "http://s.example/find?q=%S&x=1");
}

TEST(WebSearch, BuildsTheUrlFromTheTemplate) {
  EXPECT_EQ(webSearchUrl("http://s/?q=%s&pct=50%%&raw=%d", "modem & \"usr sportster\""),
            "http://s/?q=modem+%26+%22usr+sportster%22&pct=50%&raw=%d");
  EXPECT_EQ(webSearchUrl("http://s/?q=%s", ""), "http://s/?q=");
  EXPECT_EQ(webSearchUrl("http://s/%s/%S", "a b"), "http://s/a+b/a+b");
  EXPECT_EQ(webSearchUrl("http://s/?q=%", "x"), "http://s/?q=%");
}

}  // namespace
}  // namespace varnook
