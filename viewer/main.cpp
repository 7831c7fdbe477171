// The viewer: one main window; every command-line argument is a unit file
// or a folder to open when the window is first shown. The organisation and
// application names set here place the settings the window keeps
// (ViewerSettings.h).
#include <QApplication>
#include <QIcon>

#include "uMain.h"

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationDisplayName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationVersion(QStringLiteral(UNITPEEK_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("unitpeek"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/unitpeek/unitpeek-64.png")));

  TfrmJXUnitPeek frmJXUnitPeek(App.arguments().mid(1));
  frmJXUnitPeek.show();
  return App.exec();
}
