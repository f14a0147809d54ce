#pragma once

#include <string>
#include <string_view>

namespace varnook {

// Standard Base64 (RFC 4648 alphabet), the last group filled up with "=".
std::string base64Encode(std::string_view bytes);

}  // namespace varnook
