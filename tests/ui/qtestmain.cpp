// The main() of the widget tests: one QApplication for the whole program, on the offscreen
// platform unless the environment names another, and GoogleTest on top. The user's folders
// point into a temporary folder, so no test reads or writes the real configuration.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

namespace {
QtMessageHandler previousHandler = nullptr;
}  // namespace

int main(int argc, char** argv) {
  // The offscreen platform says this for every window shown; it means nothing here.
  previousHandler = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (!text.contains(QLatin1String("does not support propagateSizeHints")))
          previousHandler(type, context, text);
      });
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  if (!home.isValid()) return 2;
  for (const char* folder : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
    qputenv(folder, (home.path() + QLatin1Char('/') + QLatin1String(folder)).toLocal8Bit());
  qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
