// The views of a file tab: switching keeps the summary first and is kept per
// tab; the window's keys; the Bytes view of a damaged file opens where
// reading stopped.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

#include <sys/stat.h>

#include "HexView.h"
#include "ParseOffset.h"
#include "UnitBuilder.h"
#include "ViewerTestUtil.h"
#include "uMain.h"

using namespace viewertest;

namespace {
class TKeyWindow : public TfrmJXUnitPeek {
 public:
  using TfrmJXUnitPeek::TfrmJXUnitPeek;
  int DialogRuns = 0;
  int AboutRuns = 0;

 protected:
  QStringList RunOpenDialog() override {
    ++DialogRuns;
    return {};
  }
  void ShowAboutBox() override { ++AboutRuns; }
};

TAdvTabSheet* Sheet(const TfrmJXUnitPeek& W, int Index) {
  return qobject_cast<TAdvTabSheet*>(W.advPageControl->widget(Index));
}

// A key pressed wherever the focus is in the window.
void Press(QWidget& W, int Key, Qt::KeyboardModifiers Mods = Qt::ControlModifier) {
  QWidget* To = QApplication::focusWidget();
  if (!To || To->window() != &W) To = &W;
  QTest::keyClick(To, static_cast<Qt::Key>(Key), Mods);
}

// A unit whose reading stops far into the file: many constants, then a
// second data block. BadTag is the offset of that block's tag byte.
std::vector<uint8_t> DeepFailure(size_t& BadTag) {
  unitbuilder::UnitBuilder B(7);
  B.MinimalStart("Deep");
  for (int I = 0; I < 400; ++I) B.ConstDecl("Constant" + std::to_string(I), 0, I);
  BadTag = B.Size();
  B.DataBlock(300, 0x11).Stop();
  return B.Finish();
}
}  // namespace

class TestViews : public QObject {
  Q_OBJECT
  QTemporaryDir Dir;

 private slots:
  void switchingKeepsTheSummaryFirstAndIsKeptPerTab() {
    QString A = CopySample(Dir, "ViewA.dcu"), B = CopySample(Dir, "ViewB.dcu", 3);
    TKeyWindow W;
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    W.OpenUnitFile(A);
    TAdvTabSheet* SA = Sheet(W, 1);
    const QStringList Summary = ViewTexts(SA->TextView);
    // A new tab shows its summary; nothing else is built.
    QCOMPARE(SA->View(), TUnitView::Summary);
    QCOMPARE(SA->ViewWidget(), static_cast<QWidget*>(SA->TextView));
    QVERIFY(SA->HexView() == nullptr && SA->DeclView() == nullptr);
    QVERIFY(SA->ViewButton(TUnitView::Summary)->isChecked());

    Press(W, Qt::Key_3);
    QCOMPARE(SA->View(), TUnitView::Bytes);
    QVERIFY(SA->HexView() && SA->ViewWidget()->isAncestorOf(SA->HexView()));
    QVERIFY(SA->ViewButton(TUnitView::Bytes)->isChecked());
    QCOMPARE(SA->HexView()->Bytes().size(), QFileInfo(A).size());
    QVERIFY(SA->DeclView() == nullptr);
    SA->ViewButton(TUnitView::Declarations)->click();
    QCOMPARE(SA->View(), TUnitView::Declarations);
    QVERIFY(SA->DeclView());
    Press(W, Qt::Key_1);
    QCOMPARE(SA->View(), TUnitView::Summary);
    QCOMPARE(ViewTexts(SA->TextView), Summary);
    QCOMPARE(W.ActiveView(), SA->TextView);

    // Another tab starts with its summary; the first keeps its view.
    Press(W, Qt::Key_3);
    W.OpenUnitFile(B);
    TAdvTabSheet* SB = Sheet(W, 2);
    QCOMPARE(SB->View(), TUnitView::Summary);
    Press(W, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(W.advPageControl->currentIndex(), 1);
    QCOMPARE(SA->View(), TUnitView::Bytes);
    QCOMPARE(SB->View(), TUnitView::Summary);
    // The view keys do nothing on the welcome tab.
    W.advPageControl->setCurrentIndex(0);
    Press(W, Qt::Key_2);
    QCOMPARE(W.advPageControl->currentIndex(), 0);
    QCOMPARE(SB->View(), TUnitView::Summary);
  }

  void windowKeysAndTitle() {
    QString A = CopySample(Dir, "KeyA.dcu"), B = CopySample(Dir, "KeyB.dcu");
    TKeyWindow W;
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    QCOMPARE(W.windowTitle(), QStringLiteral("UnitPeek"));
    W.OpenUnitFile(A);
    W.OpenUnitFile(B);
    QCOMPARE(W.windowTitle(), QString::fromUtf8("KeyB.dcu \u2014 UnitPeek"));
    // Ctrl+Tab goes round, Ctrl+Shift+Tab back.
    Press(W, Qt::Key_Tab);
    QCOMPARE(W.advPageControl->currentIndex(), 0);
    QCOMPARE(W.windowTitle(), QStringLiteral("UnitPeek"));
    Press(W, Qt::Key_Tab);
    QCOMPARE(W.advPageControl->currentIndex(), 1);
    QCOMPARE(W.windowTitle(), QString::fromUtf8("KeyA.dcu \u2014 UnitPeek"));
    Press(W, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    Press(W, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(W.advPageControl->currentIndex(), 2);
    // Ctrl+W closes the active file tab, never the welcome tab.
    Press(W, Qt::Key_W);
    QCOMPARE(W.advPageControl->count(), 2);
    QCOMPARE(W.FileIndex().size(), size_t(1));
    W.advPageControl->setCurrentIndex(0);
    Press(W, Qt::Key_W);
    QCOMPARE(W.advPageControl->count(), 2);
    // Ctrl+O asks for files, F1 shows the about box.
    Press(W, Qt::Key_O);
    QCOMPARE(W.DialogRuns, 1);
    Press(W, Qt::Key_F1, Qt::NoModifier);
    QCOMPARE(W.AboutRuns, 1);
  }

  void bytesOfADamagedFileOpenWhereReadingStopped() {
    size_t BadTag = 0;
    const std::vector<uint8_t> Bytes = DeepFailure(BadTag);
    const QString Path = WriteFile(Dir, "Deep.dcu", Bytes);
    TfrmJXUnitPeek W;
    W.resize(700, 500);
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    W.OpenUnitFile(Path);
    TAdvTabSheet* S = Sheet(W, 1);
    QVERIFY(S->Failed());
    // The offsets are those of the message.
    QCOMPARE(S->FailureDefOffset(), static_cast<int64_t>(BadTag));
    const QString Message = ViewTexts(S->TextView).last();
    QVERIFY2(Message.contains(QStringLiteral("Def: 0x%1,").arg(QString::number(BadTag, 16).toUpper())),
             qPrintable(Message));
    QVERIFY2(Message.startsWith(QStringLiteral("Error at 0x%1").arg(QString::number(S->FailureOffset(), 16).toUpper())),
             qPrintable(Message));
    QVERIFY(S->FailureOffset() != S->FailureDefOffset());

    W.advPageControl->setCurrentWidget(S);
    S->ShowView(TUnitView::Bytes);
    QApplication::processEvents();
    THexView* H = S->HexView();
    QCOMPARE(H->Bytes().size(), static_cast<qsizetype>(Bytes.size()));
    // Scrolled down to the failure, which is in sight and current.
    QVERIFY(H->TopRow() > 0);
    QVERIFY(H->IsVisible(S->FailureOffset()));
    QVERIFY(H->IsVisible(S->FailureDefOffset()));
    QCOMPARE(H->Current(), S->FailureOffset());
    // Both bytes are marked, each in a colour of its own.
    QCOMPARE(H->Marks().size(), size_t(2));
    QCOMPARE(H->Marks()[0].Offset, static_cast<int64_t>(BadTag));
    QCOMPARE(H->Marks()[1].Offset, S->FailureOffset());
    QVERIFY(H->Marks()[0].Background != H->Marks()[1].Background);
    QVERIFY(S->BytesInfo()->text().contains(QStringLiteral("0x%1").arg(QString::number(BadTag, 16).toUpper())));
    // The row text shows the bad tag.
    const QString Row = H->RowText(static_cast<int64_t>(BadTag) / THexView::BytesPerRow);
    QVERIFY2(Row.contains(QStringLiteral("6C")), qPrintable(Row));
  }

  void goToAnOffset() {
    QCOMPARE(ParseOffset(" 0x1A3 "), 0x1A3);
    QCOMPARE(ParseOffset("$ff"), 255);
    QCOMPARE(ParseOffset("419"), 419);
    QCOMPARE(ParseOffset("-4"), -1);
    QCOMPARE(ParseOffset("0xZ"), -1);
    size_t BadTag = 0;
    TfrmJXUnitPeek W;
    W.show();
    W.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W));
    W.OpenUnitFile(WriteFile(Dir, "GoTo.dcu", DeepFailure(BadTag)));
    TAdvTabSheet* S = Sheet(W, 1);
    W.advPageControl->setCurrentWidget(S);
    S->ShowView(TUnitView::Bytes);
    QTest::keyClick(S->HexView(), Qt::Key_G, Qt::ControlModifier);
    auto* GoTo = S->findChild<QLineEdit*>("BytesGoTo");
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(GoTo));
    QTest::keyClicks(GoTo, "0x20");
    QTest::keyClick(GoTo, Qt::Key_Return);
    QCOMPARE(S->HexView()->Current(), 0x20);
    QVERIFY(S->HexView()->IsVisible(0x20));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(S->HexView()));
  }

  void bytesOfWhatIsNoFileAreNotRead() {
    // A FIFO would block the window for ever if it were read.
    const QString Fifo = Dir.filePath(QStringLiteral("views.pipe.dcu"));
    QCOMPARE(mkfifo(QFile::encodeName(Fifo).constData(), 0600), 0);
    TfrmJXUnitPeek W;
    W.OpenUnitFile(Fifo);
    W.OpenUnitFile(Dir.path());
    for (int I : {1, 2}) {
      TAdvTabSheet* S = Sheet(W, I);
      S->ShowView(TUnitView::Bytes);
      QVERIFY(S->HexView()->Bytes().isEmpty());
      QVERIFY2(S->BytesInfo()->text().contains("not a regular file"), qPrintable(S->BytesInfo()->text()));
    }
  }

  // Each character and hex digit is drawn in the cell its caret and marks
  // frame, also in a font whose advance is not a whole number of pixels
  // (the text as one run drifted two columns to the left by the character
  // column): what changes when one byte changes lies within its cells.
  void hexViewDrawsEachByteInItsOwnCells() {
    for (const int Pixels : {13, 15, 17}) {
      QFont F(QStringLiteral("DejaVu Sans Mono"));
      F.setPixelSize(Pixels);
      THexView H;
      H.setFont(F);
      H.resize(1000, 200);
      QByteArray Bytes(THexView::BytesPerRow, ' ');
      H.SetBytes(Bytes);
      const QImage Blank = H.viewport()->grab().toImage();
      Bytes[15] = 'W';
      H.SetBytes(Bytes);
      const QImage Changed = H.viewport()->grab().toImage();
      QCOMPARE(Changed.size(), Blank.size());
      int Left = Changed.width(), Right = -1;
      const int CharsFrom = H.ColumnX(H.CharColumn(0));
      for (int Y = 0; Y < Changed.height(); ++Y)
        for (int X = CharsFrom; X < Changed.width(); ++X)
          if (Changed.pixel(X, Y) != Blank.pixel(X, Y)) {
            Left = std::min(Left, X);
            Right = std::max(Right, X);
          }
      QVERIFY(Right >= 0);
      const int From = H.ColumnX(H.CharColumn(15)), To = H.ColumnX(H.CharColumn(15) + 1);
      QVERIFY2(Left >= From && Right < To, qPrintable(QStringLiteral("%1 px: W drawn at %2..%3, its cell %4..%5")
                                                          .arg(Pixels).arg(Left).arg(Right).arg(From).arg(To)));
    }
  }

  // Find in the bytes (Ctrl+F in the Bytes view): hex pairs or text, Enter
  // or F3 the next place after the current byte, Shift the one before, round
  // the end; the place found is the current byte; nothing found says so.
  void findInTheBytes() {
    QCOMPARE(ParseBytePattern("75 54"), QByteArray("\x75\x54"));
    QCOMPARE(ParseBytePattern("7554ab"), QByteArray("\x75\x54\xAB"));
    QCOMPARE(ParseBytePattern("Unit"), QByteArray("Unit"));
    QCOMPARE(ParseBytePattern("ABC"), QByteArray("ABC"));      // an odd number of digits: text
    QCOMPARE(ParseBytePattern("7 554"), QByteArray("7 554"));  // a blank inside a pair: text
    QCOMPARE(ParseBytePattern("\"AB\""), QByteArray("AB"));
    QVERIFY(ParseBytePattern("").isEmpty());
    TfrmJXUnitPeek W;
    W.show();
    W.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W));
    QByteArray Bytes(100, '\0');
    Bytes.replace(10, 3, "ABC");
    Bytes.replace(60, 3, "ABC");
    W.OpenUnitFile(WriteFile(Dir, "Find.dcu", std::vector<uint8_t>(Bytes.begin(), Bytes.end())));
    TAdvTabSheet* S = Sheet(W, 1);
    W.advPageControl->setCurrentWidget(S);
    S->ShowView(TUnitView::Bytes);
    S->HexView()->setFocus();
    QTest::keyClick(S->HexView(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(S->BytesFind()));
    QTest::keyClicks(S->BytesFind(), "41 42 43");
    QTest::keyClick(S->BytesFind(), Qt::Key_Return);
    QCOMPARE(S->HexView()->Current(), 10);
    QTest::keyClick(S->BytesFind(), Qt::Key_F3);
    QCOMPARE(S->HexView()->Current(), 60);
    QTest::keyClick(S->BytesFind(), Qt::Key_Return);  // round the end
    QCOMPARE(S->HexView()->Current(), 10);
    QTest::keyClick(S->BytesFind(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(S->HexView()->Current(), 60);
    S->BytesFind()->setText("ABC");
    QVERIFY(S->FindBytes(false));
    QCOMPARE(S->HexView()->Current(), 10);
    S->BytesFind()->setText("XYZ");
    QVERIFY(!S->FindBytes(false));
    QCOMPARE(S->HexView()->Current(), 10);
    QVERIFY(S->findChild<QLabel*>("BytesPosition")->text().startsWith("Not found: 58 59 5A"));
  }

  void hexViewOfALargeBlockDrawsOnlyWhatIsInSight() {
    // 50 MB: moving to the end and painting stay quick.
    QByteArray Big(50 * 1024 * 1024, '\x01');
    Big[Big.size() - 1] = 'Z';
    THexView H;
    H.resize(600, 400);
    H.show();
    QVERIFY(QTest::qWaitForWindowExposed(&H));
    QElapsedTimer T;
    T.start();
    H.SetBytes(Big);
    H.setFocus();
    QTest::keyClick(&H, Qt::Key_End, Qt::ControlModifier);
    H.repaint();
    QVERIFY2(T.elapsed() < 2000, qPrintable(QString::number(T.elapsed())));
    QCOMPARE(H.Current(), static_cast<int64_t>(Big.size() - 1));
    QVERIFY(H.IsVisible(Big.size() - 1));
    QVERIFY(H.RowText(H.Current() / THexView::BytesPerRow).endsWith(QString(15, u'.') + u'Z'));
    // Keys move the current byte and the view follows.
    QTest::keyClick(&H, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(H.Current(), 0);
    QCOMPARE(H.TopRow(), 0);
    QTest::keyClick(&H, Qt::Key_Down);
    QTest::keyClick(&H, Qt::Key_Right);
    QCOMPARE(H.Current(), THexView::BytesPerRow + 1);
    QTest::keyClick(&H, Qt::Key_PageDown);
    QVERIFY(H.IsVisible(H.Current()));
    QVERIFY(H.TopRow() > 0);
  }
};

VIEWER_TEST(TestViews);
#include "test_views.moc"
