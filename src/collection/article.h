#pragma once

#include <cstdint>
#include <string>

#include "base/daydate.h"
#include "collection/articlebase.h"

namespace varnook {

// One article entry of the collection, with its downloaded text once loaded.
class Article : public ArticleBase {
 public:
  Article(std::uint32_t articleNumber, std::string articleSubject);

  ListKind listKind() const override { return ListKind::Articles; }
  std::string displayName() const override { return subject; }

  bool isLoaded() const { return !text.empty(); }
  // The check mark of the row: marked for download.
  bool checked() const { return checked_; }
  void setChecked(bool checked);

  // The text of column `column` of the article list ("Subject", "Author", "Date", "Status").
  std::string columnText(int column) const;

  std::uint32_t number = 0;
  std::string subject;
  std::string forum;
  std::string author;
  std::string requestId;  // Name of the request whose page listed the article
  std::string messageId;
  DayDate date = 0;
  std::string text;  // body with CR LF line ends; empty = not loaded
  std::string references;
  // A transfer of this article has ended in this run (not stored); the automatic download
  // leaves it to the user's load command from then on.
  bool transferEnded = false;

 private:
  friend class Collection;
  bool checked_ = false;
};

// "A#" and the number, or "?A" for number 0.
std::string articleName(std::uint32_t number);

}  // namespace varnook
