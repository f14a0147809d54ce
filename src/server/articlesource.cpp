#include "server/articlesource.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "server/articleingest.h"
#include "server/headerdate.h"

namespace varnook::server {
namespace {

namespace fs = std::filesystem;

// Reads a file line by line through zlib, which passes uncompressed files through as
// they are. Lines keep their line feed.
class LineReader {
 public:
  // `sizeHint` is the file's size on disk: most spool articles are a few kilobytes, and
  // sizing the buffers by it keeps a walk over many small files cheap.
  LineReader(const std::string& path, std::uintmax_t sizeHint)
      : file_(gzopen(path.c_str(), "rb")),
        chunk_(
            static_cast<std::size_t>(std::clamp<std::uintmax_t>(sizeHint + 1, 4096, 256 * 1024))) {
    if (file_) gzbuffer(file_, static_cast<unsigned>(std::max<std::size_t>(chunk_, 8192)));
  }
  ~LineReader() {
    if (file_) gzclose(file_);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  bool failed() const { return failed_; }

  // The next line, or nothing at the end of the data (or after a read error).
  std::optional<std::string_view> next() {
    for (;;) {
      const std::size_t newline = buffer_.find('\n', position_);
      if (newline != std::string::npos) {
        std::string_view line(buffer_.data() + position_, newline + 1 - position_);
        position_ = newline + 1;
        return line;
      }
      if (eof_) {
        if (position_ >= buffer_.size()) return std::nullopt;
        std::string_view line(buffer_.data() + position_, buffer_.size() - position_);
        position_ = buffer_.size();
        return line;
      }
      fill();
    }
  }

  // Everything left, for a file that is one article.
  std::string rest() {
    while (!eof_) fill();
    std::string out = buffer_.substr(std::min(position_, buffer_.size()));
    position_ = buffer_.size();
    return out;
  }

  // The first bytes, without consuming them.
  std::string_view peek(std::size_t count) {
    while (!eof_ && buffer_.size() - position_ < count) fill();
    return std::string_view(buffer_).substr(position_, count);
  }

 private:
  void fill() {
    if (position_ > 0 && position_ >= buffer_.size() / 2) {
      buffer_.erase(0, position_);
      position_ = 0;
    }
    const std::size_t old = buffer_.size();
    buffer_.resize(old + chunk_);
    const int got = gzread(file_, buffer_.data() + old, static_cast<unsigned>(chunk_));
    if (got <= 0) {
      buffer_.resize(old);
      eof_ = true;
      if (got < 0) failed_ = true;
      return;
    }
    buffer_.resize(old + static_cast<std::size_t>(got));
  }

  gzFile file_;
  std::size_t chunk_;
  std::string buffer_;
  std::size_t position_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

bool isBlankLine(std::string_view line) {
  return line == "\n" || line == "\r\n" || line.empty();
}

// Collects one mbox message at a time; shared by the file reader and splitMbox.
class MboxAssembler {
 public:
  explicit MboxAssembler(std::string origin) : origin_(std::move(origin)) {}

  // Feeds one line; returns a finished message when this line starts the next one.
  std::optional<RawArticle> line(std::string_view text) {
    std::optional<RawArticle> finished;
    if (text.substr(0, 5) == "From " && (previousBlank_ || !started_)) {
      finished = finish();
      started_ = true;
      ++index_;
      envelopeDate_ = parseEnvelopeDate(text);
      previousBlank_ = false;
      return finished;
    }
    if (!started_) {
      // Data before the first envelope line: not an mbox message, dropped.
      previousBlank_ = isBlankLine(text);
      return std::nullopt;
    }
    if (pendingBlank_) {
      append(pendingBlankLine_);
      pendingBlank_ = false;
    }
    previousBlank_ = isBlankLine(text);
    if (previousBlank_) {
      // A blank line right before the next envelope belongs to the mbox, not the message.
      pendingBlank_ = true;
      pendingBlankLine_.assign(text);
      return std::nullopt;
    }
    std::size_t quotes = 0;
    while (quotes < text.size() && text[quotes] == '>') ++quotes;
    if (quotes > 0 && text.substr(quotes, 5) == "From ") text.remove_prefix(1);
    append(text);
    return std::nullopt;
  }

  std::optional<RawArticle> finish() {
    if (!started_) return std::nullopt;
    RawArticle article;
    article.bytes = std::move(bytes_);
    article.envelopeDate = envelopeDate_;
    article.origin = origin_ + " (message " + std::to_string(index_) + ")";
    article.oversized = oversized_;
    bytes_.clear();
    oversized_ = false;
    pendingBlank_ = false;
    started_ = false;
    return article;
  }

 private:
  void append(std::string_view text) {
    if (oversized_) return;
    if (bytes_.size() + text.size() > kMaxArticleBytes) {
      oversized_ = true;
      bytes_.clear();
      bytes_.shrink_to_fit();
      return;
    }
    bytes_.append(text);
  }

  std::string origin_;
  std::string bytes_;
  std::string pendingBlankLine_;
  std::optional<UnixTime> envelopeDate_;
  std::size_t index_ = 0;
  bool started_ = false;
  bool previousBlank_ = false;
  bool pendingBlank_ = false;
  bool oversized_ = false;
};

// Numeric names (spool article numbers) in numeric order first, then the rest by name.
bool entryLess(const fs::path& a, const fs::path& b) {
  const std::string na = a.filename().string(), nb = b.filename().string();
  const bool da = !na.empty() && na.size() < 19 &&
                  std::all_of(na.begin(), na.end(), [](char c) { return c >= '0' && c <= '9'; });
  const bool db = !nb.empty() && nb.size() < 19 &&
                  std::all_of(nb.begin(), nb.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (da != db) return da;
  if (da) return std::stoull(na) < std::stoull(nb);
  return na < nb;
}

class Walker {
 public:
  Walker(const ArticleSink& sink, const WarningSink& warn, SourceCounters& counters)
      : sink_(sink), warn_(warn), counters_(counters) {}

  bool path(const fs::path& path, int depth) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
      warn_(path.string() + ": " + error.message());
      return true;
    }
    if (fs::is_directory(status)) return folder(path, depth);
    if (fs::is_regular_file(status)) return file(path);
    warn_(path.string() + ": not a file or folder, skipped");
    return true;
  }

 private:
  bool folder(const fs::path& path, int depth) {
    if (depth > 64) {
      warn_(path.string() + ": folders nested too deeply, skipped");
      return true;
    }
    std::error_code error;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
      entries.push_back(it->path());
    if (error) warn_(path.string() + ": " + error.message());
    const bool maildir = std::any_of(entries.begin(), entries.end(),
                                     [](const fs::path& p) { return p.filename() == "cur"; });
    std::sort(entries.begin(), entries.end(), entryLess);
    for (const fs::path& entry : entries) {
      const std::string name = entry.filename().string();
      if (name.empty() || name.front() == '.') continue;
      // A Maildir's tmp/ holds messages still being delivered.
      if (maildir && name == "tmp") continue;
      if (!this->path(entry, depth + 1)) return false;
    }
    return true;
  }

  bool file(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    LineReader reader(path.string(), error ? 0 : size);
    if (!reader.isOpen()) {
      warn_(path.string() + ": cannot be opened, skipped");
      return true;
    }
    ++counters_.files;
    bool keepGoing = true;
    if (reader.peek(5) == "From ") {
      MboxAssembler assembler(path.string());
      while (keepGoing) {
        const auto line = reader.next();
        std::optional<RawArticle> article = line ? assembler.line(*line) : assembler.finish();
        if (article) keepGoing = deliver(std::move(*article));
        if (!line) break;
      }
    } else {
      RawArticle article;
      article.bytes = reader.rest();
      article.origin = path.string();
      keepGoing = deliver(std::move(article));
    }
    if (reader.failed()) warn_(path.string() + ": read error (damaged compressed data?)");
    return keepGoing;
  }

  bool deliver(RawArticle&& article) {
    ++counters_.articles;
    return sink_(std::move(article));
  }

  const ArticleSink& sink_;
  const WarningSink& warn_;
  SourceCounters& counters_;
};

}  // namespace

bool walkArticleSources(const std::vector<std::string>& paths, const ArticleSink& sink,
                        const WarningSink& warn, SourceCounters& counters) {
  Walker walker(sink, warn, counters);
  for (const std::string& path : paths)
    if (!walker.path(path, 0)) return false;
  return true;
}

std::vector<RawArticle> splitMbox(std::string_view data, std::string_view origin) {
  std::vector<RawArticle> articles;
  MboxAssembler assembler{std::string(origin)};
  std::size_t position = 0;
  while (position < data.size()) {
    std::size_t end = data.find('\n', position);
    end = end == std::string_view::npos ? data.size() : end + 1;
    if (auto article = assembler.line(data.substr(position, end - position)))
      articles.push_back(std::move(*article));
    position = end;
  }
  if (auto article = assembler.finish()) articles.push_back(std::move(*article));
  return articles;
}

}  // namespace varnook::server
