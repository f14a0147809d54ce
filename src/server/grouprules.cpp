#include "server/grouprules.h"

#include <algorithm>
#include <sstream>

#include "archive/textsearch.h"
#include "server/textutil.h"

namespace varnook::server {

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  // Greedy matching with one backtrack point: the last "*" seen.
  std::size_t p = 0, n = 0;
  std::size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || asciiLower(pattern[p]) == asciiLower(name[n]))) {
      ++p, ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

GroupRules GroupRules::defaults() {
  GroupRules rules;
  rules.rules_ = {
      {"*.jobs*", Archive::Jobs},        {"*.job*", Archive::Jobs},
      {"misc.jobs.*", Archive::Jobs},    {"*.forsale*", Archive::ForSale},
      {"*.for-sale*", Archive::ForSale}, {"*.marketplace*", Archive::ForSale},
      {"alt.sex*", Archive::Adult},      {"*.erotica*", Archive::Adult},
      {"*.adult*", Archive::Adult},
  };
  return rules;
}

std::optional<GroupRules> GroupRules::parse(std::string_view text, std::string_view name,
                                            std::string& error) {
  GroupRules rules;
  std::istringstream lines{std::string(text)};
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    std::string pattern, archive, extra;
    if (!(words >> pattern)) continue;
    auto fail = [&](std::string_view why) {
      error = std::string(name) + ":" + std::to_string(number) + ": " + std::string(why);
      return std::nullopt;
    };
    if (!(words >> archive)) return fail("expected a pattern and an archive");
    if (words >> extra) return fail("unexpected text after the archive");
    archive = asciiLowered(archive);
    Archive kind;
    if (archive == "adult" || archive == "3") {
      kind = Archive::Adult;
    } else if (archive == "jobs" || archive == "4") {
      kind = Archive::Jobs;
    } else if (archive == "forsale" || archive == "for-sale" || archive == "5") {
      kind = Archive::ForSale;
    } else {
      return fail("unknown archive '" + archive + "' (adult, jobs or forsale)");
    }
    rules.rules_.push_back({asciiLowered(pattern), kind});
  }
  return rules;
}

std::optional<GroupRules> GroupRules::load(const std::string& path, std::string& error) {
  const auto text = readConfigurationFile(path, error);
  if (!text) return std::nullopt;
  return parse(*text, path, error);
}

std::vector<Archive> GroupRules::archivesOf(const std::vector<std::string>& groups) const {
  std::vector<Archive> archives;
  for (const Rule& rule : rules_) {
    if (std::find(archives.begin(), archives.end(), rule.archive) != archives.end()) continue;
    for (const std::string& group : groups) {
      if (wildcardMatch(rule.pattern, group)) {
        archives.push_back(rule.archive);
        break;
      }
    }
  }
  std::sort(archives.begin(), archives.end());
  return archives;
}

}  // namespace varnook::server
