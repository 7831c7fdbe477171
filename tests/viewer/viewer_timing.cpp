// Timing of the viewer, offscreen; not a test.
//   viewer_timing [COUNT [SAMPLE_DIR]]
// Copies the sample units under COUNT distinct names (default 100) into a
// temporary folder, then measures from the application start (after the
// copies are made) to the main window being shown, and to the COUNT
// command-line files standing in their filled tabs. Prints two lines, each a name and milliseconds:
//   window_shown_ms <number>
//   tabs_filled_ms <number>
//
//   viewer_timing --view declarations|bytes|code FILE
// Opens FILE in a window and measures showing one view of its tab, from the
// switch to the view painted, and the peak resident memory before and after:
//   view_shown_ms <number>
//   rss_before_kb <number>
//   peak_rss_kb <number>
//
//   viewer_timing --folder PATH [PATTERN...]
// Opens PATH in a folder tab and measures its scan (the units, the findings,
// the graph and the find index), then each PATTERN on its Find page (the
// query and its rows; then the listing lines read from the units), and the
// peak memory of the process. Prints lines of a name and a number:
//   folder_units <count>
//   folder_scan_ms <number>
//   find_ms <number> <PATTERN> <rows>
//   find_lines_ms <number> <PATTERN>
//   peak_rss_kb <number>
#include <QApplication>
#include <QSettings>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QMap>
#include <string_view>
#include <QLabel>
#include <QTreeWidget>

#include "FolderFind.h"
#include "FolderTab.h"
#include "uMain.h"

#include <sys/resource.h>

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
// The peak resident memory of the process.
long PeakRssKb() {
  struct rusage R {};
  getrusage(RUSAGE_SELF, &R);
  return R.ru_maxrss;
}

// viewer_timing --view NAME FILE
int TimeView(QApplication& App, const QString& Name, const QString& File) {
  static const QMap<QString, TUnitView> Views = {{QStringLiteral("declarations"), TUnitView::Declarations},
                                                 {QStringLiteral("bytes"), TUnitView::Bytes},
                                                 {QStringLiteral("code"), TUnitView::Code}};
  if (!Views.contains(Name)) {
    QTextStream(stderr) << "viewer_timing: no view " << Name << "\n";
    return 2;
  }
  TfrmJXUnitPeek W;
  W.resize(1000, 700);
  W.show();
  App.processEvents();
  W.OpenUnitFile(File);
  auto* Sheet = qobject_cast<TAdvTabSheet*>(W.advPageControl->widget(W.advPageControl->count() - 1));
  if (!Sheet) {
    QTextStream(stderr) << "viewer_timing: no tab for " << File << "\n";
    return 1;
  }
  W.advPageControl->setCurrentWidget(Sheet);
  App.processEvents();
  const long Before = PeakRssKb();
  QElapsedTimer T;
  T.start();
  Sheet->ShowView(Views[Name]);
  Sheet->ViewWidget()->repaint();
  App.processEvents();
  const qint64 Ns = T.nsecsElapsed();
  QTextStream Out(stdout);
  Out.setRealNumberNotation(QTextStream::FixedNotation);
  Out.setRealNumberPrecision(3);
  Out << "view_shown_ms " << Ns / 1e6 << "\n";
  Out << "rss_before_kb " << Before << "\n";
  Out << "peak_rss_kb " << PeakRssKb() << "\n";
  return 0;
}
}  // namespace


int FolderTiming(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  QApplication::setApplicationName(QStringLiteral("UnitPeek"));
  QTemporaryDir Settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Settings.path());
  const QStringList Args = App.arguments().mid(2);
  if (Args.isEmpty()) {
    QTextStream(stderr) << "usage: viewer_timing --folder PATH [PATTERN...]\n";
    return 2;
  }
  TfrmJXUnitPeek W;
  W.show();
  QElapsedTimer Clock;
  Clock.start();
  TFolderTab* Tab = W.OpenFolder(Args[0]);
  while (Tab->Scanning()) App.processEvents(QEventLoop::AllEvents, 50);
  QTextStream Out(stdout);
  Out.setRealNumberNotation(QTextStream::FixedNotation);
  Out.setRealNumberPrecision(3);
  Out << "folder_units " << Tab->Report().Units.size() << "\n";
  Out << "folder_scan_ms " << Clock.nsecsElapsed() / 1e6 << "\n";
  TFolderFindPage* P = Tab->FindPage;
  Tab->StartFind();
  for (const QString& Pattern : Args.mid(1)) {
    Clock.restart();
    P->Find(Pattern);
    Out << "find_ms " << Clock.nsecsElapsed() / 1e6 << " " << Pattern << " " << P->Results->topLevelItemCount() << " ("
        << P->Status->text() << ")\n";
    Clock.restart();
    while (!P->LinesDone()) App.processEvents(QEventLoop::AllEvents, 50);
    Out << "find_lines_ms " << Clock.nsecsElapsed() / 1e6 << " " << Pattern << "\n";
  }
  Out << "peak_rss_kb " << PeakRssKb() << "\n";
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 1 && qstrcmp(argv[1], "--folder") == 0) return FolderTiming(argc, argv);
  QElapsedTimer Clock;
  Clock.start();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc == 4 && std::string_view(argv[1]) == "--view") {
    QApplication App(argc, argv);
    return TimeView(App, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  }
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
