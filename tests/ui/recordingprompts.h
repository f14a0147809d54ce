#pragma once

// A UserPrompts for the integration widgets' tests: records every message box and answers
// from a queue (Cancel/No when it is empty), and picks file names from another.

#include <QDialog>
#include <QString>
#include <deque>
#include <utility>
#include <vector>

#include "ui/userprompts.h"

namespace varnook::testing {

class RecordingPrompts final : public UserPrompts {
 public:
  struct Box {
    Kind kind;
    QString text;
  };

  Answer message(QWidget*, Kind kind, const QString& text) override {
    boxes.push_back({kind, text});
    if (answers.empty()) {
      if (kind == Kind::warning || kind == Kind::error) return Answer::ok;
      return kind == Kind::yesNo ? Answer::no : Answer::cancel;
    }
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  QString openFileName(QWidget*, const FileDialogSpec& spec) override {
    specs.push_back(spec);
    if (fileNames.empty()) return {};
    QString name = fileNames.front();
    fileNames.pop_front();
    return name;
  }
  QString saveFileName(QWidget* parent, const FileDialogSpec& spec) override {
    return openFileName(parent, spec);
  }
  int execDialog(QDialog& dialog) override { return dialog.exec(); }
  bool startProgram(const QString&, const QStringList&) override { return false; }
  void beep() override {}

  std::vector<Box> boxes;
  std::deque<Answer> answers;
  std::deque<QString> fileNames;
  std::vector<FileDialogSpec> specs;
};

}  // namespace varnook::testing
