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
    case RowImage::Query:
      return themed("edit-find", QStyle::SP_FileDialogContentsView);
    case RowImage::Article:
      return themed("text-x-generic", QStyle::SP_FileIcon);
    case RowImage::Complete:
      return themed("emblem-default", QStyle::SP_DialogApplyButton);
    case RowImage::Failed:
      return themed("dialog-warning", QStyle::SP_MessageBoxWarning);
  }
  return {};
}

QIcon commandIcon(CommandIcon icon) {
  switch (icon) {
    case CommandIcon::NewDocument:
      return themed("document-new", QStyle::SP_FileIcon);
    case CommandIcon::Open:
      return themed("document-open", QStyle::SP_DialogOpenButton);
    case CommandIcon::Save:
      return themed("document-save", QStyle::SP_DialogSaveButton);
    case CommandIcon::Stop:
      return themed("process-stop", QStyle::SP_BrowserStop);
    case CommandIcon::AutoDownload:
      return themed("go-down", QStyle::SP_ArrowDown);
    case CommandIcon::AutoMark:
      return themed("checkbox", QStyle::SP_DialogYesButton);
    case CommandIcon::Remove:
      return themed("edit-delete", QStyle::SP_TrashIcon);
    case CommandIcon::ReplyAuthor:
      return themed("mail-reply-sender", QStyle::SP_ArrowBack);
    case CommandIcon::ReplyGroup:
      return themed("mail-reply-all", QStyle::SP_FileDialogBack);
    case CommandIcon::Forward:
      return themed("mail-forward", QStyle::SP_ArrowForward);
    case CommandIcon::WebSearch:
      return themed("system-search", QStyle::SP_FileDialogContentsView);
  }
  return {};
}

}  // namespace varnook
