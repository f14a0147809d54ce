#include "settings/propertyreader.h"

namespace varnook {

PropertyReader::Result PropertyReader::readHeader(std::string_view& className,
                                                  std::string_view& componentName) {
  const std::size_t start = position_;
  std::string_view signature;
  if (!readBytes(4, signature)) {
    // A short stream that does not even begin like one is not a cut-off stream.
    const bool prefix = std::string_view(kPropertyStreamSignature).starts_with(bytes_);
    return prefix ? Result::Truncated : Result::Malformed;
  }
  if (signature != kPropertyStreamSignature) {
    position_ = start;
    return Result::Malformed;
  }
  if (!readShortString(className) || !readShortString(componentName)) {
    position_ = start;
    return Result::Truncated;
  }
  return Result::Item;
}

PropertyReader::Result PropertyReader::readProperty(std::string_view& name, PropertyValue& value) {
  const std::size_t start = position_;
  if (!readShortString(name)) return Result::Truncated;
  if (name.empty()) return Result::End;
  const Result result = readValue(value);
  if (result != Result::Item) position_ = start;
  return result;
}

PropertyReader::Result PropertyReader::readSubComponentsEnd() {
  std::uint8_t byte = 0;
  if (!readByte(byte)) return Result::Truncated;
  if (byte != 0) {
    --position_;
    return Result::Malformed;
  }
  return Result::End;
}

PropertyReader::Result PropertyReader::readValue(PropertyValue& value) {
  std::uint8_t kind = 0;
  if (!readByte(kind)) return Result::Truncated;
  value.kind = static_cast<PropertyKind>(kind);
  value.integer = 0;
  value.text = {};
  value.members.clear();
  std::uint32_t bits = 0;
  switch (value.kind) {
    case PropertyKind::Int8:
      if (!readLittleEndian(1, bits)) return Result::Truncated;
      value.integer = static_cast<std::int8_t>(bits);
      return Result::Item;
    case PropertyKind::Int16:
      if (!readLittleEndian(2, bits)) return Result::Truncated;
      value.integer = static_cast<std::int16_t>(bits);
      return Result::Item;
    case PropertyKind::Int32:
      if (!readLittleEndian(4, bits)) return Result::Truncated;
      value.integer = static_cast<std::int32_t>(bits);
      return Result::Item;
    case PropertyKind::String:
    case PropertyKind::Identifier:
      return readShortString(value.text) ? Result::Item : Result::Truncated;
    case PropertyKind::LongString:
      if (!readLittleEndian(4, bits) || !readBytes(bits, value.text)) return Result::Truncated;
      return Result::Item;
    case PropertyKind::FalseValue:
    case PropertyKind::TrueValue:
      return Result::Item;
    case PropertyKind::Set:
      for (;;) {
        std::string_view member;
        if (!readShortString(member)) return Result::Truncated;
        if (member.empty()) return Result::Item;
        value.members.push_back(member);
      }
  }
  // A kind this stream never holds: its size is unknown, so nothing after it can be found.
  return Result::Malformed;
}

bool PropertyReader::readByte(std::uint8_t& value) {
  if (position_ >= bytes_.size()) return false;
  value = static_cast<std::uint8_t>(bytes_[position_++]);
  return true;
}

bool PropertyReader::readShortString(std::string_view& text) {
  const std::size_t start = position_;
  std::uint8_t length = 0;
  if (readByte(length) && readBytes(length, text)) return true;
  position_ = start;
  return false;
}

bool PropertyReader::readBytes(std::size_t count, std::string_view& text) {
  if (count > bytes_.size() - position_) return false;
  text = bytes_.substr(position_, count);
  position_ += count;
  return true;
}

bool PropertyReader::readLittleEndian(int byteCount, std::uint32_t& value) {
  std::string_view raw;
  if (!readBytes(static_cast<std::size_t>(byteCount), raw)) return false;
  value = 0;
  for (int i = byteCount - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(raw[static_cast<std::size_t>(i)]);
  }
  return true;
}

}  // namespace varnook
