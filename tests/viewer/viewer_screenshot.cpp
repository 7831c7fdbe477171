// Saves a picture of the main window with the given unit files open:
//   viewer_screenshot OUT.png [options] FILE...
// Options:
//   --as PATH        the path shown for the next FILE (in the header and the
//                    title), so that a picture shows a path a user would have
//                    rather than where the file lies on the drawing machine
//   --view NAME      summary, declarations, bytes or code: the view of the last tab
//   --select NAME    in the Declarations view, choose the outline entry NAME
//                    (its tag byte is then marked in the Bytes view)
//   --routine NAME   in the Code view, show the routine NAME (its qualified
//                    name, letter case ignored)
//   --line TEXT      in the Code view, put the caret on the first line that
//                    holds TEXT (its item's bytes are then marked in the
//                    Bytes view)
//   --filter TEXT    type TEXT into the Declarations filter
//   --size WxH       window size (default 409x450)
//   --find PATTERN   the last FILE is a folder: once its tab has read it,
//                    find PATTERN on its Find page
//   --graph LIMIT    the last FILE is a folder: its Graph page, the whole
//                    graph only up to LIMIT units (else one unit's neighbourhood)
//   --centre NAME    with --graph: the unit whose neighbourhood is shown
// Not a test; scripts/screenshot.sh runs it under Xvfb or offscreen.
#include <QAbstractItemModel>
#include <QLabel>
#include <QComboBox>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextStream>
#include <QTreeView>

#include "CodeListing.h"
#include "CodeView.h"
#include "DeclView.h"
#include "ListingView.h"
#include "FolderFind.h"
#include "GraphView.h"
#include "FolderTab.h"
#include "Jx_PanelGradient.h"
#include "uMain.h"

namespace {
void Settle(int Ms) {
  QElapsedTimer T;
  T.start();
  while (T.elapsed() < Ms) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The first entry of the tree whose text is Name, depth first.
QModelIndex FindEntry(const QAbstractItemModel* M, const QModelIndex& Parent, const QString& Name) {
  for (int I = 0; I < M->rowCount(Parent); ++I) {
    const QModelIndex Ix = M->index(I, 0, Parent);
    if (Ix.data().toString() == Name) return Ix;
    const QModelIndex Found = FindEntry(M, Ix, Name);
    if (Found.isValid()) return Found;
  }
  return {};
}

// The Graph page of a folder tab, laid out (the neighbourhood of Centre past
// Limit units).
void ShowGraphPage(TFolderTab& Folder, int Limit, const QString& Centre) {
  Folder.WholeGraphLimit = size_t(Limit);
  Folder.Pages->setCurrentWidget(Folder.GraphView->parentWidget());
  QApplication::processEvents();
  if (!Centre.isEmpty() && Folder.GraphCentre->isVisible()) {
    Folder.GraphCentre->setCurrentIndex(Folder.GraphCentre->findText(Centre, Qt::MatchFixedString));
    emit Folder.GraphCentre->activated(Folder.GraphCentre->currentIndex());
  }
  do QApplication::processEvents(QEventLoop::AllEvents, 50);
  while (Folder.GraphView->Laying());
}

int Usage() {
  QTextStream(stderr) << "usage: viewer_screenshot OUT.png [--as PATH] [--view summary|declarations|bytes|code]\n"
                         "       [--select NAME] [--filter TEXT] [--routine NAME] [--line TEXT] [--size WxH]\n"
                         "       [--find PATTERN] [--graph LIMIT [--centre NAME]] FILE.dcu|FOLDER ...\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  QApplication::setApplicationName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationDisplayName(QStringLiteral("UnitPeek"));
  QStringList Args = App.arguments().mid(1);
  if (Args.isEmpty()) return Usage();
  const QString Out = Args.takeFirst();

  QStringList Files, Shown;
  QString View, Select, Filter, Routine, Line, Find, Centre;
  int GraphLimit = -1;
  QSize Size(409, 450);
  QString NextAs;
  for (int I = 0; I < Args.size(); ++I) {
    const QString& A = Args[I];
    auto Value = [&]() -> QString { return I + 1 < Args.size() ? Args[++I] : QString(); };
    if (A == QLatin1String("--as")) NextAs = Value();
    else if (A == QLatin1String("--view")) View = Value();
    else if (A == QLatin1String("--select")) Select = Value();
    else if (A == QLatin1String("--filter")) Filter = Value();
    else if (A == QLatin1String("--routine")) Routine = Value();
    else if (A == QLatin1String("--line")) Line = Value();
    else if (A == QLatin1String("--find")) Find = Value();
    else if (A == QLatin1String("--graph")) GraphLimit = Value().toInt();
    else if (A == QLatin1String("--centre")) Centre = Value();
    else if (A == QLatin1String("--size")) {
      const QStringList WH = Value().split(QLatin1Char('x'));
      if (WH.size() != 2) return Usage();
      Size = QSize(WH[0].toInt(), WH[1].toInt());
    } else if (A.startsWith(QLatin1String("--"))) {
      return Usage();
    } else {
      Files << A;
      Shown << (NextAs.isEmpty() ? A : NextAs);
      NextAs.clear();
    }
  }

  // A window of a first run: no settings of the user's read or written.
  QTemporaryDir Settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Settings.path());
  TfrmJXUnitPeek W(Files);
  W.resize(Size);
  W.show();
  Settle(200);
  // The paths a user would see.
  for (int I = 0; I < Files.size() && I + 1 < W.advPageControl->count(); ++I) {
    auto* Sheet = qobject_cast<TAdvTabSheet*>(W.advPageControl->widget(I + 1));
    if (Sheet && Shown[I] != Files[I]) {
      Sheet->Header->SetCaption(Shown[I]);
      W.advPageControl->setTabText(I + 1, QFileInfo(Shown[I]).fileName());
    }
  }
  // The last file in front, also when it did not load.
  W.advPageControl->setCurrentIndex(W.advPageControl->count() - 1);
  auto* Sheet = qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget());
  if (Sheet && (!Select.isEmpty() || !Filter.isEmpty() || View == QLatin1String("declarations"))) {
    Sheet->ShowView(TUnitView::Declarations);
    Settle(100);
    TDeclView* D = Sheet->DeclView();
    if (!Filter.isEmpty()) D->SetFilter(Filter);
    if (!Select.isEmpty()) {
      const QModelIndex Ix = FindEntry(D->Outline->model(), {}, Select);
      if (!Ix.isValid()) {
        QTextStream(stderr) << "no outline entry " << Select << "\n";
        return 1;
      }
      D->Outline->setCurrentIndex(Ix);
      D->Outline->scrollTo(Ix);
      emit D->Outline->activated(Ix);
    }
  }
  if (Sheet && (!Routine.isEmpty() || !Line.isEmpty() || View == QLatin1String("code"))) {
    Sheet->ShowView(TUnitView::Code);
    Settle(100);
    TCodeView* C = Sheet->CodeView();
    if (!Routine.isEmpty()) {
      size_t I = 0;
      while (I < C->RoutineCount() && !RoutineNameMatches(C->Head(I), Routine.toStdString())) ++I;
      if (I == C->RoutineCount()) {
        QTextStream(stderr) << "no routine " << Routine << "\n";
        return 1;
      }
      C->ShowRoutine(I, false);
    }
    if (!Line.isEmpty()) {
      const qsizetype At = C->Listing->PlainText().indexOf(Line);
      if (At < 0) {
        QTextStream(stderr) << "no line holding " << Line << "\n";
        return 1;
      }
      C->Listing->SetCursorPosition(At);
      C->Listing->SetTopLine(std::max<qsizetype>(0, C->Listing->CurrentLine() - 6));
    }
    C->Listing->setFocus();
  }
  if (Sheet) {
    if (View == QLatin1String("summary")) Sheet->ShowView(TUnitView::Summary);
    else if (View == QLatin1String("bytes")) Sheet->ShowView(TUnitView::Bytes);
  }
  if (auto* Folder = qobject_cast<TFolderTab*>(W.advPageControl->currentWidget())) {
    while (Folder->Scanning()) QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (Shown.last() != Files.last()) {
      Folder->Header->SetCaption(Shown.last());
      W.advPageControl->setTabText(W.advPageControl->currentIndex(), QFileInfo(Shown.last()).fileName() + '/');
      W.setWindowTitle(QFileInfo(Shown.last()).fileName() + QStringLiteral("/ \u2014 ") +
                       QApplication::applicationDisplayName());
    }
    if (!Find.isEmpty()) {
      Folder->StartFind();
      Folder->FindPage->Find(Find);
      while (!Folder->FindPage->LinesDone()) QApplication::processEvents(QEventLoop::AllEvents, 50);
      // The status line gives how long the find took; a picture shows none.
      Folder->FindPage->Status->setText(
          Folder->FindPage->Status->text().remove(QRegularExpression(QStringLiteral(" in \\d+ ms$"))));
    }
    if (GraphLimit >= 0) ShowGraphPage(*Folder, GraphLimit, Centre);
  }
  if (Sheet && Shown.last() != Files.last())
    W.setWindowTitle(QFileInfo(Shown.last()).fileName() + QStringLiteral(" \u2014 ") +
                     QApplication::applicationDisplayName());
  Settle(300);
  if (!W.grab().save(Out)) {
    QTextStream(stderr) << "cannot write " << Out << "\n";
    return 1;
  }
  return 0;
}
