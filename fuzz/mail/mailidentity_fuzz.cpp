// The mail programs' settings files that the sender identity is read from, and article
// fields (from collection files) going into message files, mail links and mboxes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "collection/article.h"
#include "mail/mailidentity.h"
#include "mail/mailto.h"
#include "mail/mboxexport.h"
#include "mail/messagefile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  varnook::thunderbirdIdentity(bytes);
  varnook::thunderbirdProfiles(bytes, "/ini");
  varnook::evolutionIdentity(bytes);
  varnook::kmailIdentity(bytes);
  varnook::clawsIdentity(bytes);

  // The input split in four parts becomes an article's author, subject, references and text.
  std::string parts[4];
  std::size_t part = 0;
  for (char c : bytes) {
    if (c == '\x01' && part < 3) {
      ++part;
    } else {
      parts[part] += c;
    }
  }
  varnook::Article article(1, parts[1]);
  article.author = parts[0];
  article.references = parts[2];
  article.text = parts[3];
  if (varnook::mailtoLink(article).size() > 254) std::abort();
  varnook::MessageContext context;
  const std::string reply =
      varnook::messageText(article, varnook::MessageMode::ReplyAuthor, context);
  // The header block ends at the first empty line and always holds exactly eight lines (From,
  // Subject, To, Date, the three MIME lines and X-Unsent): no field can add one.
  const std::size_t end = reply.find("\r\n\r\n");
  if (end == std::string::npos) std::abort();
  std::size_t lines = 1;
  for (std::size_t i = 0; i < end; ++i) lines += reply[i] == '\n';
  if (lines != 8) std::abort();
  std::string mbox;
  varnook::appendMboxMessage(mbox, article);
  return 0;
}
