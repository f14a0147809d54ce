#include "server/articleingest.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

#include "archive/encoding.h"
#include "archive/textsearch.h"
#include "server/headerdate.h"
#include "server/textutil.h"
#include "server/threads.h"

namespace varnook::server {
namespace {

constexpr std::size_t kMaxGroups = 64;
constexpr std::size_t kMaxHeaderValue = 16 * 1024;

// Owns one GObject reference.
template <typename T>
class GRef {
 public:
  explicit GRef(T* object = nullptr) : object_(object) {}
  ~GRef() {
    if (object_) g_object_unref(object_);
  }
  GRef(const GRef&) = delete;
  GRef& operator=(const GRef&) = delete;
  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_;
};

struct RawHeaders {
  std::string subject, from, date, messageId, references, inReplyTo, newsgroups, postingDate;
  std::vector<std::string> received;
  bool any = false;
};

std::string clipped(const char* value) {
  if (!value) return {};
  std::string_view text(value);
  if (text.size() > kMaxHeaderValue) text = text.substr(0, kMaxHeaderValue);
  return std::string(text);
}

RawHeaders collectHeaders(GMimeObject* object) {
  RawHeaders headers;
  GMimeHeaderList* list = g_mime_object_get_header_list(object);
  const int count = g_mime_header_list_get_count(list);
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
    const char* nameText = g_mime_header_get_name(header);
    if (!nameText) continue;
    const std::string_view name(nameText);
    const char* raw = g_mime_header_get_raw_value(header);
    auto takeFirst = [&](std::string& field) {
      headers.any = true;
      if (field.empty()) field = clipped(raw);
    };
    if (equalsNoCase(name, "Subject")) {
      takeFirst(headers.subject);
    } else if (equalsNoCase(name, "From")) {
      takeFirst(headers.from);
    } else if (equalsNoCase(name, "Date")) {
      takeFirst(headers.date);
    } else if (equalsNoCase(name, "Message-ID")) {
      takeFirst(headers.messageId);
    } else if (equalsNoCase(name, "References")) {
      takeFirst(headers.references);
    } else if (equalsNoCase(name, "In-Reply-To")) {
      takeFirst(headers.inReplyTo);
    } else if (equalsNoCase(name, "Newsgroups")) {
      takeFirst(headers.newsgroups);
    } else if (equalsNoCase(name, "NNTP-Posting-Date")) {
      takeFirst(headers.postingDate);
    } else if (equalsNoCase(name, "Received")) {
      headers.received.push_back(clipped(raw));
    }
  }
  return headers;
}

// Unfolds a header value and decodes its RFC 2047 encoded words. Text without encoded
// words keeps its bytes, 8-bit ones included.
std::string decodeHeader(const std::string& raw, GMimeParserOptions* options) {
  std::string line = singleLine(raw);
  if (line.find("=?") == std::string::npos) return line;
  char* decoded = g_mime_utils_header_decode_text(options, line.c_str());
  if (!decoded) return line;
  std::string result = singleLine(decoded);
  g_free(decoded);
  return result;
}

std::string extractMessageId(std::string_view value) {
  const std::size_t open = value.find('<');
  if (open != std::string_view::npos) {
    const std::size_t close = value.find('>', open);
    if (close != std::string_view::npos) return singleLine(value.substr(open, close - open + 1));
  }
  std::string id = singleLine(value);
  const std::size_t blank = id.find(' ');
  if (blank != std::string::npos) id.resize(blank);
  return id;
}

bool isGroupChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' ||
         c == '_' || c == '&';
}

std::string digestKey(std::string_view bytes) {
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char text[24];
  std::snprintf(text, sizeof text, "#%016llx", static_cast<unsigned long long>(hash));
  return text;
}

bool isPlausibleDate(UnixTime time) {
  const UnixTime latest = static_cast<UnixTime>(std::time(nullptr)) + 2 * 86400;
  return time > 86400 && time < latest;
}

std::optional<UnixTime> postingDate(const RawHeaders& headers,
                                    std::optional<UnixTime> envelopeDate) {
  for (const std::string* value : {&headers.date, &headers.postingDate}) {
    if (value->empty()) continue;
    if (auto date = parseHeaderDate(singleLine(*value)); date && isPlausibleDate(*date))
      return date;
  }
  // The last Received header is the earliest hop, the closest to the posting.
  for (auto it = headers.received.rbegin(); it != headers.received.rend(); ++it)
    if (auto date = parseReceivedDate(singleLine(*it)); date && isPlausibleDate(*date)) return date;
  if (envelopeDate && isPlausibleDate(*envelopeDate)) return envelopeDate;
  return std::nullopt;
}

bool isTextType(GMimeContentType* type, const char* subtype = "*") {
  return type == nullptr || g_mime_content_type_is_type(type, "text", subtype);
}

// The part whose text becomes the body: the first text/plain part that is no attachment,
// else the first other text part (HTML is converted), else nothing.
GMimePart* findTextPart(GMimeObject* object, GMimePart*& fallback, int depth = 0) {
  if (!object || depth > 16) return nullptr;
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i)
      if (GMimePart* part =
              findTextPart(g_mime_multipart_get_part(multipart, i), fallback, depth + 1))
        return part;
    return nullptr;
  }
  if (!GMIME_IS_PART(object)) return nullptr;
  GMimePart* part = GMIME_PART(object);
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (!isTextType(type)) return nullptr;
  const bool attachment = depth > 0 && g_mime_part_is_attachment(part);
  if (!attachment && isTextType(type, "plain")) return part;
  if (!fallback) fallback = part;
  return nullptr;
}

bool needsConversion(const char* charset) {
  if (!charset || !*charset) return false;
  static constexpr const char* kNative[] = {"utf-8", "utf8", "us-ascii", "ascii", "ansi_x3.4-1968"};
  for (const char* name : kNative)
    if (equalsNoCase(charset, name)) return false;
  return true;
}

// The decoded content of a part, converted to UTF-8 when it declares another charset
// that the converter knows; otherwise its bytes as they are.
std::string partText(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return {};
  GRef<GMimeStream> memory(g_mime_stream_mem_new());
  const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
  GMimeFilter* converter =
      needsConversion(charset) ? g_mime_filter_charset_new(charset, "UTF-8") : nullptr;
  if (converter) {
    GRef<GMimeStream> filtered(g_mime_stream_filter_new(memory.get()));
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), converter);
    g_object_unref(converter);
    g_mime_data_wrapper_write_to_stream(content, filtered.get());
    g_mime_stream_flush(filtered.get());
  } else {
    g_mime_data_wrapper_write_to_stream(content, memory.get());
  }
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

// Line-feed line ends, no NUL bytes (the agent's reader stops at the first).
std::string normalizeBody(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\0') continue;
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += c;
  }
  return out;
}

std::string bodyOf(GMimeMessage* message) {
  GMimeObject* root = g_mime_message_get_mime_part(message);
  if (!root) return {};
  GMimePart* fallback = nullptr;
  if (GMimePart* plain = findTextPart(root, fallback)) return normalizeBody(partText(plain));
  if (fallback) {
    GMimeContentType* type = g_mime_object_get_content_type(GMIME_OBJECT(fallback));
    std::string text = partText(fallback);
    if (type && g_mime_content_type_is_type(type, "text", "html"))
      text = htmlToText(text, true, false);
    return normalizeBody(text);
  }
  // A multipart whose boundary is missing or never occurs has no parts: its whole body
  // is the prologue, and is best read as the plain text it most likely is.
  if (GMIME_IS_MULTIPART(root) && g_mime_multipart_get_count(GMIME_MULTIPART(root)) == 0) {
    const char* prologue = g_mime_multipart_get_prologue(GMIME_MULTIPART(root));
    if (prologue && *prologue) {
      std::string text = normalizeBody(prologue);
      if (text.back() != '\n') text += '\n';
      return text;
    }
  }
  return "[This article has no text part.]\n";
}

}  // namespace

void initMimeLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

std::vector<std::string> parseNewsgroups(std::string_view value) {
  std::vector<std::string> groups;
  std::size_t i = 0;
  while (i < value.size() && groups.size() < kMaxGroups) {
    while (i < value.size() && (value[i] == ',' || static_cast<unsigned char>(value[i]) <= ' '))
      ++i;
    std::size_t end = i;
    while (end < value.size() && value[end] != ',' && static_cast<unsigned char>(value[end]) > ' ')
      ++end;
    if (end == i) break;
    std::string name = asciiLowered(value.substr(i, end - i));
    i = end;
    const bool valid = name.size() <= 128 && name.front() != '.' && name.back() != '.' &&
                       std::all_of(name.begin(), name.end(), isGroupChar);
    if (valid && std::find(groups.begin(), groups.end(), name) == groups.end())
      groups.push_back(std::move(name));
  }
  return groups;
}

std::string dedupeKeyFor(std::string_view messageId, std::string_view bytes) {
  if (!messageId.empty()) return std::string(messageId);
  return digestKey(bytes);
}

std::string quickMessageId(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;  // end of the header block
    if (startsWithNoCase(line, "Message-ID:")) {
      std::string value(line.substr(11));
      // Folded continuation lines belong to the value.
      std::size_t next = end + 1;
      while (next < bytes.size() && (bytes[next] == ' ' || bytes[next] == '\t')) {
        std::size_t lineEnd = bytes.find('\n', next);
        if (lineEnd == std::string_view::npos) lineEnd = bytes.size();
        value += bytes.substr(next, lineEnd - next);
        next = lineEnd + 1;
      }
      return extractMessageId(value);
    }
    pos = end + 1;
  }
  return {};
}

IngestResult ingestArticle(std::string_view bytes, std::optional<UnixTime> envelopeDate) {
  IngestResult result;
  if (bytes.size() > kMaxArticleBytes) {
    result.warning = "article larger than 32 MB skipped";
    return result;
  }
  if (trimBlanks(bytes).find_first_not_of("\r\n") == std::string_view::npos) {
    result.warning = "empty article skipped";
    return result;
  }
  initMimeLibrary();
  GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  GMimeParserOptions* options = g_mime_parser_options_get_default();
  GRef<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options));
  if (!message) {
    result.warning = "unreadable article skipped";
    return result;
  }
  const RawHeaders headers = collectHeaders(GMIME_OBJECT(message.get()));
  if (!headers.any) {
    result.warning = "no article headers (From, Subject, Date, Message-ID, Newsgroups); skipped";
    return result;
  }

  StoredArticle article;
  article.messageId = extractMessageId(headers.messageId);
  article.subject = decodeHeader(headers.subject, options);
  article.from = decodeHeader(headers.from, options);
  article.references = singleLine(headers.references);
  article.groups = parseNewsgroups(singleLine(headers.newsgroups));
  if (auto date = postingDate(headers, envelopeDate)) {
    article.date = *date;
  } else {
    result.warning = "no readable date";
  }
  article.body = bodyOf(message.get());
  result.dedupeKey = dedupeKeyFor(article.messageId, bytes);
  result.referenced =
      referencedMessageIds(article.references, singleLine(headers.inReplyTo), article.messageId);
  result.article = std::move(article);
  return result;
}

}  // namespace varnook::server
