// Saves a picture of the main window with the given unit files open:
//   viewer_screenshot OUT.png FILE...
// Not a test; scripts/screenshot.sh runs it under Xvfb or offscreen.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTextStream>

#include "uMain.h"

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  QApplication::setApplicationName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationDisplayName(QStringLiteral("UnitPeek"));
  QStringList Args = App.arguments().mid(1);
  if (Args.isEmpty()) {
    QTextStream(stderr) << "usage: viewer_screenshot OUT.png [FILE.dcu ...]\n";
    return 2;
  }
  const QString Out = Args.takeFirst();
  TfrmJXUnitPeek W(Args);
  W.show();
  // Let layout and painting settle.
  QElapsedTimer T;
  T.start();
  while (T.elapsed() < 300) App.processEvents(QEventLoop::AllEvents, 50);
  if (!W.grab().save(Out)) {
    QTextStream(stderr) << "cannot write " << Out << "\n";
    return 1;
  }
  return 0;
}
