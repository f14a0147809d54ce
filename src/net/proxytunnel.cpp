#include "net/proxytunnel.h"

#include "net/base64.h"

namespace varnook {

std::string ProxyTunnel::request(std::string_view authority, std::string_view user,
                                 std::string_view password, std::string_view agent) {
  std::string text = "CONNECT " + std::string(authority) + " HTTP/1.0\r\n";
  text += "Host: " + std::string(authority) + "\r\n";
  if (!agent.empty()) text += "User-Agent: " + std::string(agent) + "\r\n";
  if (!user.empty()) {
    text += "Proxy-Authorization: Basic " +
            base64Encode(std::string(user) + ":" + std::string(password)) + "\r\n";
  }
  return text + "\r\n";
}

void ProxyTunnel::reset() {
  reader_.reset();
  answer_ = Answer::NeedMore;
  statusSeen_ = false;
  status_ = 0;
  reason_.clear();
  bytesAfter_ = 0;
}

ProxyTunnel::Answer ProxyTunnel::feed(std::string_view bytes) {
  if (answer_ != Answer::NeedMore) return answer_;
  reader_.feed(bytes);
  std::string_view item;
  for (;;) {
    switch (reader_.next(&item)) {
      case HttpResponseReader::Item::NeedMore:
        return answer_;
      case HttpResponseReader::Item::HeaderLine:
        if (!statusSeen_) {
          std::string_view reason;
          if (parseStatusLine(item, &status_, &reason) != StatusLineKind::Valid)
            return answer_ = Answer::Bad;
          reason_.assign(reason);
          statusSeen_ = true;
        }
        break;
      case HttpResponseReader::Item::HeaderEnd:
        if (!statusSeen_) return answer_ = Answer::Bad;
        if (status_ < 200 || status_ > 299) return answer_ = Answer::Refused;
        answer_ = Answer::Open;
        break;
      case HttpResponseReader::Item::DocumentData:
        // After a refusal this is the proxy's page; after an opening, the server's bytes.
        bytesAfter_ += item.size();
        break;
      case HttpResponseReader::Item::Bad:
        return answer_ = Answer::Bad;
    }
  }
}

}  // namespace varnook
