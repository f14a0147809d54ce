#pragma once

// Small text helpers shared by the ingester, the index and the pages. All take 8-bit
// strings; none fails.

#include <optional>
#include <string>
#include <string_view>

namespace varnook::server {

// True when the bytes form valid UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);

// Valid UTF-8 sequences are kept; every other byte of 128 and above is read as
// Windows-1252 (Latin-1 where that has no character) and re-encoded as UTF-8. Control
// characters other than tab, line feed and carriage return are dropped, so the result is
// safe to put into an HTML page declared as UTF-8.
std::string toDisplayUtf8(std::string_view text);

// Escapes "&", "<", ">" and '"' with the named entities that every HTML reader knows, so
// header texts cannot inject markup into a page. Apostrophes stay as they are.
std::string htmlEscape(std::string_view text);
// toDisplayUtf8 followed by htmlEscape.
std::string htmlText(std::string_view text);

// One header value on one line: folding line breaks are removed, every other control
// character (tab included) becomes a blank, and the ends are trimmed.
std::string singleLine(std::string_view value);

std::string asciiLowered(std::string_view text);

// Removes leading and trailing blanks and tabs.
std::string_view trimBlanks(std::string_view text);

// The whole content of a small configuration file; nothing, with "<path>: cannot be read"
// in `error`, when it cannot be opened.
std::optional<std::string> readConfigurationFile(const std::string& path, std::string& error);

}  // namespace varnook::server
