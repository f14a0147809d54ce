#include "ui/icons.h"

#include <QApplication>
#include <QStyle>

namespace varnook {
namespace {

// The desktop theme's icon when it has one, else the style's own.
QIcon themed(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

}  // namespace

QIcon rowImage(RowImage image) {
  switch (image) {
    case RowImage::query:
      return themed("edit-find", QStyle::SP_FileDialogContentsView);
    case RowImage::article:
      return themed("text-x-generic", QStyle::SP_FileIcon);
    case RowImage::complete:
      return themed("emblem-default", QStyle::SP_DialogApplyButton);
    case RowImage::failed:
      return themed("dialog-warning", QStyle::SP_MessageBoxWarning);
  }
  return {};
}

QIcon commandIcon(CommandIcon icon) {
  switch (icon) {
    case CommandIcon::newDocument:
      return themed("document-new", QStyle::SP_FileIcon);
    case CommandIcon::open:
      return themed("document-open", QStyle::SP_DialogOpenButton);
    case CommandIcon::save:
      return themed("document-save", QStyle::SP_DialogSaveButton);
    case CommandIcon::stop:
      return themed("process-stop", QStyle::SP_BrowserStop);
    case CommandIcon::autoDownload:
      return themed("go-down", QStyle::SP_ArrowDown);
    case CommandIcon::autoMark:
      return themed("checkbox", QStyle::SP_DialogYesButton);
    case CommandIcon::remove:
      return themed("edit-delete", QStyle::SP_TrashIcon);
    case CommandIcon::replyAuthor:
      return themed("mail-reply-sender", QStyle::SP_ArrowBack);
    case CommandIcon::replyGroup:
      return themed("mail-reply-all", QStyle::SP_FileDialogBack);
    case CommandIcon::forward:
      return themed("mail-forward", QStyle::SP_ArrowForward);
    case CommandIcon::webSearch:
      return themed("system-search", QStyle::SP_FileDialogContentsView);
  }
  return {};
}

}  // namespace varnook
