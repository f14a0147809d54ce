#pragma once

#include <string>
#include <vector>

namespace varnook {

// What the program's command line asks for. The first argument decides: "/Q:" (any case)
// carries a query in the stored parameter form, optionally after "RUN:" to send it at once;
// a path ending in ".vnk" (any case) names a collection to open, the further arguments being
// search words; anything else makes every argument a search word.
// "--help" (or "-h") and "--version" anywhere ask for the usage or the version instead.
struct CommandLine {
  enum class Kind { None, Query, Words, Help, Version };

  Kind kind = Kind::None;
  // Kind::Query: the stored parameters (at most 999 characters) and whether to send them.
  std::string queryParameters;
  bool run = false;
  // A collection to open first (any kind but Query).
  std::string collectionPath;
  // Kind::Words: the texts gathered from the search words, trimmed.
  std::string keywords;
  std::string authors;
  std::string subjects;
  std::string groups;

  // True when the search words gave at least one non-empty text.
  bool hasWords() const {
    return !keywords.empty() || !authors.empty() || !subjects.empty() || !groups.empty();
  }
};

// Reads the arguments after the program name. Search words go to the keywords until a
// switch "~a", "~s", "~g" or "~k" (any case) chooses the authors, subjects, groups or
// keywords; "~~" is a "~", a single quote becomes a double quote, and runs of blanks and
// tabs collapse to one.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// What "--help" prints: the forms of the command line and the options, lines ended by LF.
std::string commandLineUsage();

}  // namespace varnook
