#pragma once

// Prompts for the window's and the dialogs' tests: every message box, file dialog, dialog
// and program start is recorded; questions are answered from a queue the test fills, file
// dialogs from another. A question or file dialog the test did not expect fails it and is
// answered Cancel (or "no file").

#include <gtest/gtest.h>

#include <QDialog>
#include <QStringList>
#include <deque>
#include <functional>
#include <ostream>
#include <vector>

#include "ui/userprompts.h"

// Readable QStrings in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace varnook::testing {

class ScriptedPrompts final : public UserPrompts {
 public:
  struct Shown {
    Kind kind;
    QString text;
  };

  Answer message(QWidget*, Kind kind, const QString& text) override {
    messages.push_back({kind, text});
    if (kind == Kind::Warning || kind == Kind::Error) return Answer::Ok;
    if (answers.empty()) ADD_FAILURE() << "unexpected question: " << text.toStdString();
    return take(answers, Answer::Cancel);
  }
  QString openFileName(QWidget*, const FileDialogSpec& spec) override {
    fileDialogs.push_back(spec);
    if (fileNames.empty()) ADD_FAILURE() << "unexpected file dialog: " << spec.title.toStdString();
    return take(fileNames, QString());
  }
  QString saveFileName(QWidget* parent, const FileDialogSpec& spec) override {
    return openFileName(parent, spec);
  }
  int execDialog(QDialog& dialog) override {
    ++dialogsShown;
    return onDialog ? onDialog(dialog) : QDialog::Accepted;
  }
  bool startProgram(const QString& program, const QStringList& arguments) override {
    started.push_back(QStringList{program} + arguments);
    return startSucceeds;
  }
  void beep() override {}

  // The texts of the messages shown so far.
  QStringList texts() const {
    QStringList texts;
    for (const Shown& shown : messages) texts << shown.text;
    return texts;
  }

  std::deque<Answer> answers;
  std::deque<QString> fileNames;  // an empty name means "cancelled"
  // Sets up the dialog as the user would and returns its result; unset, the dialog is
  // accepted as it is.
  std::function<int(QDialog&)> onDialog;
  bool startSucceeds = true;

  std::vector<Shown> messages;
  std::vector<FileDialogSpec> fileDialogs;
  int dialogsShown = 0;
  std::vector<QStringList> started;

 private:
  template <typename T>
  static T take(std::deque<T>& queue, T otherwise) {
    if (queue.empty()) return otherwise;
    T front = std::move(queue.front());
    queue.pop_front();
    return front;
  }
};

}  // namespace varnook::testing
