// The user-level file association written at start-up.
#include "ui/fileassociation.h"

#include <gtest/gtest.h>

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

// What was written, as "mime desktop" of the written ones, or "failed".
std::string written(const FileAssociation& result) {
  return result.failed ? "failed"
                       : std::string(result.mimeWritten ? "mime " : "") +
                             (result.desktopWritten ? "desktop" : "");
}

TEST(FileAssociation, WrittenWhenMissingOrDifferentAndLeftAloneOtherwise) {
  QTemporaryDir home;
  const QString desktop = home.filePath("applications/varnook.desktop");
  const QString mime = home.filePath("mime/packages/varnook.xml");
  EXPECT_EQ(written(writeFileAssociation(home.path(), "/opt/varnook/bin/varnook")), "mime desktop");
  EXPECT_TRUE(readAll(desktop).contains("Exec=\"/opt/varnook/bin/varnook\" %f\n"));
  EXPECT_TRUE(readAll(desktop).contains("MimeType=application/x-news-collection;\n"));
  EXPECT_TRUE(readAll(mime).contains("<glob pattern=\"*.vnk\"/>"));
  EXPECT_TRUE(readAll(mime).contains("type=\"application/x-news-collection\""));

  // The same program again: nothing is rewritten.
  const QDateTime before = QFileInfo(desktop).lastModified();
  QThread::msleep(20);
  EXPECT_EQ(written(writeFileAssociation(home.path(), "/opt/varnook/bin/varnook")), "");
  EXPECT_EQ(QFileInfo(desktop).lastModified(), before);
  // A moved program: the desktop entry changes. A missing MIME file is put back.
  QFile::remove(mime);
  EXPECT_EQ(written(writeFileAssociation(home.path(), "/usr/bin/varnook")), "mime desktop");
  EXPECT_TRUE(readAll(desktop).contains("Exec=\"/usr/bin/varnook\" %f\n"));

  // Inside quotes ", `, $ and \ take a backslash; then the string value doubles every
  // backslash; "%" is doubled so it is no field code.
  EXPECT_TRUE(desktopEntryText("/home/a b/100%/\"x\"/$y/`z`/back\\slash")
                  .contains("Exec=\"/home/a b/100%%/\\\\\"x\\\\\"/\\\\$y/\\\\`z\\\\`/"
                            "back\\\\\\\\slash\" %f\n"));
}

TEST(FileAssociation, UnwritableFolderIsReportedNotThrown) {
  QTemporaryDir home;
  // A file where the folder should be: nothing can be created below it.
  QFile blocker(home.filePath("applications"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const FileAssociation result = writeFileAssociation(home.path(), "/usr/bin/varnook");
  EXPECT_TRUE(result.failed && result.mimeWritten);
  EXPECT_FALSE(result.desktopWritten);
  EXPECT_TRUE(writeFileAssociation(QString(), "/usr/bin/varnook").failed);
}

}  // namespace
}  // namespace varnook
