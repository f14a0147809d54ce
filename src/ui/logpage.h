#pragma once

#include <QByteArray>
#include <QPlainTextEdit>
#include <string>

namespace varnook {

// The Log page (memoLog): the transfer log, read-only and unwrapped in a fixed font. Its
// context menu is the commands' (customContextMenuRequested).
class LogPage final : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit LogPage(QWidget* parent = nullptr);

  // Appends one line (the collection's bytes, decoded as the window shows them).
  void append(const std::string& line);
  // The log as a text file holds it: every line ended by CR LF.
  QByteArray fileBytes() const;
};

}  // namespace varnook
