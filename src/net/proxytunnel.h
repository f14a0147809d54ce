#pragma once

#include <string>
#include <string_view>

#include "net/httpresponsereader.h"

namespace varnook {

// The CONNECT exchange that opens a tunnel through an HTTP proxy to a server spoken to
// with TLS: the request, and the proxy's answer read as it arrives. Through the open
// tunnel the client talks to the server itself, so the proxy sees neither the requests nor
// the documents, and the proxy's credentials go to the proxy alone.
class ProxyTunnel {
 public:
  enum class Answer {
    NeedMore,  // the answer's header has not ended yet
    Open,      // a 2xx answer: the bytes that follow belong to the server
    Refused,   // any other status: status() and reason() say what the proxy answered
    Bad,       // no status line first, or a header beyond the reader's limits
  };

  // "CONNECT host:port HTTP/1.0", the Host line, "Proxy-Authorization: Basic" when
  // `user` is not empty, a User-Agent when `agent` is not empty, and the empty line.
  static std::string request(std::string_view authority, std::string_view user,
                             std::string_view password, std::string_view agent);

  // Forgets an earlier answer.
  void reset();
  // Reads the next received bytes of the answer. Once it has answered anything but
  // NeedMore, further bytes are not read.
  Answer feed(std::string_view bytes);

  int status() const { return status_; }
  const std::string& reason() const { return reason_; }
  // Bytes that followed an Open answer in the same feed: the server's, not the proxy's.
  std::size_t bytesAfterAnswer() const { return bytesAfter_; }

 private:
  HttpResponseReader reader_;
  Answer answer_ = Answer::NeedMore;
  bool statusSeen_ = false;
  int status_ = 0;
  std::string reason_;
  std::size_t bytesAfter_ = 0;
};

}  // namespace varnook
