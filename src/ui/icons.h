#pragma once

#include <QIcon>

namespace varnook {

// The images of list rows.
enum class RowImage {
  Query,     // a request, normal
  Article,   // an Article, normal
  Complete,  // a complete request or Article
  Failed,    // a cancelled or failed request
};
QIcon rowImage(RowImage image);

// The window's command icons.
enum class CommandIcon {
  NewDocument,
  Open,
  Save,
  Stop,
  AutoDownload,
  AutoMark,
  Remove,
  ReplyAuthor,
  ReplyGroup,
  Forward,
  WebSearch,
};
QIcon commandIcon(CommandIcon icon);

}  // namespace varnook
