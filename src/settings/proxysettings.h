#pragma once

#include "settings/vnkoptions.h"

namespace varnook {

// Copies the options' proxy settings into an HTTP client before a request: the proxy host,
// port and credentials when a proxy is in use, all four emptied otherwise.
template <typename Client>
void applyProxySettings(Client& client, const VnkOptions& options) {
  if (options.useProxy) {
    client.proxy = options.proxyURL;
    client.proxyPort = options.proxyPort;
    client.proxyUsername = options.proxyUser;
    client.proxyPassword = options.proxyPWD;
  } else {
    client.proxy.clear();
    client.proxyPort.clear();
    client.proxyUsername.clear();
    client.proxyPassword.clear();
  }
}

}  // namespace varnook
