#pragma once

// The archives a search can be limited to ("DBS"): 1 complete, 2 standard (everything but
// adult), 3 adult, 4 jobs, 5 for sale. Membership of the last three comes from rules that
// match newsgroup names against wildcard patterns.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnook::server {

enum class Archive : int { Complete = 1, Standard = 2, Adult = 3, Jobs = 4, ForSale = 5 };

// Shell-style match of a whole name: "*" any run of characters, "?" one character;
// ASCII letter case is ignored. Linear in practice, never exponential.
bool wildcardMatch(std::string_view pattern, std::string_view name);

class GroupRules {
 public:
  struct Rule {
    std::string pattern;
    Archive archive;
  };

  // "*.jobs*", "*.job*", "misc.jobs.*" -> jobs; "*.forsale*", "*.for-sale*",
  // "*.marketplace*" -> for sale; "alt.sex*", "*.erotica*", "*.adult*" -> adult.
  static GroupRules defaults();

  // Reads a rules file: one rule per line, "<pattern> <archive>", the archive written as
  // "adult", "jobs" or "forsale" (or its number 3, 4, 5); "#" starts a comment. Returns
  // nothing and sets `error` ("<file>:<line>: ...") for an unreadable file or line.
  static std::optional<GroupRules> load(const std::string& path, std::string& error);
  static std::optional<GroupRules> parse(std::string_view text, std::string_view name,
                                         std::string& error);

  // The special archives (adult, jobs, for sale) that any of the groups belongs to.
  std::vector<Archive> archivesOf(const std::vector<std::string>& groups) const;

  const std::vector<Rule>& rules() const { return rules_; }

 private:
  std::vector<Rule> rules_;
};

}  // namespace varnook::server
