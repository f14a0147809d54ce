#include "ui/logpage.h"

#include <QFontDatabase>
#include <QTextBlock>

#include "ui/qttext.h"

namespace varnook {

LogPage::LogPage(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName(QStringLiteral("memoLog"));
  setAccessibleName(QStringLiteral("Log"));
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QPalette shades = palette();
  shades.setColor(QPalette::Base, QColor(0xE0, 0xE0, 0xE0));
  shades.setColor(QPalette::Text, Qt::black);
  setPalette(shades);
  setContextMenuPolicy(Qt::CustomContextMenu);
}

void LogPage::append(const std::string& line) {
  appendPlainText(decodeBytes(line));
}

QByteArray LogPage::fileBytes() const {
  QByteArray bytes;
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    bytes += block.text().toUtf8();
    bytes += "\r\n";
  }
  return bytes;
}

}  // namespace varnook
