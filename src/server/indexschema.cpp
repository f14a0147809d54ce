#include "server/indexschema.h"

#include <cstdio>

#include "server/textutil.h"

namespace varnook::server::schema {
namespace {

// Xapian terms are limited to 245 bytes; longer keys are cut and given a digest so that
// two long keys with a common beginning stay apart.
std::string boundedTerm(std::string_view prefix, std::string_view key) {
  constexpr std::size_t kMaxKey = 200;
  std::string term(prefix);
  if (key.size() <= kMaxKey) return term.append(key);
  std::uint64_t hash = 1469598103934665603ull;
  for (char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char digest[20];
  std::snprintf(digest, sizeof digest, "#%016llx", static_cast<unsigned long long>(hash));
  return term.append(key.substr(0, kMaxKey - 17)).append(digest);
}

}  // namespace

std::string numberTerm(std::uint32_t number) {
  return std::string(kNumberPrefix) + std::to_string(number);
}

std::string messageIdTerm(std::string_view dedupeKey) {
  return boundedTerm(kMessageIdPrefix, dedupeKey);
}

std::string groupTerm(std::string_view group) {
  return boundedTerm(kGroupPrefix, asciiLowered(group));
}

std::string addressTerm(std::string_view address) {
  return boundedTerm(kAddressPrefix, asciiLowered(address));
}

std::string archiveTerm(Archive archive) {
  return std::string(kArchivePrefix) + std::to_string(static_cast<int>(archive));
}

namespace {
// sortable_serialise drops trailing zero bytes; padding keeps the number after it from
// being compared with date bytes.
constexpr std::size_t kDateBytes = 9;
}  // namespace

std::string dateFloor(UnixTime time) {
  std::string value = Xapian::sortable_serialise(static_cast<double>(time));
  value.resize(kDateBytes, '\0');
  return value;
}

std::string dateCeiling(UnixTime time) {
  return dateFloor(time) + std::string(4, '\xFF');
}

std::string dateValue(UnixTime time, std::uint32_t number) {
  std::string value = dateFloor(time);
  for (int shift = 24; shift >= 0; shift -= 8) value += static_cast<char>((number >> shift) & 0xFF);
  return value;
}

UnixTime dateOfValue(std::string_view value) {
  return static_cast<UnixTime>(
      Xapian::sortable_unserialise(std::string(value.substr(0, kDateBytes))));
}

}  // namespace varnook::server::schema
