#include "base/textfold.h"

#include <gtest/gtest.h>

#include "support/fixtures.h"

namespace varnook {
namespace {

TEST(TextFold, FoldsCaseAccentsAndCompatibilityFormsButKeepsCjk) {
  const auto rows = testing::readTable("base/data/folds.txt");
  ASSERT_EQ(rows.size(), 5u);
  for (auto row : rows) {
    row.resize(2);
    EXPECT_EQ(foldText(row[0]), row[1]) << row[0];
  }
  EXPECT_TRUE(isAsciiText("plain") && !isAsciiText("caf\xC3\xA9"));
}

}  // namespace
}  // namespace varnook
