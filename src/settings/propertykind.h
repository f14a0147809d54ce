#pragma once

#include <cstdint>

namespace varnook {

// The kind byte in front of every value of a property stream.
enum class PropertyKind : std::uint8_t {
  int8 = 2,         // 1 byte
  int16 = 3,        // 2 bytes, little-endian
  int32 = 4,        // 4 bytes, little-endian
  string = 6,       // length byte, bytes
  identifier = 7,   // length byte, characters
  falseValue = 8,   // no payload
  trueValue = 9,    // no payload
  set = 11,         // member identifiers as short strings, closed by an empty one
  longString = 12,  // 32-bit little-endian length, bytes
};

// The four bytes that open a component stream.
inline constexpr char kPropertyStreamSignature[] = "TPF0";

}  // namespace varnook
