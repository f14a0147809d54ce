#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace varnook {

class Collection;

// Transfer state flags of a request or an article, kept together in one byte.
enum StateFlag : std::uint8_t {
  kCancelled = 1,
  kFailed = 2,
  kComplete = 4,
};
using StateSet = std::uint8_t;

enum class ListKind { Requests, Articles };

// A running transfer, owned by the object it transfers. The transfer engine implements
// it; destroying the handle ends the transfer without any further event.
class TransferHandle {
 public:
  virtual ~TransferHandle() = default;
};

// What requests and articles share: the URL of their next transfer, their status text,
// their state flags, their name and, while a transfer runs, its handle. Each object is
// shown by one row of its list; the collection keeps the row index up to date.
class ArticleBase {
 public:
  ArticleBase(const ArticleBase&) = delete;
  ArticleBase& operator=(const ArticleBase&) = delete;
  virtual ~ArticleBase();

  virtual ListKind listKind() const = 0;
  // Text of the row's first column.
  virtual std::string displayName() const { return name; }

  // Status text in two parts, "short|long"; a text without "|" is both.
  void setStatus(std::string_view text);
  const std::string& status() const { return status_; }
  std::string_view shortStatus() const;
  std::string_view longStatus() const;

  StateSet state() const { return state_; }
  bool hasState(StateFlag flag) const { return (state_ & flag) != 0; }
  void setState(StateSet state);

  bool isTransferring() const { return transfer != nullptr; }
  // Rewrites the row from the fields (the observers are told).
  void updateListItem();

  // The collection that holds the object, or null while it is not in a list.
  Collection* collection() const { return collection_; }
  // The object's row in its list, or -1 while it is not in a list.
  int row() const { return row_; }

  std::string url;   // what the next transfer fetches
  std::string name;  // "Q#..." / "A#..." identifier
  // Present exactly while a transfer runs.
  std::unique_ptr<TransferHandle> transfer;

 protected:
  ArticleBase() = default;

 private:
  friend class Collection;
  std::string status_;
  StateSet state_ = 0;
  Collection* collection_ = nullptr;
  int row_ = -1;
};

}  // namespace varnook
