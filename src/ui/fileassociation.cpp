#include "ui/fileassociation.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace varnook {
namespace {

// One argument of an Exec line: quoted, with the characters that are special inside
// quotes escaped, then escaped again for the desktop entry's string syntax; "%" doubled
// so no field code is read into the path.
QString execArgument(const QString& argument) {
  QString quoted;
  for (const QChar c : argument) {
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
        c == QLatin1Char('\\'))
      quoted += QLatin1Char('\\');
    quoted += c;
  }
  quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
  quoted.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
  quoted.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A path as a desktop entry's string value (TryExec): backslashes and line breaks escaped.
QString stringValue(const QString& value) {
  QString escaped = value;
  escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  escaped.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
  escaped.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
  return escaped;
}

// Writes `text` to `fileName` unless it holds exactly that already. Returns whether it
// wrote; `failed` is set when it had to and could not.
bool writeIfDifferent(const QString& fileName, const QByteArray& text, bool& failed) {
  QFile existing(fileName);
  if (existing.open(QIODevice::ReadOnly) && existing.size() == text.size() &&
      existing.readAll() == text)
    return false;
  existing.close();
  if (!QDir().mkpath(QFileInfo(fileName).absolutePath())) {
    failed = true;
    return false;
  }
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    failed = true;
    return false;
  }
  return true;
}

}  // namespace

QString mimePackageText() {
  return QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      "  <mime-type type=\"application/x-news-collection\">\n"
      "    <comment>Varnook news collection</comment>\n"
      "    <icon name=\"application-x-news-collection\"/>\n"
      "    <glob pattern=\"*.vnk\"/>\n"
      "  </mime-type>\n"
      "</mime-info>\n");
}

QString desktopEntryText(const QString& programFile) {
  return QStringLiteral(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=Varnook\n"
             "GenericName=News search agent\n"
             "Comment=Search Usenet archives and keep the articles in news collections\n"
             "Exec=%1 %f\n"
             "TryExec=%2\n"
             "Icon=varnook\n"
             "Terminal=false\n"
             "Categories=Network;News;\n"
             "MimeType=application/x-news-collection;\n"
             "Keywords=Usenet;news;newsgroups;archive;search;\n")
      .arg(execArgument(programFile), stringValue(programFile));
}

FileAssociation writeFileAssociation(const QString& dataHome, const QString& programFile) {
  FileAssociation result;
  if (dataHome.isEmpty() || programFile.isEmpty()) {
    result.failed = true;
    return result;
  }
  result.mimeWritten = writeIfDifferent(dataHome + QStringLiteral("/mime/packages/varnook.xml"),
                                        mimePackageText().toUtf8(), result.failed);
  result.desktopWritten =
      writeIfDifferent(dataHome + QStringLiteral("/applications/varnook.desktop"),
                       desktopEntryText(programFile).toUtf8(), result.failed);
  return result;
}

void registerFileAssociation(const QString& programFile) {
  const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  const FileAssociation written = writeFileAssociation(dataHome, programFile);
  // The caches are the desktop's business; a missing tool only delays the association.
  const auto refresh = [](const char* tool, const QString& folder) {
    const QString program = QStandardPaths::findExecutable(QString::fromLatin1(tool));
    if (!program.isEmpty()) QProcess::startDetached(program, {folder});
  };
  if (written.mimeWritten) refresh("update-mime-database", dataHome + QStringLiteral("/mime"));
  if (written.desktopWritten)
    refresh("update-desktop-database", dataHome + QStringLiteral("/applications"));
}

}  // namespace varnook
