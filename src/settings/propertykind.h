#pragma once

#include <cstdint>

namespace varnook {

// The kind byte in front of every value of a property stream.
enum class PropertyKind : std::uint8_t {
  Int8 = 2,         // 1 byte
  Int16 = 3,        // 2 bytes, little-endian
  Int32 = 4,        // 4 bytes, little-endian
  String = 6,       // length byte, bytes
  Identifier = 7,   // length byte, characters
  FalseValue = 8,   // no payload
  TrueValue = 9,    // no payload
  Set = 11,         // member identifiers as short strings, closed by an empty one
  LongString = 12,  // 32-bit little-endian length, bytes
};

// The four bytes that open a component stream.
inline constexpr char kPropertyStreamSignature[] = "TPF0";

}  // namespace varnook
