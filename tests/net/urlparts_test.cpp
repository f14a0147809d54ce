#include "net/urlparts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fixtures.h"

namespace varnook {
namespace {

TEST(SplitUrl, Table) {
  const auto rows = testing::readTable(testing::fixture("net/data/urls.tsv"));
  ASSERT_GT(rows.size(), 15u);
  for (auto row : rows) {
    row.resize(7);
    const UrlParts p = splitUrl(row[0]);
    EXPECT_EQ(std::vector<std::string>(row.begin() + 1, row.end()),
              (std::vector<std::string>{p.scheme, p.user, p.password, p.host, p.port, p.path}))
        << row[0];
  }
}

TEST(ResolveLocation, Table) {
  const auto rows = testing::readTable(testing::fixture("net/data/locations.tsv"));
  ASSERT_GT(rows.size(), 5u);
  for (auto row : rows) {
    row.resize(3);
    EXPECT_EQ(resolveLocation(row[0], row[1]), row[2]) << row[0] << " + " << row[1];
  }
}

}  // namespace
}  // namespace varnook
