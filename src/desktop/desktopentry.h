#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnook {

// The parts of a .desktop file's "[Desktop Entry]" group that launching needs.
struct DesktopEntry {
  std::string id;    // desktop file id ("firefox-esr.desktop")
  std::string path;  // where the file was read
  std::string type;  // "Application" for anything that can be started
  std::string name;
  std::string icon;
  std::string exec;     // the Exec value with the key-file escapes decoded
  std::string tryExec;  // a program that must exist for the entry to count as installed
  bool hidden = false;  // "Hidden=true": the entry counts as deleted
  std::vector<std::string> mimeTypes;
};

// Reads a .desktop file's bytes. Nothing when the file has no "[Desktop Entry]" group.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view bytes);

// Splits an Exec value into its arguments by the desktop entry quoting rules: blanks
// separate; a double-quoted argument may hold blanks and escapes \" \` \$ \\ ; outside
// quotes a backslash takes the next character literally and single quotes quote
// literally (as the common desktop launchers accept). Nothing when a quote is not
// closed or the value names no program.
std::optional<std::vector<std::string>> splitExec(std::string_view exec);

// The command line that opens `target` (a URL or an absolute file name) with the entry:
// the Exec arguments with their field codes expanded. The target is always one whole
// argument (or part of one, where "%u" stands inside an argument) and is never read by a
// shell. %f/%F get a local file name (a "file://" URL is turned back into its path),
// %u/%U a URL (an absolute path becomes "file://..."); %i gives "--icon" and the icon,
// %c the name, %k the file's path, %% a "%"; the deprecated codes give nothing. When Exec
// names no file or URL code the target is appended as the last argument.
// Nothing when Exec cannot be split.
std::optional<std::vector<std::string>> expandExec(const DesktopEntry& entry,
                                                   std::string_view target);

// "file://" URL of an absolute path (bytes outside the unreserved set percent-encoded),
// and the path of a "file://" URL (nothing for other URLs or a remote host).
std::string fileUrlFromPath(std::string_view path);
std::optional<std::string> pathFromFileUrl(std::string_view url);

}  // namespace varnook
