// The main window: opening files from the dialog, the command line and
// drops, tab reuse and closing, failed files, and the welcome tab.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QPointer>
#include <QRandomGenerator>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>

#include "JX_FormAbout.h"
#include "JX_hotButton.h"
#include "Jx_PanelDropFile.h"
#include "Jx_PanelGradient.h"
#include "SampleUnits.h"
#include "UnitBuilder.h"
#include "ViewerTestUtil.h"
#include "ViewerOptions.h"
#include "uMain.h"

using namespace viewertest;

namespace {
// The window with the file dialog replaced by a fixed selection.
class TTestWindow : public TfrmJXUnitPeek {
 public:
  using TfrmJXUnitPeek::TfrmJXUnitPeek;
  QStringList DialogSelection;
  int DialogRuns = 0;
  // What the question before quitting answers, and the tabs it was asked with.
  bool QuitAnswer = false;
  QList<int> QuitAsked;

 protected:
  QStringList RunOpenDialog() override {
    ++DialogRuns;
    return DialogSelection;
  }
  bool ConfirmQuit(int OpenTabs) override {
    QuitAsked << OpenTabs;
    return QuitAnswer;
  }
};

TAdvTabSheet* Sheet(const TfrmJXUnitPeek& W, int Index) {
  return qobject_cast<TAdvTabSheet*>(W.advPageControl->widget(Index));
}
TAdvTabSheet* CurrentSheet(const TfrmJXUnitPeek& W) {
  return qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget());
}
QStringList Captions(const TfrmJXUnitPeek& W) {
  QStringList C;
  for (int I = 0; I < W.advPageControl->count(); ++I) C << W.advPageControl->tabText(I);
  return C;
}
QAbstractButton* CloseButton(const TfrmJXUnitPeek& W, int Index) {
  for (auto Side : {QTabBar::RightSide, QTabBar::LeftSide})
    if (auto* B = qobject_cast<QAbstractButton*>(W.advPageControl->tabBar()->tabButton(Index, Side)))
      return B;
  return nullptr;
}
bool IsErrorTab(const TAdvTabSheet* S) {
  QStringList T = ViewTexts(S->TextView);
  return T.size() == 3 && T[0].isEmpty() && T[1] == "Error:" && !T[2].isEmpty();
}
}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT
  QTemporaryDir Dir;

 private slots:
  void windowAtStart() {
    TfrmJXUnitPeek W;
    QCOMPARE(W.objectName(), QStringLiteral("frmJXUnitPeek"));
    // A first run: a size with room for the views, within the screen.
    const QRect Screen = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(W.size(), TfrmJXUnitPeek::FirstRunSize(Screen.size()));
    QVERIFY(W.width() <= Screen.width() && W.height() <= Screen.height());
    QCOMPARE(TfrmJXUnitPeek::FirstRunSize({1600, 1000}), QSize(1000, 720));
    QCOMPARE(TfrmJXUnitPeek::FirstRunSize({800, 600}), QSize(720, 540));
    QCOMPARE(TfrmJXUnitPeek::FirstRunSize({400, 300}), QSize(400, 300));
    QCOMPARE(W.windowTitle(), QStringLiteral("UnitPeek"));
    QCOMPARE(W.jxhOpen->toolTip(), QStringLiteral("Open"));
    QCOMPARE(W.jxhAbout->toolTip(), QStringLiteral("About"));
    QCOMPARE(W.jxhClose->toolTip(), QStringLiteral("Close"));
    QVERIFY(!W.jxhOpen->icon().isNull() && !W.jxhAbout->icon().isNull() && !W.jxhClose->icon().isNull());
    QCOMPARE(W.advPageControl->count(), 1);
    QCOMPARE(W.advPageControl->tabText(0), QStringLiteral("Program Info"));
    QVERIFY(W.advPageControl->font().bold());
    QCOMPARE(W.CommentColor, QColor(0, 128, 0));
    QVERIFY(W.FileIndex().empty());
    QCOMPARE(W.ActiveView(), static_cast<QTextEdit*>(W.reInfo));
    QVERIFY(W.reInfo->isReadOnly());
    QVERIFY(W.reInfo->toPlainText().contains("To open one or more dcu files, just press the"));
    QVERIFY(W.reInfo->document()->toRawText().contains(QChar::ObjectReplacementCharacter));
    QCOMPARE(W.openDialog->fileMode(), QFileDialog::ExistingFiles);
    QCOMPARE(W.openDialog->nameFilters(), QStringList({"Delphi Compiled Unit (*.dcu)"}));
    QCOMPARE(W.openDialog->defaultSuffix(), QStringLiteral("dcu"));
    QVERIFY(!W.jxnBack->Accept());
  }

  void sameFileInAnyLetterCaseActivatesItsTab() {
    QString Path = CopySample(Dir, "Same.dcu");
    TfrmJXUnitPeek W;
    W.OpenUnitFile(Path);
    QCOMPARE(W.advPageControl->count(), 2);
    W.advPageControl->setCurrentIndex(0);
    W.OpenUnitFile(Path.toUpper());
    QCOMPARE(W.advPageControl->count(), 2);
    QCOMPARE(W.advPageControl->currentIndex(), 1);
    QCOMPARE(W.FileIndex().size(), size_t(1));
    QCOMPARE(W.FileIndex().begin()->first, Path.toLower());
    // Another form of the same path is another key.
    W.OpenUnitFile(Dir.path() + "/./Same.dcu");
    QCOMPARE(W.advPageControl->count(), 3);
  }

  void threeFilesFromOneOpenCall() {
    QStringList Files = {CopySample(Dir, "One.dcu", 7), CopySample(Dir, "Two.dcu", 3),
                         CopySample(Dir, "Three.dcu", 101)};
    TTestWindow W;
    std::vector<int> Activated;
    connect(W.advPageControl, &QTabWidget::currentChanged, [&](int I) { Activated.push_back(I); });
    W.DialogSelection = Files;
    W.jxhOpen->click();
    QCOMPARE(W.DialogRuns, 1);
    QCOMPARE(Captions(W), QStringList({"Program Info", "One.dcu", "Two.dcu", "Three.dcu"}));
    QCOMPARE(Activated, std::vector<int>({1, 2, 3}));
    QCOMPARE(W.advPageControl->currentIndex(), 3);
    for (int I = 1; I <= 3; ++I) {
      TAdvTabSheet* S = Sheet(W, I);
      QCOMPARE(S->Header->Caption(), Files[I - 1]);
      QVERIFY(ViewTexts(S->TextView).contains("end;"));
    }
    QCOMPARE(W.ActiveView(), Sheet(W, 3)->TextView);
    // A cancelled dialog opens nothing.
    W.DialogSelection.clear();
    W.jxhOpen->click();
    QCOMPARE(W.advPageControl->count(), 4);
  }

  // A file that fails gets a tab with the error, in front like any new tab.
  void failingFileGetsATabInFront() {
    QString Good = CopySample(Dir, "Good.dcu");
    std::vector<uint8_t> Bytes = unitbuilder::MinimalUnit(7);
    Bytes.resize(20);
    QString Bad = WriteFile(Dir, "Bad.dcu", Bytes);
    TfrmJXUnitPeek W;
    W.show();
    W.OpenUnitFile(Good);
    QCOMPARE(W.advPageControl->currentIndex(), 1);
    W.OpenUnitFile(Bad);
    QCOMPARE(W.advPageControl->count(), 3);
    QCOMPARE(W.advPageControl->currentIndex(), 2);
    TAdvTabSheet* S = Sheet(W, 2);
    QCOMPARE(W.advPageControl->tabText(2), QStringLiteral("Bad.dcu"));
    QVERIFY2(IsErrorTab(S), qPrintable(ViewTexts(S->TextView).join('|')));
    std::vector<TViewLine> L = ViewLines(S->TextView);
    const QColor Red(255, 0, 0);
    QVERIFY(L[1].Bold[0] && L[1].Color[0] == Red);
    QVERIFY(!L[2].Bold[0] && L[2].Color[0] == Red);
    QVERIFY(W.jxnBack->Accept());
    // Opening it again brings its tab to the front and does not retry.
    W.advPageControl->setCurrentIndex(1);
    W.OpenUnitFile(Bad);
    QCOMPARE(W.advPageControl->count(), 3);
    QCOMPARE(W.advPageControl->currentIndex(), 2);
    // A folder is no unit file either (OpenPath gives it a folder tab).
    W.OpenUnitFile(Dir.path());
    QVERIFY(IsErrorTab(Sheet(W, 3)));
    QCOMPARE(W.advPageControl->currentIndex(), 3);
    // Nor is a FIFO, which is refused before anything would block on it.
    const QString Fifo = Dir.filePath(QStringLiteral("pipe.dcu"));
    QCOMPARE(mkfifo(QFile::encodeName(Fifo).constData(), 0600), 0);
    W.OpenUnitFile(Fifo);
    QVERIFY(IsErrorTab(Sheet(W, 4)));
    QVERIFY(ViewTexts(Sheet(W, 4)->TextView).join('|').contains(QStringLiteral("not a regular file")));
  }

  // Beside the message of a file that did not load, under the path, the
  // cause in a plain sentence where it is clear; the summary's error block
  // stays as it is; a tab that loaded has none.
  void failingFileTellsItsCauseUnderThePath() {
    QTemporaryDir Own;
    std::vector<uint8_t> Bytes = unitbuilder::MinimalUnit(7);
    const size_t Whole = Bytes.size();
    Bytes.resize(Whole / 2);
    const QString Cut = WriteFile(Own, "Cut.dcu", Bytes);
    const QString Text = WriteFile(Own, "Text.dcu", {'u', 'n', 'i', 't', ' ', 'A', ';', '\n'});
    TfrmJXUnitPeek W;
    W.show();
    W.OpenUnitFile(Cut);
    TAdvTabSheet* S = Sheet(W, 1);
    QVERIFY(S->HintLabel);
    QCOMPARE(S->HintLabel->text(), QStringLiteral("The file is %1 bytes; its header says %2: it was cut short.")
                                       .arg(Whole / 2)
                                       .arg(Whole));
    QVERIFY(IsErrorTab(S));
    QCOMPARE(ViewTexts(S->TextView).size(), 3);  // the empty line, "Error:", the message
    W.OpenUnitFile(Text);
    QCOMPARE(Sheet(W, 2)->HintLabel->text(), QStringLiteral("This is a text file, not a compiled unit."));
    W.OpenUnitFile(CopySample(Own, "Good.dcu"));
    QVERIFY(!Sheet(W, 3)->HintLabel);
  }

  void closingAndReopeningGivesAFreshTab() {
    QString A = CopySample(Dir, "CloseA.dcu"), B = CopySample(Dir, "CloseB.dcu");
    QString C = CopySample(Dir, "CloseC.dcu");
    TfrmJXUnitPeek W;
    W.jxnBackDropFiles({A, B, C});
    QPointer<QWidget> OldB = Sheet(W, 2);
    QStringList Summary = ViewTexts(Sheet(W, 2)->TextView);
    // Closing the active middle tab activates the next one.
    W.advPageControl->setCurrentIndex(2);
    QAbstractButton* Close = CloseButton(W, 2);
    QVERIFY(Close);
    Close->click();
    QCOMPARE(Captions(W), QStringList({"Program Info", "CloseA.dcu", "CloseC.dcu"}));
    QCOMPARE(W.advPageControl->currentIndex(), 2);
    QCOMPARE(W.FileIndex().size(), size_t(2));
    QVERIFY(W.FileIndex().find(B.toLower()) == W.FileIndex().end());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(OldB.isNull());
    // Closing the last tab while active wraps around to the first page.
    CloseButton(W, 2)->click();
    QCOMPARE(W.advPageControl->currentIndex(), 0);
    // Reopened: a new tab at the end with the summary written afresh.
    W.OpenUnitFile(B);
    QCOMPARE(Captions(W), QStringList({"Program Info", "CloseA.dcu", "CloseB.dcu"}));
    QCOMPARE(W.advPageControl->currentIndex(), 2);
    QCOMPARE(ViewTexts(Sheet(W, 2)->TextView), Summary);
  }

  void welcomeTabCannotBeClosed() {
    TfrmJXUnitPeek W;
    W.OpenUnitFile(CopySample(Dir, "Welcome.dcu"));
    QVERIFY(CloseButton(W, 0) == nullptr);
    QVERIFY(CloseButton(W, 1) != nullptr);
    W.advPageControl->setCurrentIndex(0);
    emit W.advPageControl->tabCloseRequested(0);
    W.advTabSheetInfoClose(W.advTabSheetInfo);
    QCOMPARE(W.advPageControl->count(), 2);
    QCOMPARE(W.advPageControl->widget(0), W.advTabSheetInfo);
    QCOMPARE(W.ActiveView(), static_cast<QTextEdit*>(W.reInfo));
    QCOMPARE(W.FileIndex().size(), size_t(1));
  }

  void commandLineIsOpenedWhenShownThenDropsAreAccepted() {
    QStringList Files = {CopySample(Dir, "Arg1.dcu"), CopySample(Dir, "Arg2.dcu", 5)};
    TfrmJXUnitPeek W(Files);
    QCOMPARE(W.advPageControl->count(), 1);
    QVERIFY(!W.jxnBack->Accept());
    QVERIFY(!DragEnters(W.jxnBack, FileUrls(Files)));
    bool AcceptWhileOpening = true;
    W.OnTabBuilding = [&] { AcceptWhileOpening = AcceptWhileOpening && W.jxnBack->Accept(); };
    W.show();
    QCOMPARE(Captions(W), QStringList({"Program Info", "Arg1.dcu", "Arg2.dcu"}));
    QCOMPARE(W.advPageControl->currentIndex(), 2);
    QVERIFY(!AcceptWhileOpening);
    QVERIFY(W.jxnBack->Accept());
    QVERIFY(DragEnters(W.jxnBack, FileUrls(Files)));
    // Shown again: nothing is opened twice.
    W.hide();
    W.show();
    QCOMPARE(W.advPageControl->count(), 3);

    TfrmJXUnitPeek Empty;
    Empty.show();
    QCOMPARE(Empty.advPageControl->count(), 1);
    QVERIFY(Empty.jxnBack->Accept());
  }

  void dropsAreRefusedWhileATabIsBuilt() {
    QString A = CopySample(Dir, "Busy.dcu"), B = CopySample(Dir, "Other.dcu");
    TfrmJXUnitPeek W;
    W.show();
    bool Probed = false, Accepted = true, Entered = true, Dropped = true;
    W.OnTabBuilding = [&] {
      Probed = true;
      Accepted = W.jxnBack->Accept();
      Entered = DragEnters(W.jxnBack, FileUrls({B}));
      Dropped = Drops(W.jxnBack, FileUrls({B}));
    };
    W.OpenUnitFile(A);
    QVERIFY(Probed);
    QVERIFY(!Accepted && !Entered && !Dropped);
    QCOMPARE(Captions(W), QStringList({"Program Info", "Busy.dcu"}));
    QVERIFY(W.jxnBack->Accept());
  }

  void dropOfSeveralFilesOpensThemInOrder() {
    QStringList Files = {CopySample(Dir, "Drop3.dcu"), CopySample(Dir, "Drop1.dcu", 2),
                         CopySample(Dir, "Drop2.dcu", 103)};
    TfrmJXUnitPeek W;
    W.show();
    QVERIFY(DragEnters(W.jxnBack, FileUrls(Files)));
    QVERIFY(Drops(W.jxnBack, FileUrls(Files)));
    QCOMPARE(Captions(W), QStringList({"Program Info", "Drop3.dcu", "Drop1.dcu", "Drop2.dcu"}));
    QCOMPARE(W.advPageControl->currentIndex(), 3);
    // A drop that holds anything else than local files is refused whole.
    QList<QUrl> Mixed = FileUrls({CopySample(Dir, "Drop4.dcu")});
    Mixed << QUrl("https://example.org/Drop5.dcu");
    QVERIFY(!Drops(W.jxnBack, Mixed));
    QCOMPARE(W.advPageControl->count(), 4);
  }

  void twoHundredDamagedFilesLeaveTheWindowWorking() {
    QTemporaryDir Damaged;
    QStringList Files;
    QRandomGenerator Rng(20261209);
    const std::vector<int>& Versions = unitbuilder::AllVersions();
    for (int I = 0; I < 200; ++I) {
      int V = Versions[I % Versions.size()];
      std::vector<uint8_t> Bytes = (I % 2) ? unitbuilder::DemoUnit(V) : unitbuilder::MinimalUnit(V);
      switch (I % 4) {
        case 0:
        case 1:  // cut short anywhere
          Bytes.resize(Rng.bounded(static_cast<quint32>(Bytes.size())));
          break;
        case 2:  // garbage after a valid start
          for (size_t K = 8 + Rng.bounded(8); K < Bytes.size(); ++K)
            Bytes[K] = static_cast<uint8_t>(Rng.bounded(256));
          Bytes.resize(Bytes.size() + Rng.bounded(64));
          break;
        default:  // garbage throughout
          Bytes.assign(Rng.bounded(1, 400), 0);
          for (uint8_t& B : Bytes) B = static_cast<uint8_t>(Rng.bounded(256));
          break;
      }
      Files << WriteFile(Damaged, QStringLiteral("Damaged%1.dcu").arg(I), Bytes);
    }
    TfrmJXUnitPeek W;
    W.show();
    QVERIFY(Drops(W.jxnBack, FileUrls(Files)));
    QCOMPARE(W.advPageControl->count(), 201);
    QCOMPARE(W.FileIndex().size(), size_t(200));
    QCOMPARE(W.advPageControl->currentIndex(), 200);
    for (int I = 1; I <= 200; ++I)
      QVERIFY2(IsErrorTab(Sheet(W, I)), qPrintable(W.advPageControl->tabText(I)));
    QVERIFY(W.jxnBack->Accept());
    // Still working: a good file opens in front with its summary.
    W.OpenUnitFile(CopySample(Dir, "AfterDamage.dcu"));
    QCOMPARE(W.advPageControl->currentIndex(), 201);
    QVERIFY(ViewTexts(CurrentSheet(W)->TextView).contains("end;"));
  }

  void headerShowsThePathWithTheFileNameKept() {
    QString Path = CopySample(Dir, "Header.dcu");
    TfrmJXUnitPeek W;
    W.show();
    W.OpenUnitFile(Path);
    TJx_PanelGradient* H = CurrentSheet(W)->Header;
    QCOMPARE(H->Caption(), Path);
    QCOMPARE(H->height(), QFontMetrics(H->font()).boundingRect(QString::fromUtf8("Ãg")).height() + 8);
    QVERIFY(H->font().bold());

    QFontMetrics FM(W.font());
    const QString Long = "/very/long/directory/name/that/does/not/fit/anywhere/Unit.dcu";
    QCOMPARE(ElidePath(Long, FM, 10000), Long);
    int Width = FM.horizontalAdvance("/very/lo.../Unit.dcu");
    QString E = ElidePath(Long, FM, Width);
    QVERIFY2(E.startsWith("/very") && E.endsWith(".../Unit.dcu"), qPrintable(E));
    QVERIFY(FM.horizontalAdvance(E) <= Width);
    QVERIFY(ElidePath(Long, FM, 1).startsWith("..."));
  }

  void selectingOnlyThePictureCollapses() {
    TfrmJXUnitPeek W;
    QString Raw = W.reInfo->document()->toRawText();
    int At = Raw.indexOf(QChar::ObjectReplacementCharacter);
    QVERIFY(At > 0);
    QTextCursor C(W.reInfo->document());
    C.setPosition(At);
    C.setPosition(At + 1, QTextCursor::KeepAnchor);
    W.reInfo->setTextCursor(C);
    QVERIFY(!W.reInfo->textCursor().hasSelection());
    QCOMPARE(W.reInfo->textCursor().position(), At);
    // A wider selection stays.
    C.setPosition(At - 1);
    C.setPosition(At + 1, QTextCursor::KeepAnchor);
    W.reInfo->setTextCursor(C);
    QCOMPARE(W.reInfo->textCursor().selectedText().size(), 2);
  }

  // With tabs of files open, the toolbar's Close asks first; no quits
  // nothing, yes quits. Tabs of files of the same name show their folders.
  void closeAsksWithTabsOpenAndClashingCaptionsShowTheirFolders() {
    QTemporaryDir Own;
    QVERIFY(QDir(Own.path()).mkpath("ProjA") && QDir(Own.path()).mkpath("ProjB"));
    const QString A = CopySample(Own, "ProjA/Unit1.dcu"), B = CopySample(Own, "ProjB/Unit1.dcu");
    const QString C = CopySample(Own, "Other.dcu");
    TTestWindow W;
    W.show();
    W.OpenUnitFile(A);
    W.OpenUnitFile(C);
    QCOMPARE(Captions(W), QStringList({"Program Info", "Unit1.dcu", "Other.dcu"}));
    W.OpenUnitFile(B);
    QCOMPARE(Captions(W), QStringList({"Program Info", "ProjA/Unit1.dcu", "Other.dcu", "ProjB/Unit1.dcu"}));
    QCOMPARE(W.advPageControl->tabToolTip(3), B);
    W.advTabSheetInfoClose(Sheet(W, 1));
    QCOMPARE(Captions(W), QStringList({"Program Info", "Other.dcu", "Unit1.dcu"}));

    W.jxhClose->click();
    QCOMPARE(W.QuitAsked, QList<int>({2}));
    QVERIFY(W.isVisible());
    W.QuitAnswer = true;
    W.jxhClose->click();
    QVERIFY(!W.isVisible());
  }

  // The About box has a page of the keys.
  void aboutBoxListsTheKeys() {
    TJX_FormAbout About;
    auto* Pages = About.findChild<QTabWidget*>("AboutPages");
    QVERIFY(Pages);
    QCOMPARE(Pages->count(), 2);
    QCOMPARE(Pages->tabText(1), QStringLiteral("Keys"));
    const QString Keys = About.findChild<QLabel*>("lblKeys")->text();
    for (const char* K : {"Ctrl+O", "Ctrl+Shift+O", "Ctrl+W", "Ctrl+G", "Ctrl+F", "Alt+Left", "F5", "F1"})
      QVERIFY2(Keys.contains(QLatin1String(K)), K);
  }

  // unitpeek --help and --version print and exit; the rest are paths.
  void helpAndVersionPrintAndExit() {
    const QString V = QStringLiteral("9.8.7");
    TViewerOptions H = ParseViewerOptions("/usr/bin/unitpeek", {"A.dcu", "--help"}, V);
    QCOMPARE(H.ExitCode, 0);
    QVERIFY(H.Output.startsWith("Usage: unitpeek [FILE.dcu | FOLDER]...\n"));
    QVERIFY(H.Output.contains("--version"));
    QCOMPARE(ParseViewerOptions("unitpeek", {"-v"}, V).Output, QStringLiteral("unitpeek 9.8.7\n"));
    QCOMPARE(ParseViewerOptions("unitpeek", {"--version"}, V).ExitCode, 0);
    const TViewerOptions Files = ParseViewerOptions("unitpeek", {"A.dcu", "--", "--help", "dir"}, V);
    QCOMPARE(Files.ExitCode, -1);
    QCOMPARE(Files.Paths, QStringList({"A.dcu", "--help", "dir"}));
  }

  void aboutBoxIsModalAndCloseEndsTheWindow() {
    TfrmJXUnitPeek W;
    W.show();
    QString Seen;
    bool Modal = false;
    QTimer::singleShot(0, [&] {
      if (auto* A = qobject_cast<TJX_FormAbout*>(QApplication::activeModalWidget())) {
        Modal = A->isModal();
        for (QLabel* L : A->findChildren<QLabel*>()) Seen += L->text();
        A->accept();
      }
    });
    W.jxhAbout->click();
    QVERIFY(Modal);
    QVERIFY(Seen.contains("UnitPeek"));
    QVERIFY(W.findChildren<TJX_FormAbout*>().isEmpty());
    W.jxhClose->click();
    QVERIFY(!W.isVisible());
  }
};

VIEWER_TEST(TestMainWindow);
#include "test_window.moc"
