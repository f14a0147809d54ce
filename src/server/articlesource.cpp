#include "server/articlesource.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "server/articleingest.h"
#include "server/headerdate.h"

namespace varnook::server {
namespace {

namespace fs = std::filesystem;

// A piece of a line: a whole line with its line feed, or, for a line longer than the
// reader's limit, one piece of it.
struct LinePiece {
  std::string_view text;
  bool lineStart = true;  // the piece begins a line
};

// Reads a file line by line through zlib, which passes uncompressed files through as
// they are. Lines keep their line feed; a line longer than `maxLine` comes in pieces, so
// the buffer never holds much more than that.
class LineReader {
 public:
  // `sizeHint` is the file's size on disk: most spool articles are a few kilobytes, and
  // sizing the buffers by it keeps a walk over many small files cheap.
  LineReader(const std::string& path, std::uintmax_t sizeHint, const SourceOptions& options)
      : file_(gzopen(path.c_str(), "rb")),
        chunk_(
            static_cast<std::size_t>(std::clamp<std::uintmax_t>(sizeHint + 1, 4096, 256 * 1024))),
        maxLine_(std::max<std::size_t>(options.maxLineBytes, 64)),
        stop_(options.stop) {
    if (!file_) openError_ = errno;
    if (file_) gzbuffer(file_, static_cast<unsigned>(std::max<std::size_t>(chunk_, 8192)));
  }
  ~LineReader() {
    if (file_) gzclose(file_);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  int openError() const { return openError_; }
  // The data ended early or was damaged: what came last is incomplete.
  bool damaged() const { return damaged_; }
  bool stopped() const { return stopped_; }
  std::uint64_t bytesRead() const { return bytesRead_; }

  // The next line or piece, or nothing at the end of the data (also after a read error
  // or a stop).
  std::optional<LinePiece> next() {
    for (;;) {
      const std::size_t newline = buffer_.find('\n', std::max(scanned_, position_));
      if (newline != std::string::npos) return take(newline + 1 - position_, true);
      scanned_ = buffer_.size();
      if (buffer_.size() - position_ >= maxLine_) return take(maxLine_, false);
      if (eof_) {
        if (position_ >= buffer_.size()) return std::nullopt;
        return take(buffer_.size() - position_, true);
      }
      if (stop_ && stop_->load()) {
        stopped_ = true;
        return std::nullopt;
      }
      fill();
    }
  }

  // The first bytes, without consuming them.
  std::string_view peek(std::size_t count) {
    while (!eof_ && buffer_.size() - position_ < count) fill();
    return std::string_view(buffer_).substr(position_, count);
  }

 private:
  // `complete`: the piece ends its line.
  LinePiece take(std::size_t length, bool complete) {
    LinePiece piece{std::string_view(buffer_).substr(position_, length), lineStart_};
    position_ += length;
    lineStart_ = complete;
    return piece;
  }

  void fill() {
    if (position_ > 0 && position_ >= buffer_.size() / 2) {
      buffer_.erase(0, position_);
      scanned_ -= std::min(scanned_, position_);
      position_ = 0;
    }
    const std::size_t old = buffer_.size();
    buffer_.resize(old + chunk_);
    const int got = gzread(file_, buffer_.data() + old, static_cast<unsigned>(chunk_));
    buffer_.resize(old + static_cast<std::size_t>(std::max(got, 0)));
    if (got > 0) {
      bytesRead_ += static_cast<std::uint64_t>(got);
      return;
    }
    eof_ = true;
    // A stream cut short reads to its end without an error; zlib reports it afterwards.
    int code = Z_OK;
    gzerror(file_, &code);
    damaged_ = got < 0 || (code != Z_OK && code != Z_STREAM_END);
  }

  gzFile file_;
  std::size_t chunk_;
  std::size_t maxLine_;
  const std::atomic<bool>* stop_;
  std::string buffer_;
  std::size_t position_ = 0;
  std::size_t scanned_ = 0;  // no line feed before this offset of the buffer
  std::uint64_t bytesRead_ = 0;
  int openError_ = 0;
  bool lineStart_ = true;
  bool eof_ = false;
  bool damaged_ = false;
  bool stopped_ = false;
};

bool isBlankLine(std::string_view line) {
  return line == "\n" || line == "\r\n" || line.empty();
}

// Collects one mbox message at a time; shared by the file reader and splitMbox.
class MboxAssembler {
 public:
  MboxAssembler(std::string origin, std::size_t maxArticle)
      : origin_(std::move(origin)), maxArticle_(maxArticle) {}

  // Feeds one line or piece of a line; returns a finished message when this line starts
  // the next one. Envelopes and quoting are recognised in a line's first piece.
  std::optional<RawArticle> line(LinePiece piece) {
    std::string_view text = piece.text;
    if (!piece.lineStart) {
      if (started_ && !inEnvelope_) append(text);
      return std::nullopt;
    }
    inEnvelope_ = false;
    std::optional<RawArticle> finished;
    if (text.substr(0, 5) == "From " && (previousBlank_ || !started_)) {
      finished = finish();
      started_ = true;
      inEnvelope_ = true;
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

  // The message in progress, if any.
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
    if (bytes_.size() + text.size() > maxArticle_) {
      oversized_ = true;
      bytes_.clear();
      bytes_.shrink_to_fit();
      return;
    }
    bytes_.append(text);
  }

  std::string origin_;
  std::size_t maxArticle_;
  std::string bytes_;
  std::string pendingBlankLine_;
  std::optional<UnixTime> envelopeDate_;
  std::size_t index_ = 0;
  bool started_ = false;
  bool previousBlank_ = false;
  bool pendingBlank_ = false;
  bool oversized_ = false;
  bool inEnvelope_ = false;  // the line being read is an envelope line
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
  Walker(const ArticleSink& sink, const WarningSink& warn, SourceCounters& counters,
         const SourceOptions& options)
      : sink_(sink), warn_(warn), counters_(counters), options_(options) {}

  bool path(const fs::path& path, int depth) {
    if (stopped()) return false;
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
  using FolderId = std::pair<dev_t, ino_t>;

  bool stopped() const { return options_.stop && options_.stop->load(); }

  bool folder(const fs::path& path, int depth) {
    if (depth > 64) {
      warn_(path.string() + ": folders nested too deeply, skipped");
      return true;
    }
    // Links can lead to a folder again, or back to one being walked (a loop): each
    // folder is walked once.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      warn_(path.string() + ": " + std::strerror(errno));
      return true;
    }
    const FolderId id{info.st_dev, info.st_ino};
    if (const auto seen = walked_.find(id); seen != walked_.end()) {
      const bool loop = std::find(active_.begin(), active_.end(), id) != active_.end();
      warn_(path.string() + (loop ? ": a link back to " : ": the same folder as ") + seen->second +
            (loop ? " (a loop), skipped" : ", already read"));
      return true;
    }
    walked_.emplace(id, path.string());
    active_.push_back(id);
    const bool keepGoing = entries(path, depth);
    active_.pop_back();
    return keepGoing;
  }

  bool entries(const fs::path& path, int depth) {
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
    LineReader reader(path.string(), error ? 0 : size, options_);
    if (!reader.isOpen()) {
      warn_(path.string() + ": cannot be opened (" + std::strerror(reader.openError()) +
            "), skipped");
      return true;
    }
    ++counters_.files;
    bool keepGoing = true;
    std::optional<RawArticle> last;  // held back until the data is known to be whole
    if (reader.peek(5) == "From ") {
      MboxAssembler assembler(path.string(), options_.maxArticleBytes);
      while (keepGoing) {
        const auto piece = reader.next();
        if (!piece) break;
        if (auto article = assembler.line(*piece)) keepGoing = deliver(std::move(*article));
      }
      last = assembler.finish();
    } else {
      last = wholeFile(reader, path);
    }
    counters_.bytesRead += reader.bytesRead();
    if (reader.stopped()) return false;
    if (reader.damaged()) {
      warn_(path.string() +
            ": truncated compressed data (the file ends early or is damaged); its last "
            "article is left out");
      return keepGoing;
    }
    if (keepGoing && last) keepGoing = deliver(std::move(*last));
    return keepGoing;
  }

  // A file that is one article; reading stops at the size limit.
  RawArticle wholeFile(LineReader& reader, const fs::path& path) {
    RawArticle article;
    article.origin = path.string();
    while (const auto piece = reader.next()) {
      if (article.bytes.size() + piece->text.size() > options_.maxArticleBytes) {
        article.oversized = true;
        article.bytes.clear();
        article.bytes.shrink_to_fit();
        break;
      }
      article.bytes.append(piece->text);
    }
    return article;
  }

  bool deliver(RawArticle&& article) {
    ++counters_.articles;
    return sink_(std::move(article));
  }

  const ArticleSink& sink_;
  const WarningSink& warn_;
  SourceCounters& counters_;
  const SourceOptions& options_;
  std::map<FolderId, std::string> walked_;
  std::vector<FolderId> active_;
};

}  // namespace

bool walkArticleSources(const std::vector<std::string>& paths, const ArticleSink& sink,
                        const WarningSink& warn, SourceCounters& counters,
                        const SourceOptions& options) {
  Walker walker(sink, warn, counters, options);
  for (const std::string& path : paths)
    if (!walker.path(path, 0)) return false;
  return true;
}

std::vector<RawArticle> splitMbox(std::string_view data, std::string_view origin,
                                  const SourceOptions& options) {
  std::vector<RawArticle> articles;
  MboxAssembler assembler{std::string(origin), options.maxArticleBytes};
  const std::size_t maxLine = std::max<std::size_t>(options.maxLineBytes, 64);
  std::size_t position = 0;
  bool lineStart = true;
  while (position < data.size()) {
    std::size_t end = data.find('\n', position);
    end = end == std::string_view::npos ? data.size() : end + 1;
    const bool complete = end - position <= maxLine;
    if (!complete) end = position + maxLine;
    if (auto article = assembler.line({data.substr(position, end - position), lineStart}))
      articles.push_back(std::move(*article));
    lineStart = complete;
    position = end;
  }
  if (auto article = assembler.finish()) articles.push_back(std::move(*article));
  return articles;
}

}  // namespace varnook::server
