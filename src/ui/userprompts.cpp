#include "ui/userprompts.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>

namespace varnook {

UserPrompts::Answer DesktopPrompts::message(QWidget* parent, Kind kind, const QString& text) {
  QMessageBox box(parent);
  box.setText(text);
  switch (kind) {
    case Kind::Warning:
      box.setIcon(QMessageBox::Warning);
      box.setWindowTitle(QStringLiteral("Warning"));
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Kind::Error:
      box.setIcon(QMessageBox::Critical);
      box.setWindowTitle(QStringLiteral("Error"));
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Kind::YesNo:
      box.setIcon(QMessageBox::Question);
      box.setWindowTitle(QStringLiteral("Confirm"));
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
      break;
    case Kind::YesNoCancel:
      box.setIcon(QMessageBox::Question);
      box.setWindowTitle(QStringLiteral("Confirm"));
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case Kind::OkCancel:
      box.setIcon(QMessageBox::Question);
      box.setWindowTitle(QStringLiteral("Confirm"));
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return Answer::Ok;
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    default:
      return kind == Kind::YesNo ? Answer::No : Answer::Cancel;
  }
}

namespace {

void setUpFileDialog(QFileDialog& dialog, const FileDialogSpec& spec) {
  dialog.setWindowTitle(spec.title);
  dialog.setNameFilters(spec.filters);
  if (!spec.filters.isEmpty()) dialog.selectNameFilter(spec.filters.front());
  dialog.setDefaultSuffix(spec.defaultSuffix);
  if (!spec.proposedName.isEmpty()) dialog.selectFile(spec.proposedName);
}

}  // namespace

QString DesktopPrompts::openFileName(QWidget* parent, const FileDialogSpec& spec) {
  QFileDialog dialog(parent);
  setUpFileDialog(dialog, spec);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

QString DesktopPrompts::saveFileName(QWidget* parent, const FileDialogSpec& spec) {
  QFileDialog dialog(parent);
  setUpFileDialog(dialog, spec);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

int DesktopPrompts::execDialog(QDialog& dialog) {
  return dialog.exec();
}

bool DesktopPrompts::startProgram(const QString& program, const QStringList& arguments) {
  return QProcess::startDetached(program, arguments);
}

void DesktopPrompts::beep() {
  QApplication::beep();
}

}  // namespace varnook
