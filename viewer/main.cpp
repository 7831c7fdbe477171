// The viewer: one main window; every command-line argument is a unit file
// or a folder to open when the window is first shown, but for --help and
// --version, which print and exit (ViewerOptions.h). The organisation and
// application names set here place the settings the window keeps
// (ViewerSettings.h).
#include <QApplication>
#include <QIcon>

#include <cstdio>

#include "ViewerOptions.h"
#include "uMain.h"

int main(int argc, char** argv) {
  // Before the application: --help and --version need no display.
  QStringList Args;
  for (int I = 1; I < argc; ++I) Args << QString::fromLocal8Bit(argv[I]);
  const TViewerOptions O =
      ParseViewerOptions(QString::fromLocal8Bit(argv[0]), Args, QStringLiteral(UNITPEEK_VERSION));
  if (O.ExitCode >= 0) {
    std::fputs(O.Output.toLocal8Bit().constData(), stdout);
    return O.ExitCode;
  }

  QApplication App(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationDisplayName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationVersion(QStringLiteral(UNITPEEK_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("unitpeek"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/unitpeek/unitpeek-64.png")));

  // The application took its own options (-platform, ...) out of the arguments.
  TfrmJXUnitPeek frmJXUnitPeek(
      ParseViewerOptions(App.arguments().value(0), App.arguments().mid(1), QStringLiteral(UNITPEEK_VERSION)).Paths);
  frmJXUnitPeek.show();
  return App.exec();
}
