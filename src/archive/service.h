#pragma once

#include <cstdint>
#include <string>

namespace varnook {

// Where the archive service lives and how the agent asks it. The desktop program and the
// batch tool fill this from the options at the moment of use.
struct ServiceSettings {
  // Main web host of the service (searches and profiles); may carry a port.
  std::string serviceHost = "localhost:8119";
  // Domain of the article servers: an article comes from "<server>.<serviceDomain>".
  std::string serviceDomain = "localhost:8119";
  // Comma-separated article server names.
  std::string hostList = "www,x1,x2,x3,x4,x5,x6,x7,x8,x9,x10,x11,x12,x13,x14,x15";
  // True: take the servers of hostList in turn; false: always the first.
  bool multiHost = true;
  std::int32_t hitsPerPage = 40;
};

}  // namespace varnook
