#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "settings/propertykind.h"

namespace varnook {

// One property value as it stands in the stream. Texts point into the bytes given to the
// reader and live as long as those.
struct PropertyValue {
  PropertyKind kind = PropertyKind::FalseValue;
  std::int32_t integer = 0;               // int8, int16, int32 (sign-extended)
  std::string_view text;                  // string, long string, identifier
  std::vector<std::string_view> members;  // set

  bool isInteger() const {
    return kind == PropertyKind::Int8 || kind == PropertyKind::Int16 || kind == PropertyKind::Int32;
  }
  bool isString() const { return kind == PropertyKind::String || kind == PropertyKind::LongString; }
  bool isBoolean() const {
    return kind == PropertyKind::FalseValue || kind == PropertyKind::TrueValue;
  }
};

// Walks a component stream from its first byte. Every read checks the bytes that are left
// before it touches them, so any input, however damaged, is safe to give it; a read that
// fails leaves the position where the damaged item began.
class PropertyReader {
 public:
  enum class Result {
    Item,       // a header or property was read
    End,        // the list is closed (header: not used)
    Truncated,  // the bytes end inside an Item
    Malformed,  // a bad signature or an unknown value kind
  };

  explicit PropertyReader(std::string_view bytes) : bytes_(bytes) {}

  // "TPF0", the class name and the component name.
  Result readHeader(std::string_view& className, std::string_view& componentName);
  // The next property of the list, or `end` at the zero byte that closes it.
  Result readProperty(std::string_view& name, PropertyValue& value);
  // The zero byte that closes the list of sub-components: `end` when it is there,
  // `malformed` when a sub-component follows instead.
  Result readSubComponentsEnd();

  std::size_t position() const { return position_; }

 private:
  bool readByte(std::uint8_t& value);
  bool readShortString(std::string_view& text);
  bool readBytes(std::size_t count, std::string_view& text);
  bool readLittleEndian(int byteCount, std::uint32_t& value);
  Result readValue(PropertyValue& value);

  std::string_view bytes_;
  std::size_t position_ = 0;
};

}  // namespace varnook
