#include "collection/collectionfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "archive/encoding.h"
#include "archive/queryurl.h"
#include "archive/textsearch.h"
#include "base/atomicfile.h"
#include "base/decimal.h"

namespace varnook {
namespace {

constexpr std::string_view kRequestSeparator = "---{^#ReQ&}---";
constexpr std::string_view kArticleSeparator = "---{^#MsG&}---";
constexpr std::string_view kDeletedSeparator = "---{^#DeL&}---";
constexpr std::size_t kMaxValueLength = 999;
constexpr std::size_t kChunkSize = 1 << 20;

// The value after a colon: leading blanks skipped, at most 999 characters, trimmed.
std::string_view attributeValue(std::string_view afterColon) {
  return trimControls(trimControls(afterColon).substr(0, kMaxValueLength));
}

// Request lines that the original form cannot carry (stored parameters longer than 999
// characters, a name with a colon) are written with the parameters' length ahead of them,
// ": {1021} &QRY=...", and the name's colons and percent signs percent-encoded. A reader
// of the original form still finds the parameters it can (up to its limit); this reader
// takes the whole value when the length matches what follows, and otherwise reads the
// line as one written elsewhere.
std::optional<std::string_view> declaredValue(std::string_view afterColon) {
  if (!afterColon.starts_with(" {")) return std::nullopt;
  std::size_t length = 0, pos = 2;
  while (pos < afterColon.size() && pos < 11 && afterColon[pos] >= '0' && afterColon[pos] <= '9')
    length = length * 10 + static_cast<std::size_t>(afterColon[pos++] - '0');
  if (pos == 2 || afterColon.substr(pos, 2) != "} ") return std::nullopt;
  const std::string_view value = afterColon.substr(pos + 2);
  if (value.size() != length) return std::nullopt;
  return value;
}

std::string encodeRequestName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '%') {
      out += "%25";
    } else if (c == ':') {
      out += "%3A";
    } else {
      out += c;
    }
  }
  return out;
}

std::string decodeRequestName(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const std::string_view code = name.substr(i, 3);
    if (code == "%25" || equalsNoCase(code, "%3A")) {
      out += code == "%25" ? '%' : ':';
      i += 2;
    } else {
      out += name[i];
    }
  }
  return out;
}

// An article number: 1 to 4294967295, or 0 for an article block that makes no article.
// Anything else (a sign, a number beyond 32 bits) is no number.
std::optional<std::uint32_t> parseArticleNumber(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  return parseDecimal<std::uint32_t>(text);
}

enum class Section { None, Requests, Article, Deleted };

// The common start of the three separator lines.
constexpr std::string_view kSeparatorStart = "---{^#";

// An article text line that is a separator followed by `n` carriage returns gives n; any
// other line -1. The writer puts one more CR behind such a line (so it cannot end the
// article) and the reader takes it off again.
int separatorWithCarriageReturns(std::string_view line) {
  if (line.size() < kRequestSeparator.size()) return -1;
  const std::string_view head = line.substr(0, kRequestSeparator.size());
  if (head != kRequestSeparator && head != kArticleSeparator && head != kDeletedSeparator)
    return -1;
  const std::string_view tail = line.substr(head.size());
  if (tail.find_first_not_of('\r') != std::string_view::npos) return -1;
  return static_cast<int>(tail.size());
}

std::optional<Section> separatorSection(std::string_view line) {
  if (line.size() != kRequestSeparator.size() || line[0] != '-') return std::nullopt;
  if (line == kRequestSeparator) return Section::Requests;
  if (line == kArticleSeparator) return Section::Article;
  if (line == kDeletedSeparator) return Section::Deleted;
  return std::nullopt;
}

// Lines of the file, from memory or read in chunks from a descriptor. A line is returned
// without its LF and without one CR before it; the view is valid until the next call.
class LineInput {
 public:
  explicit LineInput(std::string_view bytes) : data_(bytes), eof_(true) {}
  explicit LineInput(int fd) : fd_(fd) { buffer_.resize(kChunkSize); }

  // False at the end of the input; `error` is set when reading failed.
  bool next(std::string_view& line) {
    for (;;) {
      const char* begin = data_.data() + pos_;
      const std::size_t left = data_.size() - pos_;
      const void* lf = left == 0 ? nullptr : std::memchr(begin, '\n', left);
      if (lf != nullptr) {
        const auto length = static_cast<std::size_t>(static_cast<const char*>(lf) - begin);
        pos_ += length + 1;
        line = std::string_view(begin, length);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
      }
      if (eof_) {
        if (left == 0) return false;
        pos_ = data_.size();
        line = std::string_view(begin, left);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
      }
      if (!refill()) return false;
    }
  }

  const std::string& error() const { return error_; }

 private:
  bool refill() {
    const std::size_t left = data_.size() - pos_;
    // Keep the partial line; grow the buffer when one line fills it.
    if (left > 0) std::memmove(buffer_.data(), data_.data() + pos_, left);
    if (left + kChunkSize / 2 > buffer_.size()) buffer_.resize(buffer_.size() * 2);
    ssize_t got;
    do {
      got = ::read(fd_, buffer_.data() + left, buffer_.size() - left);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      error_ = std::strerror(errno);
      eof_ = true;
      data_ = std::string_view(buffer_.data(), left);
      pos_ = 0;
      return false;
    }
    if (got == 0) eof_ = true;
    data_ = std::string_view(buffer_.data(), left + static_cast<std::size_t>(got));
    pos_ = 0;
    return true;
  }

  int fd_ = -1;
  std::string buffer_;
  std::string_view data_;
  std::size_t pos_ = 0;
  bool eof_ = false;
  std::string error_;
};

struct Failure {
  std::string message;
  bool wrapped = true;  // "Invalid file format at line N: " goes in front
};

// An article block being read.
struct PendingArticle {
  std::uint32_t number = 0;
  std::string subject, author, forum, references, requestId;
  DayDate date = 0;
  bool selected = false;
  std::string text;
  bool inHeader = true;
};

// Dates of articles: "yyyy/mm/dd", or "mm/dd/yy" when the second-to-last character is "9"
// (files of the last century); shorter than 6 characters means no date.
std::optional<DayDate> readArticleDate(std::string_view value, Failure& failure) {
  if (value.size() < 6) return 0.0;
  if (value.back() == '/') value.remove_suffix(1);
  std::optional<DayDate> date;
  if (value.size() >= 2 && value[value.size() - 2] == '9') {
    int m = 0, d = 0, y = 0;
    char tail = 0;
    const std::string copy(value);
    if (std::sscanf(copy.c_str(), "%2d/%2d/%2d%c", &m, &d, &y, &tail) == 3 && copy.size() <= 8)
      date = encodeDate(1900 + y, m, d);
  } else {
    date = parseShortDate(value);
  }
  if (!date) failure.message = "Incorrect date format: " + std::string(value);
  return date;
}

class CollectionReader {
 public:
  CollectionReader(Collection& collection) : collection_(collection) {}

  LoadResult read(LineInput& input, const std::string& fileName) {
    BulkUpdate requestsBulk(collection_, ListKind::Requests);
    BulkUpdate articlesBulk(collection_, ListKind::Articles);
    LoadResult result;
    std::string_view line;
    Failure failure;
    bool failed = false;
    if (!input.next(line)) {
      if (!input.error().empty()) return ioError(input.error());
      failure.message = "Signature expected";
      failed = true;
      line_ = 1;
    } else {
      line_ = 1;
      if (auto section = separatorSection(line)) {
        section_ = *section;
      } else {
        failure.message = "Signature expected";
        failed = true;
      }
    }
    while (!failed && input.next(line)) {
      ++line_;
      failed = !processLine(line, failure);
    }
    if (!failed && !input.error().empty()) return ioError(input.error());
    if (!failed) {
      finishArticle(/*endedByDeletedSection=*/false);
      collection_.setFileName(fileName);
      for (const auto& request : collection_.requests()) request->updateListItem();
      collection_.setModified(false);
      return result;
    }
    result.status = LoadResult::Status::Malformed;
    result.line = line_;
    result.message = failure.wrapped ? "Invalid file format at line " + std::to_string(line_) +
                                           ": " + failure.message
                                     : failure.message;
    return result;
  }

 private:
  static LoadResult ioError(const std::string& message) {
    LoadResult result;
    result.status = LoadResult::Status::IoError;
    result.message = message;
    return result;
  }

  bool processLine(std::string_view line, Failure& failure) {
    if (auto section = separatorSection(line)) {
      finishArticle(*section == Section::Deleted);
      section_ = *section;
      return true;
    }
    switch (section_) {
      case Section::Requests:
        return readRequestLine(line, failure);
      case Section::Article:
        return readArticleLine(line, failure);
      case Section::Deleted:
        readDeletedNumbers(line);
        return true;
      case Section::None:
        return true;
    }
    return true;
  }

  bool readRequestLine(std::string_view line, Failure& failure) {
    if (line.empty()) return true;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
      failure.message = "Query expected";
      return false;
    }
    const std::string_view name = line.substr(0, colon);
    const std::optional<std::string_view> declared = declaredValue(line.substr(colon + 1));
    auto request =
        std::make_unique<Request>(declared ? decodeRequestName(name) : std::string(name));
    const std::string_view params = declared ? *declared : attributeValue(line.substr(colon + 1));
    std::string error = parseQueryParameters(*request, params);
    if (!error.empty()) {
      // The load stops at this line: its request gets no row.
      failure.message = std::move(error);
      failure.wrapped = false;
      return false;
    }
    Request& added = collection_.appendRequest(std::move(request));
    requestIndexDirty_ = true;
    added.updateListItem();
    return true;
  }

  bool readArticleLine(std::string_view line, Failure& failure) {
    PendingArticle& a = pending_;
    if (!a.inHeader) {
      if (separatorWithCarriageReturns(line) > 0) line.remove_suffix(1);
      a.text.append(line);
      a.text.append("\r\n");
      return true;
    }
    if (line.empty()) {
      a.inHeader = false;
      return true;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
      failure.message = "Article attributes expected";
      return false;
    }
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = attributeValue(line.substr(colon + 1));
    if (equalsNoCase(name, "Subject")) {
      a.subject = value;
    } else if (equalsNoCase(name, "From")) {
      a.author = value;
    } else if (equalsNoCase(name, "Newsgroup")) {
      a.forum = value;
    } else if (equalsNoCase(name, "References")) {
      a.references = value;
    } else if (equalsNoCase(name, "X-QuenID")) {
      const auto number = parseArticleNumber(value);
      if (!number) {
        failure.message = "'" + std::string(value) + "' is not a valid integer value";
        failure.wrapped = false;
        return false;
      }
      a.number = *number;
    } else if (equalsNoCase(name, "X-QuenURL")) {
      // Written by older versions; the URL is rebuilt before each download.
    } else if (equalsNoCase(name, "X-Selected")) {
      a.selected = true;
    } else if (equalsNoCase(name, "X-RequestID")) {
      a.requestId = value;
    } else if (equalsNoCase(name, "Date")) {
      const auto date = readArticleDate(value, failure);
      if (!date) return false;
      a.date = *date;
    } else {
      failure.message = "Unknown article attribute: " + std::string(name);
      return false;
    }
    return true;
  }

  void readDeletedNumbers(std::string_view line) {
    std::uint64_t value = 0;
    bool inNumber = false;
    auto flush = [&] {
      if (inNumber && value != 0 && value <= std::numeric_limits<std::uint32_t>::max())
        collection_.isKnownArticle(static_cast<std::uint32_t>(value));
      inNumber = false;
      value = 0;
    };
    for (char c : line) {
      if (c >= '0' && c <= '9') {
        if (value <= std::numeric_limits<std::uint32_t>::max())
          value = value * 10 + static_cast<std::uint64_t>(c - '0');
        inNumber = true;
      } else {
        flush();
      }
    }
    flush();
  }

  Request* findRequest(const std::string& requestId) {
    if (requestId.empty()) return nullptr;
    if (requestIndexDirty_) {
      requestIndex_.clear();
      for (const auto& request : collection_.requests())
        requestIndex_.emplace(request->name, request.get());  // the first of a name wins
      requestIndexDirty_ = false;
    }
    const auto it = requestIndex_.find(requestId);
    return it == requestIndex_.end() ? nullptr : it->second;
  }

  void finishArticle(bool endedByDeletedSection) {
    if (section_ != Section::Article) return;
    PendingArticle a = std::move(pending_);
    pending_ = PendingArticle();
    // The writer ends a text with CR LF and puts an empty line before the deleted-numbers
    // section; neither belongs to the text.
    auto dropLineEnd = [&a] {
      if (a.text.size() >= 2 && a.text.compare(a.text.size() - 2, 2, "\r\n") == 0)
        a.text.resize(a.text.size() - 2);
    };
    if (endedByDeletedSection) dropLineEnd();
    dropLineEnd();
    if (a.number == 0 || collection_.isKnownArticle(a.number)) return;

    auto article = std::make_unique<Article>(a.number, std::move(a.subject));
    article->author = std::move(a.author);
    article->forum = std::move(a.forum);
    article->references = std::move(a.references);
    article->date = a.date;
    article->requestId = std::move(a.requestId);
    Article& added = collection_.appendArticle(std::move(article), a.selected);
    if (!a.text.empty()) {
      if (findNoCase(a.text, "<pre>") != std::string::npos)
        a.text = htmlToText(a.text, true, false);
      a.text.shrink_to_fit();
      collection_.setArticleText(added, std::move(a.text));
      added.setStatus("Loaded");
      added.setState(kComplete);
    }
    added.updateListItem();
    if (Request* request = findRequest(added.requestId)) ++request->articles;
  }

  Collection& collection_;
  Section section_ = Section::None;
  PendingArticle pending_;
  int line_ = 0;
  std::unordered_map<std::string, Request*> requestIndex_;
  bool requestIndexDirty_ = true;
};

// Keeps an attribute value on one line of the file: a line feed would end it early.
std::string singleLine(std::string_view value) {
  std::string out(value);
  for (char& c : out)
    if (c == '\n') c = ' ';
  return out;
}

// Buffers the file's many small pieces into large writes.
class FileWriter {
 public:
  explicit FileWriter(AtomicFile& file) : file_(file) { buffer_.reserve(kChunkSize); }
  void append(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > kChunkSize) flush();
    if (bytes.size() >= kChunkSize) {
      file_.write(bytes);
    } else {
      buffer_.append(bytes);
    }
  }
  void flush() {
    file_.write(buffer_);
    buffer_.clear();
  }

 private:
  AtomicFile& file_;
  std::string buffer_;
};

// Whether a line of `text` starts like a separator. Texts rarely hold a "{", so looking
// for that byte keeps the common case at the speed of memchr.
bool mayHoldSeparatorLine(std::string_view text) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  for (const char* p = begin; p < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '{', static_cast<std::size_t>(end - p)));
    if (p == nullptr) return false;
    const char* const lineStart = p - 3;
    if (lineStart >= begin && (lineStart == begin || lineStart[-1] == '\n') &&
        text.substr(static_cast<std::size_t>(lineStart - begin)).starts_with(kSeparatorStart))
      return true;
  }
  return false;
}

// An article text followed by CR LF. A line of it that the reader would take for a
// separator (or for an escaped one) gets one more CR before its line end.
template <typename Sink>
void emitText(std::string_view text, Sink& out) {
  if (!mayHoldSeparatorLine(text)) {
    out.append(text);
    out.append("\r\n");
    return;
  }
  const std::string stream = std::string(text) + "\r\n";
  std::string escaped;
  escaped.reserve(stream.size() + 16);
  std::size_t pos = 0;
  while (pos < stream.size()) {
    const std::size_t lf = stream.find('\n', pos);  // the stream ends with one
    std::string_view segment = std::string_view(stream).substr(pos, lf - pos);
    std::string_view line = segment;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (separatorWithCarriageReturns(line) >= 0) {
      escaped += line;
      escaped += "\r\r\n";
    } else {
      escaped += segment;
      escaped += '\n';
    }
    pos = lf + 1;
  }
  out.append(escaped);
}

template <typename Sink>
void emitCollection(const Collection& collection, Sink& out) {
  const ServiceSettings noService;
  out.append(kRequestSeparator);
  out.append("\r\n");
  for (const auto& request : collection.requests()) {
    const std::string name = singleLine(request->name);
    const std::string params = buildQueryUrl(*request, true, noService, 0);
    if (params.size() <= kMaxValueLength && name.find(':') == std::string::npos) {
      out.append(name);
      out.append(": ");
    } else {
      out.append(encodeRequestName(name));
      out.append(": {" + std::to_string(params.size()) + "} ");
    }
    out.append(params);
    out.append("\r\n");
  }
  out.append("\r\n");

  std::string block;
  auto attribute = [&block](std::string_view name, std::string_view value) {
    if (value.empty()) return;
    block += name;
    block += ": ";
    block += singleLine(value);
    block += "\r\n";
  };
  for (const auto& article : collection.articles()) {
    block.clear();
    block += kArticleSeparator;
    block += "\r\nX-QuenID: ";
    block += std::to_string(article->number);
    block += "\r\n";
    attribute("From", article->author);
    attribute("Newsgroup", article->forum);
    attribute("References", article->references);
    attribute("Subject", article->subject);
    attribute("X-RequestID", article->requestId);
    if (article->date != 0) attribute("Date", formatShortDate(article->date));
    if (article->checked()) block += "X-Selected: True\r\n";
    block += "\r\n";
    out.append(block);
    if (!article->text.empty()) emitText(article->text, out);
  }

  const KnownArticles& known = collection.knownArticles();
  if (known.empty()) return;
  out.append("\r\n");
  out.append(kDeletedSeparator);
  std::unordered_set<std::uint32_t> listed;
  listed.reserve(collection.articles().size());
  for (const auto& article : collection.articles()) listed.insert(article->number);
  std::string numbers;
  std::size_t written = 0;
  for (std::uint32_t number : known.inOrder()) {
    if (listed.count(number) != 0) continue;
    numbers += (written % 8 == 0) ? "\r\n" : " ";
    numbers += std::to_string(number);
    ++written;
    if (numbers.size() > 4096) {
      out.append(numbers);
      numbers.clear();
    }
  }
  out.append(numbers);
}

struct StringSink {
  std::string bytes;
  void append(std::string_view s) { bytes.append(s); }
};

}  // namespace

LoadResult readCollection(Collection& collection, std::string_view bytes,
                          const std::string& fileName) {
  LineInput input(bytes);
  return CollectionReader(collection).read(input, fileName);
}

LoadResult loadCollection(Collection& collection, const std::string& path) {
  // Not blocking: a FIFO named as a collection must not hang the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    LoadResult result;
    if (errno == ENOENT) {
      result.status = LoadResult::Status::NotFound;
      result.message = "News collection \"" + path + "\" not found";
    } else {
      result.status = LoadResult::Status::IoError;
      result.message = std::strerror(errno);
    }
    return result;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
    ::close(fd);
    LoadResult result;
    result.status = LoadResult::Status::IoError;
    result.message = std::strerror(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return result;
  }
  if (st.st_size > 0) collection.reserveArticles(static_cast<std::size_t>(st.st_size) / 4096);
  LineInput input(fd);
  LoadResult result = CollectionReader(collection).read(input, path);
  ::close(fd);
  return result;
}

std::string writeCollection(const Collection& collection) {
  StringSink sink;
  emitCollection(collection, sink);
  return std::move(sink.bytes);
}

SaveResult saveCollection(Collection& collection, const std::string& path) {
  // The new file keeps the mode of the one it replaces; a new one gets the usual mode.
  AtomicFile file(path, FileAccess::Usual);
  if (file.ok()) {
    FileWriter writer(file);
    emitCollection(collection, writer);
    writer.flush();
    file.commit();
  }
  SaveResult result;
  if (!file.ok()) {
    result.ok = false;
    result.message = fileErrorText(file.error());
    return result;
  }
  collection.setFileName(path);
  collection.setModified(false);
  return result;
}

}  // namespace varnook
