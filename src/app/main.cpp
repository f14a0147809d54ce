// varnook: the desktop news search agent.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "collection/commandline.h"
#include "ui/desktopsession.h"
#include "ui/fileassociation.h"
#include "ui/mainwindow.h"
#include "varnook/version.h"

int main(int argc, char** argv) {
  // Answered before any window: these work without a display.
  switch (varnook::parseCommandLine({argv + 1, argv + argc}).kind) {
    case varnook::CommandLine::Kind::Help:
      std::fputs(varnook::commandLineUsage().c_str(), stdout);
      return 0;
    case varnook::CommandLine::Kind::Version:
      std::printf("varnook %s\n", varnook::kVersion);
      return 0;
    default:
      break;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("varnook"));
  QApplication::setApplicationVersion(QString::fromLatin1(varnook::kVersion));
  QApplication::setDesktopFileName(QStringLiteral("varnook"));

  // The program file as this process was started from, for the file association and for
  // a second copy started by a refined search.
  const QString programFile = QApplication::applicationFilePath();
  varnook::registerFileAssociation(programFile);

  // The arguments exactly as given (bytes, no conversion); QApplication has taken its own
  // options out of argv.
  std::vector<std::string> arguments(argv + 1, argv + argc);

  varnook::DesktopSession session(std::move(arguments), programFile);
  session.window().show();
  return app.exec();
}
