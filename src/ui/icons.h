#pragma once

#include <QIcon>

namespace varnook {

// The images of list rows.
enum class RowImage {
  query,     // a request, normal
  article,   // an article, normal
  complete,  // a complete request or article
  failed,    // a cancelled or failed request
};
QIcon rowImage(RowImage image);

// The window's command icons.
enum class CommandIcon {
  newDocument,
  open,
  save,
  stop,
  autoDownload,
  autoMark,
  remove,
  replyAuthor,
  replyGroup,
  forward,
  webSearch,
};
QIcon commandIcon(CommandIcon icon);

}  // namespace varnook
