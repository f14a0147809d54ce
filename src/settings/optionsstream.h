#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "settings/vnkoptions.h"

namespace varnook {

// The names in the header of a stored options stream.
inline constexpr std::string_view kOptionsClassName = "TVNKOptions";
inline constexpr std::string_view kOptionsComponentName = "Options";

// The stored form of the options: one component stream of class "TVNKOptions" named
// "Options" that holds every option in declaration order, the font as its dotted
// properties ("ArticleFont.Charset" ... "ArticleFont.Style"). Empty strings are left out,
// and so is a font pitch of fpDefault; colours with a name are stored as that identifier.
// The storage settings of the store are never part of it.
std::string writeOptionsStream(const VnkOptions& options);

enum class OptionsStreamStatus {
  Complete,   // read up to the end of the stream
  Truncated,  // the bytes ended inside the stream
  Malformed,  // not an options stream, or a value of a kind that cannot be skipped
};

// What reading a stream came to. Damage never stops the program: it only means that
// some options kept the value they had.
struct OptionsStreamReport {
  OptionsStreamStatus status = OptionsStreamStatus::Complete;
  std::size_t offset = 0;  // where reading stopped, when not complete
  int applied = 0;         // properties taken over into the options
  int skipped = 0;         // properties passed over: unknown name or unusable value
  std::string message;     // the first problem, for a log; empty when there was none

  bool clean() const { return status == OptionsStreamStatus::Complete && skipped == 0; }
};

// Reads a stream written by writeOptionsStream over `options`: every property found in
// it is set, every other option keeps its current value. Never reads outside `bytes`,
// whatever they hold. Damage is handled so that nothing is lost that could be read:
// - a property is taken over only once its whole value has been read and fits it;
// - an unknown property name, or a value of the wrong kind or with an unknown identifier,
//   skips that one property (its value can still be stepped over) and reading goes on;
// - a truncated stream or an unknown value kind stops reading there; what was read
//   before stays.
// The class and component names of the header are not checked.
OptionsStreamReport readOptionsStream(std::string_view bytes, VnkOptions& options);

}  // namespace varnook
