#pragma once

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace varnook {

// A file dialog as a command describes it. Filters are in Qt's form
// ("Varnook files (*.vnk)"); the first one is selected.
struct FileDialogSpec {
  QString title;
  QStringList filters;
  QString defaultSuffix;  // without the dot
  QString proposedName;   // a name or path shown at first (save dialogs)
};

// Everything the main window asks the user or the desktop, in one place: message boxes,
// file dialogs, the refined-query dialog, starting a second copy, the beep. The program
// uses DesktopPrompts; tests put in their own answers.
class UserPrompts {
 public:
  enum class Kind {
    Warning,      // OK
    Error,        // OK
    YesNo,        // a question with Yes and No
    YesNoCancel,  // a question with Yes, No and Cancel
    OkCancel,     // a confirmation with OK and Cancel
  };
  enum class Answer { Ok, Yes, No, Cancel };

  virtual ~UserPrompts() = default;

  // A modal message box. Closing it without a button counts as Cancel (or No when there is
  // no Cancel, OK for the two OK boxes).
  virtual Answer message(QWidget* parent, Kind kind, const QString& text) = 0;
  // The chosen file's path, or empty when the user cancelled. The open dialog accepts only
  // existing files; the save dialog asks before overwriting.
  virtual QString openFileName(QWidget* parent, const FileDialogSpec& spec) = 0;
  virtual QString saveFileName(QWidget* parent, const FileDialogSpec& spec) = 0;
  // Runs a modal dialog; returns QDialog::Accepted or QDialog::Rejected.
  virtual int execDialog(QDialog& dialog) = 0;
  // Starts another program, not waiting for it; false when it could not be started.
  virtual bool startProgram(const QString& program, const QStringList& arguments) = 0;
  virtual void beep() = 0;
};

// The real thing: QMessageBox, QFileDialog, QDialog::exec, QProcess::startDetached.
class DesktopPrompts final : public UserPrompts {
 public:
  Answer message(QWidget* parent, Kind kind, const QString& text) override;
  QString openFileName(QWidget* parent, const FileDialogSpec& spec) override;
  QString saveFileName(QWidget* parent, const FileDialogSpec& spec) override;
  int execDialog(QDialog& dialog) override;
  bool startProgram(const QString& program, const QStringList& arguments) override;
  void beep() override;
};

}  // namespace varnook
