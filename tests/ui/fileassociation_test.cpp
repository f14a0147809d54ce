// The user-level file association written at start-up.
#include "ui/fileassociation.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

namespace varnook {
namespace {

QByteArray readAll(const QString& fileName) {
  QFile file(fileName);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(FileAssociation, WrittenWhenMissingOrDifferentAndLeftAloneOtherwise) {
  QTemporaryDir home;
  const QString desktop = home.filePath(QStringLiteral("applications/varnook.desktop"));
  const QString mime = home.filePath(QStringLiteral("mime/packages/varnook.xml"));

  FileAssociation first =
      writeFileAssociation(home.path(), QStringLiteral("/opt/varnook/bin/varnook"));
  EXPECT_TRUE(first.mimeWritten);
  EXPECT_TRUE(first.desktopWritten);
  EXPECT_FALSE(first.failed);
  EXPECT_TRUE(readAll(desktop).contains("Exec=\"/opt/varnook/bin/varnook\" %f\n"));
  EXPECT_TRUE(readAll(desktop).contains("MimeType=application/x-news-collection;\n"));
  EXPECT_TRUE(readAll(mime).contains("<glob pattern=\"*.vnk\"/>"));
  EXPECT_TRUE(readAll(mime).contains("type=\"application/x-news-collection\""));

  // The same program again: nothing is rewritten.
  const QDateTime written = QFileInfo(desktop).lastModified();
  QThread::msleep(20);
  FileAssociation again =
      writeFileAssociation(home.path(), QStringLiteral("/opt/varnook/bin/varnook"));
  EXPECT_FALSE(again.mimeWritten);
  EXPECT_FALSE(again.desktopWritten);
  EXPECT_EQ(QFileInfo(desktop).lastModified(), written);

  // A moved program: only the desktop entry changes. A changed MIME file is put right.
  QFile::remove(mime);
  FileAssociation moved = writeFileAssociation(home.path(), QStringLiteral("/usr/bin/varnook"));
  EXPECT_TRUE(moved.desktopWritten);
  EXPECT_TRUE(moved.mimeWritten);
  EXPECT_TRUE(readAll(desktop).contains("Exec=\"/usr/bin/varnook\" %f\n"));
}

TEST(FileAssociation, ProgramPathsWithSpecialCharactersAreQuotedForTheExecLine) {
  const QString text = desktopEntryText(QStringLiteral("/home/a b/100%/\"x\"/$y/`z`/back\\slash"));
  // Inside quotes ", `, $ and \ take a backslash; then the string value doubles every
  // backslash; "%" is doubled so it is no field code.
  EXPECT_TRUE(text.contains(QStringLiteral(
      "Exec=\"/home/a b/100%%/\\\\\"x\\\\\"/\\\\$y/\\\\`z\\\\`/back\\\\\\\\slash\" %f\n")))
      << text.toStdString();
}

TEST(FileAssociation, UnwritableFolderIsReportedNotThrown) {
  QTemporaryDir home;
  // A file where the folder should be: nothing can be created below it.
  QFile blocker(home.filePath(QStringLiteral("applications")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const FileAssociation result =
      writeFileAssociation(home.path(), QStringLiteral("/usr/bin/varnook"));
  EXPECT_TRUE(result.failed);
  EXPECT_FALSE(result.desktopWritten);
  EXPECT_TRUE(result.mimeWritten);
  EXPECT_TRUE(writeFileAssociation(QString(), QStringLiteral("/usr/bin/varnook")).failed);
}

}  // namespace
}  // namespace varnook
