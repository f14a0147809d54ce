#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnook {

// The Unicode character of a Windows-1252 byte. The five bytes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their C1 control code points.
char16_t windows1252Char(unsigned char byte);
// Whether the code page assigns no character to the byte.
inline bool isUnassignedWindows1252(unsigned char byte) {
  return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool isWellFormedUtf8(std::string_view bytes);
// The text as UTF-8, read the way the window shows it: well-formed UTF-8 as it is,
// anything else as Windows-1252.
std::string asUtf8(std::string_view bytes);

// Appends the UTF-8 form of a code point (up to U+10FFFF).
void appendUtf8(std::string& out, std::uint32_t code);

}  // namespace varnook
