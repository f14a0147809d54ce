#pragma once

#include <cstdint>
#include <string>

namespace varnook {

// The Unicode character of a Windows-1252 byte. The five bytes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their C1 control code points.
char16_t windows1252Char(unsigned char byte);
// Whether the code page assigns no character to the byte.
inline bool isUnassignedWindows1252(unsigned char byte) {
  return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// Appends the UTF-8 form of a code point (up to U+10FFFF).
void appendUtf8(std::string& out, std::uint32_t code);

}  // namespace varnook
