#include "settings/propertyreader.h"

namespace varnook {

PropertyReader::Result PropertyReader::readHeader(std::string_view& className,
                                                  std::string_view& componentName) {
  const std::size_t start = position_;
  std::string_view signature;
  if (!readBytes(4, signature)) {
    // A short stream that does not even begin like one is not a cut-off stream.
    const bool prefix = std::string_view(kPropertyStreamSignature).starts_with(bytes_);
    return prefix ? Result::truncated : Result::malformed;
  }
  if (signature != kPropertyStreamSignature) {
    position_ = start;
    return Result::malformed;
  }
  if (!readShortString(className) || !readShortString(componentName)) {
    position_ = start;
    return Result::truncated;
  }
  return Result::item;
}

PropertyReader::Result PropertyReader::readProperty(std::string_view& name, PropertyValue& value) {
  const std::size_t start = position_;
  if (!readShortString(name)) return Result::truncated;
  if (name.empty()) return Result::end;
  const Result result = readValue(value);
  if (result != Result::item) position_ = start;
  return result;
}

PropertyReader::Result PropertyReader::readSubComponentsEnd() {
  std::uint8_t byte = 0;
  if (!readByte(byte)) return Result::truncated;
  if (byte != 0) {
    --position_;
    return Result::malformed;
  }
  return Result::end;
}

PropertyReader::Result PropertyReader::readValue(PropertyValue& value) {
  std::uint8_t kind = 0;
  if (!readByte(kind)) return Result::truncated;
  value.kind = static_cast<PropertyKind>(kind);
  value.integer = 0;
  value.text = {};
  value.members.clear();
  std::uint32_t bits = 0;
  switch (value.kind) {
    case PropertyKind::int8:
      if (!readLittleEndian(1, bits)) return Result::truncated;
      value.integer = static_cast<std::int8_t>(bits);
      return Result::item;
    case PropertyKind::int16:
      if (!readLittleEndian(2, bits)) return Result::truncated;
      value.integer = static_cast<std::int16_t>(bits);
      return Result::item;
    case PropertyKind::int32:
      if (!readLittleEndian(4, bits)) return Result::truncated;
      value.integer = static_cast<std::int32_t>(bits);
      return Result::item;
    case PropertyKind::string:
    case PropertyKind::identifier:
      return readShortString(value.text) ? Result::item : Result::truncated;
    case PropertyKind::longString:
      if (!readLittleEndian(4, bits) || !readBytes(bits, value.text)) return Result::truncated;
      return Result::item;
    case PropertyKind::falseValue:
    case PropertyKind::trueValue:
      return Result::item;
    case PropertyKind::set:
      for (;;) {
        std::string_view member;
        if (!readShortString(member)) return Result::truncated;
        if (member.empty()) return Result::item;
        value.members.push_back(member);
      }
  }
  // A kind this stream never holds: its size is unknown, so nothing after it can be found.
  return Result::malformed;
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
