#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace varnook {

// Finds URLs ("http://", "ftp://", "www.", "mailto:") and e-mail addresses in a plain text
// and returns a copy in which each is wrapped in `insertBefore` and `insertAfter`, or
// replaced by what the convert handler makes of it. The text itself is never changed.
//
// Links never overlap: a link found by a later pass that overlaps links found before is
// merged with them into one link (so "mailto:joe@example.com" and "joe@www.example.com"
// each become a single link); when the merged link would pass the 255-byte limit, the
// later link is dropped instead. A link cut at 255 bytes is cut before a UTF-8 sequence
// that the cut would split, so valid UTF-8 text stays valid.
class MarkupLinks {
 public:
  static constexpr std::size_t kMaxTextLength = 0xFFFFFF;
  static constexpr std::size_t kMaxLinkLength = 255;

  // Called for each link instead of wrapping it; whatever it leaves in `link` takes the
  // link's place.
  using ConvertEvent = std::function<void(std::string& link)>;

  struct Result {
    std::string text;   // the marked-up text; empty on error
    std::string error;  // "String is too long", or empty on success
    bool ok() const { return error.empty(); }
  };

  const std::string& insertBefore() const { return insertBefore_; }
  void setInsertBefore(std::string text) { insertBefore_ = std::move(text); }
  const std::string& insertAfter() const { return insertAfter_; }
  void setInsertAfter(std::string text) { insertAfter_ = std::move(text); }
  void setOnConvert(ConvertEvent handler) { onConvert_ = std::move(handler); }

  // The marked-up text. Texts longer than kMaxTextLength bytes give the error
  // "String is too long" and no text.
  Result markup(std::string_view text) const;

  // The links of `text`, sorted and non-overlapping, each packed into one word: the
  // offset of its first byte in the low 24 bits and its length in the high 8 bits. A text
  // longer than kMaxTextLength gives none.
  static std::vector<std::uint32_t> findLinks(std::string_view text);

  static std::size_t linkOffset(std::uint32_t link) { return link & 0xFFFFFF; }
  static std::size_t linkLength(std::uint32_t link) { return link >> 24; }

 private:
  std::string insertBefore_;
  std::string insertAfter_;
  ConvertEvent onConvert_;
};

}  // namespace varnook
