#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnook {

// Builds one component stream: "TPF0", the class name, the component name, the
// properties in the order they are written, and the two zero bytes that close the
// property list and the (always empty) list of sub-components. Names and identifiers are
// short strings; the caller keeps them within 255 bytes (longer ones are cut there).
class PropertyWriter {
 public:
  PropertyWriter(std::string_view className, std::string_view componentName);

  // In the smallest of the kinds int8, int16, int32 that holds the value.
  void writeInteger(std::string_view name, std::int32_t value);
  void writeBoolean(std::string_view name, bool value);
  // Up to 255 bytes as a string, longer ones as a long string. Any bytes, NUL included.
  void writeString(std::string_view name, std::string_view value);
  void writeIdentifier(std::string_view name, std::string_view identifier);
  // Starts a set; add members with addSetMember, then close it with endSet.
  void beginSet(std::string_view name);
  void addSetMember(std::string_view member);
  void endSet();

  // Closes the stream and hands over its bytes; the writer is empty afterwards.
  std::string finish();

 private:
  void writeShortString(std::string_view text);
  void writeKind(std::uint8_t kind) { bytes_.push_back(static_cast<char>(kind)); }
  void writeLittleEndian(std::uint32_t value, int byteCount);

  std::string bytes_;
};

}  // namespace varnook
