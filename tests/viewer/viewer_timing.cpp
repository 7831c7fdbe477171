// Start-up timing of the viewer, offscreen; not a test.
//   viewer_timing [COUNT [SAMPLE_DIR]]
// Copies the sample units under COUNT distinct names (default 100) into a
// temporary folder, then measures from the application start (after the
// copies are made) to the main window being shown, and to the COUNT
// command-line files standing in their filled tabs. Prints two lines, each a name and milliseconds:
//   window_shown_ms <number>
//   tabs_filled_ms <number>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>

#include "uMain.h"

namespace {
// Notes the time the window receives its first show event.
class TShowProbe : public QObject {
 public:
  explicit TShowProbe(const QElapsedTimer& Clock) : Clock(Clock) {}
  qint64 ShownNs = -1;

 protected:
  bool eventFilter(QObject*, QEvent* E) override {
    if (E->type() == QEvent::Show && ShownNs < 0) ShownNs = Clock.nsecsElapsed();
    return false;
  }

 private:
  const QElapsedTimer& Clock;
};
}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer Clock;
  Clock.start();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int Count = argc > 1 ? std::atoi(argv[1]) : 100;
  QString SampleDir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(UNITPEEK_SAMPLE_DIR);
  if (Count < 0) Count = 0;

  // The copies are made before the clock starts over.
  QTemporaryDir Dir;
  QStringList Samples = QDir(SampleDir).entryList({QStringLiteral("Demo*.dcu")}, QDir::Files, QDir::Name);
  if (Samples.isEmpty() && Count > 0) {
    QTextStream(stderr) << "viewer_timing: no Demo*.dcu in " << SampleDir << "\n";
    return 2;
  }
  QStringList Files;
  for (int I = 0; I < Count; ++I) {
    QString To = Dir.filePath(QStringLiteral("Unit%1.dcu").arg(I, 3, 10, QLatin1Char('0')));
    if (!QFile::copy(QDir(SampleDir).filePath(Samples[I % Samples.size()]), To)) {
      QTextStream(stderr) << "viewer_timing: cannot write " << To << "\n";
      return 2;
    }
    Files << To;
  }
  Clock.restart();

  QApplication App(argc, argv);
  QApplication::setApplicationName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationDisplayName(QStringLiteral("UnitPeek"));
  // A window of a first run: no settings of the user's read or written.
  QTemporaryDir Settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Settings.path());
  TfrmJXUnitPeek W(Files);
  TShowProbe Probe(Clock);
  W.installEventFilter(&Probe);
  // Showing the window opens the command-line files.
  W.show();
  App.processEvents();
  qint64 FilledNs = Clock.nsecsElapsed();
  if (W.advPageControl->count() != Count + 1) {
    QTextStream(stderr) << "viewer_timing: " << W.advPageControl->count() - 1 << " tabs, expected "
                        << Count << "\n";
    return 1;
  }
  QTextStream Out(stdout);
  Out.setRealNumberNotation(QTextStream::FixedNotation);
  Out.setRealNumberPrecision(3);
  Out << "window_shown_ms " << Probe.ShownNs / 1e6 << "\n";
  Out << "tabs_filled_ms " << FilledNs / 1e6 << "\n";
  return 0;
}
