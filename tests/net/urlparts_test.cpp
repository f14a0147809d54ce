#include "net/urlparts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fixtures.h"

namespace varnook {
namespace {

TEST(SplitUrl, Table) {
  for (auto row : testing::readTable("net/data/urls.txt")) {
    row.resize(7);
    const UrlParts p = splitUrl(row[0]);
    EXPECT_EQ(std::vector<std::string>(row.begin() + 1, row.end()),
              (std::vector<std::string>{p.scheme, p.user, p.password, p.host, p.port, p.path}))
        << row[0];
  }
}

TEST(ResolveLocation, Table) {
  for (auto row : testing::readTable("net/data/locations.txt")) {
    row.resize(3);
    EXPECT_EQ(resolveLocation(row[0], row[1]), row[2]) << row[0] << " + " << row[1];
  }
}

}  // namespace
}  // namespace varnook
