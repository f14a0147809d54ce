#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnook::testing {

// Spells out a property stream byte by byte, independently of the program's writer, so
// that tests can state the expected bytes and build damaged streams.
struct StreamBuilder {
  std::string bytes;

  StreamBuilder& raw(std::string_view text) {
    bytes.append(text);
    return *this;
  }
  StreamBuilder& byte(unsigned value) {
    bytes.push_back(static_cast<char>(value & 0xFF));
    return *this;
  }
  StreamBuilder& shortString(std::string_view text) {
    byte(static_cast<unsigned>(text.size()));
    return raw(text);
  }
  StreamBuilder& littleEndian(std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) byte(value >> (8 * i));
    return *this;
  }
  StreamBuilder& header(std::string_view className = "TVNKOptions",
                        std::string_view componentName = "Options") {
    raw("TPF0");
    shortString(className);
    return shortString(componentName);
  }
  // kind 2, 3 or 4 with the payload size that goes with it
  StreamBuilder& integer(std::string_view name, int kind, std::int32_t value) {
    shortString(name).byte(static_cast<unsigned>(kind));
    return littleEndian(static_cast<std::uint32_t>(value), kind == 2 ? 1 : kind == 3 ? 2 : 4);
  }
  StreamBuilder& boolean(std::string_view name, bool value) {
    return shortString(name).byte(value ? 9 : 8);
  }
  StreamBuilder& string(std::string_view name, std::string_view value) {
    return shortString(name).byte(6).shortString(value);
  }
  StreamBuilder& longString(std::string_view name, std::string_view value) {
    shortString(name).byte(12).littleEndian(static_cast<std::uint32_t>(value.size()), 4);
    return raw(value);
  }
  StreamBuilder& identifier(std::string_view name, std::string_view value) {
    return shortString(name).byte(7).shortString(value);
  }
  StreamBuilder& set(std::string_view name, const std::vector<std::string>& members) {
    shortString(name).byte(11);
    for (const std::string& member : members) shortString(member);
    return byte(0);
  }
  StreamBuilder& end() { return byte(0).byte(0); }
};

}  // namespace varnook::testing
