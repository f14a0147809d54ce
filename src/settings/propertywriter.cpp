#include "settings/propertywriter.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "settings/propertykind.h"

namespace varnook {

PropertyWriter::PropertyWriter(std::string_view className, std::string_view componentName) {
  bytes_.append(kPropertyStreamSignature, 4);
  writeShortString(className);
  writeShortString(componentName);
}

void PropertyWriter::writeInteger(std::string_view name, std::int32_t value) {
  writeShortString(name);
  const auto bits = static_cast<std::uint32_t>(value);
  if (value >= std::numeric_limits<std::int8_t>::min() &&
      value <= std::numeric_limits<std::int8_t>::max()) {
    writeKind(static_cast<std::uint8_t>(PropertyKind::Int8));
    writeLittleEndian(bits, 1);
  } else if (value >= std::numeric_limits<std::int16_t>::min() &&
             value <= std::numeric_limits<std::int16_t>::max()) {
    writeKind(static_cast<std::uint8_t>(PropertyKind::Int16));
    writeLittleEndian(bits, 2);
  } else {
    writeKind(static_cast<std::uint8_t>(PropertyKind::Int32));
    writeLittleEndian(bits, 4);
  }
}

void PropertyWriter::writeBoolean(std::string_view name, bool value) {
  writeShortString(name);
  writeKind(static_cast<std::uint8_t>(value ? PropertyKind::TrueValue : PropertyKind::FalseValue));
}

void PropertyWriter::writeString(std::string_view name, std::string_view value) {
  writeShortString(name);
  if (value.size() <= 255) {
    writeKind(static_cast<std::uint8_t>(PropertyKind::String));
    writeShortString(value);
  } else {
    // Option texts come from a dialog; anything past 4 GB could not be stored at all.
    const std::size_t size = std::min<std::size_t>(value.size(), 0xFFFFFFFFu);
    writeKind(static_cast<std::uint8_t>(PropertyKind::LongString));
    writeLittleEndian(static_cast<std::uint32_t>(size), 4);
    bytes_.append(value.data(), size);
  }
}

void PropertyWriter::writeIdentifier(std::string_view name, std::string_view identifier) {
  writeShortString(name);
  writeKind(static_cast<std::uint8_t>(PropertyKind::Identifier));
  writeShortString(identifier);
}

void PropertyWriter::beginSet(std::string_view name) {
  writeShortString(name);
  writeKind(static_cast<std::uint8_t>(PropertyKind::Set));
}

void PropertyWriter::addSetMember(std::string_view member) {
  // An empty member would read as the end of the set.
  if (!member.empty()) writeShortString(member);
}

void PropertyWriter::endSet() {
  bytes_.push_back('\0');
}

std::string PropertyWriter::finish() {
  bytes_.push_back('\0');  // end of the property list
  bytes_.push_back('\0');  // end of the sub-component list
  std::string bytes = std::move(bytes_);
  bytes_.clear();
  return bytes;
}

void PropertyWriter::writeShortString(std::string_view text) {
  const std::size_t size = std::min<std::size_t>(text.size(), 255);
  bytes_.push_back(static_cast<char>(static_cast<unsigned char>(size)));
  bytes_.append(text.data(), size);
}

void PropertyWriter::writeLittleEndian(std::uint32_t value, int byteCount) {
  for (int i = 0; i < byteCount; ++i) {
    bytes_.push_back(static_cast<char>(static_cast<unsigned char>(value >> (8 * i))));
  }
}

}  // namespace varnook
