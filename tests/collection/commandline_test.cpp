#include "collection/commandline.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <tuple>

#include "support/fixtures.h"

namespace varnook {
namespace {

using Kind = CommandLine::Kind;

TEST(CommandLine, QueryFormCollectionPathAndSearchWords) {
  const std::map<std::string, Kind> kinds = {{"None", Kind::None},
                                             {"Query", Kind::Query},
                                             {"Words", Kind::Words},
                                             {"Help", Kind::Help},
                                             {"Version", Kind::Version}};
  for (const auto& row : testing::readTable("collection/data/commandlines.txt", 9)) {
    std::vector<std::string> args;
    std::istringstream listed(row[0]);
    for (std::string arg; !row[0].empty() && std::getline(listed, arg, ',');) args.push_back(arg);
    const CommandLine l = parseCommandLine(args);
    EXPECT_EQ(std::tuple(l.kind, l.collectionPath, l.keywords, l.authors, l.subjects, l.groups,
                         l.queryParameters, l.run),
              std::tuple(kinds.at(row[1]), row[2], row[3], row[4], row[5], row[6], row[7],
                         row[8] == "yes"))
        << row[0];
  }
  // A query form keeps 999 characters.
  for (const std::string form : {"/Q:", "/Q:RUN:"}) {
    const CommandLine l = parseCommandLine({form + std::string(1200, 'a')});
    EXPECT_EQ(std::tuple(l.kind, l.queryParameters),
              std::tuple(Kind::Query, std::string(999, 'a')));
  }
}

}  // namespace
}  // namespace varnook
