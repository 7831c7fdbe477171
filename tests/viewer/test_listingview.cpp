// The listing view and its parts: the text of marked runs, laying out only
// the lines in sight (a million lines), find, selection and Copy, links with
// Back (also across pages), and the outline model's filter.
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "ListingView.h"
#include "OutlineModel.h"
#include "ViewerTestUtil.h"

namespace {

// "entry N: TypeN" lines; every name defines anchor 1000 + N, every type
// name links to the entry ten lines further on (its anchor), the last ones
// to entries that are not there.
TListingText Entries(int Count) {
  TListingText T;
  for (int I = 0; I < Count; ++I) {
    T.Add(TRunStyle::Keyword, u"entry");
    T.Add(TRunStyle::Plain, u" ");
    T.Add(TRunStyle::Name, QStringLiteral("Name%1").arg(I), 1000 + I);
    T.Add(TRunStyle::Plain, u": ");
    T.Add(TRunStyle::Link, QStringLiteral("Type%1").arg(I + 10), 1000 + I + 10);
    T.Add(TRunStyle::Comment, u" { note }");
    T.EndLine();
  }
  return T;
}

// A view of the given size, shown and painted.
std::unique_ptr<TListingView> Shown(TListingText Text, QSize Size = {500, 300}) {
  auto V = std::make_unique<TListingView>();
  V->resize(Size);
  V->SetText(std::move(Text));
  V->show();
  if (!QTest::qWaitForWindowExposed(V.get())) qWarning("listing view not exposed");
  V->repaint();
  return V;
}

QPoint CenterOf(TListingView& V, qsizetype Pos) { return V.PositionRect(Pos).center() + QPoint(3, 0); }

// A drag with the left button from one position to another.
void Drag(TListingView& V, QPoint From, QPoint To, Qt::KeyboardModifiers Mods = Qt::NoModifier) {
  QTest::mousePress(V.viewport(), Qt::LeftButton, Mods, From);
  QMouseEvent Move(QEvent::MouseMove, QPointF(To), QPointF(V.viewport()->mapToGlobal(To)), Qt::NoButton, Qt::LeftButton,
                   Mods);
  QApplication::sendEvent(V.viewport(), &Move);
  QTest::mouseRelease(V.viewport(), Qt::LeftButton, Mods, To);
}

}  // namespace

class TestListingView : public QObject {
  Q_OBJECT

 private slots:
  void textKeepsLinesRunsAndAnchors() {
    TListingText T;
    T.Add(TRunStyle::Keyword, u"type");
    T.EndLine();
    T.Add(TRunStyle::Plain, u"  ");
    T.AddUtf8(TRunStyle::Name, "Gr\xC3\xBC\xC3\x9F" "e", 7);  // non-ASCII UTF-8
    T.Add(TRunStyle::Plain, u" = a\nb");                          // a line break inside a run
    T.Add(TRunStyle::Name, u"Again", 7);                          // a second place of anchor 7
    T.EndLine();
    T.Add(TRunStyle::Comment, QString(70000, u'x'));              // longer than one run holds
    T.Finish();
    QCOMPARE(T.Text(), QStringLiteral("type\n  Gr\u00FC\u00DFe = a\nbAgain\n") + QString(70000, u'x'));
    QCOMPARE(T.LineCount(), 4);
    QCOMPARE(T.Line(1).toString(), QString::fromUtf8("  Gr\xC3\xBC\xC3\x9F" "e = a"));
    QCOMPARE(T.Line(2).toString(), QStringLiteral("bAgain"));
    QCOMPARE(T.LineOf(0), 0);
    QCOMPARE(T.LineOf(4), 0);
    QCOMPARE(T.LineOf(5), 1);
    QCOMPARE(T.LineOf(T.Text().size()), 3);
    QCOMPARE(T.LongestLine(), 70000);
    // The first place of an anchor is its place.
    const TListingRun* P = T.Place(7);
    QVERIFY(P);
    QCOMPARE(T.Text().mid(P->Start, P->Len), QString::fromUtf8("Gr\xC3\xBC\xC3\x9F" "e"));
    QVERIFY(!T.Place(8));
    QCOMPARE(T.RunAt(0)->Style, TRunStyle::Keyword);
    QVERIFY(!T.RunAt(4));  // the line break
    // The long comment is kept in pieces that join up.
    const auto [First, Last] = T.LineRuns(3);
    QCOMPARE(Last - First, size_t(2));
    QCOMPARE(T.Runs()[First].End(), T.Runs()[First + 1].Start);
    QCOMPARE(T.Runs()[First].Len + T.Runs()[First + 1].Len, 70000);
    QCOMPARE(T.RunAt(T.Text().size() - 1)->Style, TRunStyle::Comment);
  }

  void aMillionLinesOpenAndOnlyTheLinesInSightAreLaidOut() {
    constexpr int Lines = 1000000;
    auto V = Shown(Entries(Lines));
    QCOMPARE(V->Text().LineCount(), Lines + 1);
    QVERIFY(V->LastPaintLines() > 1);
    QVERIFY(V->LastPaintLines() <= V->VisibleLines() + 1);
    QVERIFY(V->LastPaintLayouts() <= V->VisibleLines() + 1);
    // To the end and back, a page at a time for a while: what is kept laid
    // out stays a few screens.
    V->setFocus();
    QTest::keyClick(V.get(), Qt::Key_End, Qt::ControlModifier);
    V->repaint();
    QCOMPARE(V->CursorPosition(), V->PlainText().size());
    QVERIFY(V->IsLineVisible(V->CurrentLine()));
    QVERIFY(V->TopLine() > Lines - 100);
    for (int I = 0; I < 50; ++I) {
      QTest::keyClick(V.get(), Qt::Key_PageUp);
      V->repaint();
    }
    QVERIFY(V->IsLineVisible(V->CurrentLine()));
    QVERIFY(V->LayoutCacheSize() <= 4 * (V->VisibleLines() + 1) + 65);
    QVERIFY(V->LastPaintLayouts() <= V->VisibleLines() + 1);
    // A jump far away lays out what comes into sight only.
    QVERIFY(V->JumpTo(1000 + 500000));
    V->repaint();
    QCOMPARE(V->SelectedText(), QStringLiteral("Name500000"));
    QVERIFY(V->IsPositionVisible(V->CursorPosition()));
    QVERIFY(V->LastPaintLayouts() <= V->VisibleLines() + 1);
  }

  void findMarksCountsAndSteps() {
    TListingText T;
    for (const char16_t* L : {u"alpha beta", u"Beta gamma BETA", u"delta", u"beta"}) {
      T.Add(TRunStyle::Plain, L);
      T.EndLine();
    }
    auto V = Shown(std::move(T));
    QCOMPARE(V->SetFindText(QStringLiteral("beta")), 4);
    QCOMPARE(V->FindCount(), 4);
    QCOMPARE(V->MatchesInLine(1).size(), size_t(2));
    QVERIFY(V->MatchesInLine(2).empty());
    // Forward from the start, round to the first, back again.
    QVERIFY(V->FindNext());
    QCOMPARE(V->CursorPosition(), 10);
    QCOMPARE(V->SelectedText(), QStringLiteral("beta"));
    QVERIFY(V->FindNext());
    QCOMPARE(V->SelectedText(), QStringLiteral("Beta"));
    QVERIFY(V->FindNext());
    QCOMPARE(V->SelectedText(), QStringLiteral("BETA"));
    QVERIFY(V->FindNext());
    QCOMPARE(V->CurrentLine(), 3);
    QVERIFY(!V->FindNext(false, false));  // the last one: nothing after it
    QVERIFY(V->FindNext());               // round to the first
    QCOMPARE(V->CurrentLine(), 0);
    QVERIFY(!V->FindNext(true, false));
    QVERIFY(V->FindNext(true));
    QCOMPARE(V->CurrentLine(), 3);
    QVERIFY(V->FindNext(true));
    QCOMPARE(V->SelectedText(), QStringLiteral("BETA"));
    // F3 in the view, Shift+F3 back.
    V->setFocus();
    QTest::keyClick(V.get(), Qt::Key_F3);
    QCOMPARE(V->CurrentLine(), 3);
    QTest::keyClick(V.get(), Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(V->SelectedText(), QStringLiteral("BETA"));
    // No match, and no text.
    QCOMPARE(V->SetFindText(QStringLiteral("epsilon")), 0);
    QVERIFY(!V->FindNext());
    QCOMPARE(V->SetFindText({}), 0);
    QVERIFY(V->MatchesInLine(1).empty());
    // The count stops at its bound.
    V->SetPlainText(QString(TListingView::MaxFindCount + 10, u'a'));
    QCOMPARE(V->SetFindText(QStringLiteral("A")), TListingView::MaxFindCount);
  }

  void selectionAndCopy() {
    auto V = Shown(Entries(20));
    V->setFocus();
    QVERIFY(!V->Copy());
    // Keys: Shift extends the selection, Ctrl+C copies it.
    QTest::keyClick(V.get(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(V.get(), Qt::Key_Right, Qt::ShiftModifier);
    const QString Two = V->Text().Line(0).toString() + u'\n' + u'e';
    QCOMPARE(V->SelectedText(), Two);
    QApplication::clipboard()->clear();
    QTest::keyClick(V.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), Two);
    // Ctrl+A: everything.
    QTest::keyClick(V.get(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(V->SelectedText(), V->PlainText());
    // The mouse: a drag from one place to another, a double click on a word.
    const qsizetype From = V->Text().LineStart(2), To = V->Text().LineStart(3) + 5;
    Drag(*V, V->PositionRect(From).center(), V->PositionRect(To).center());
    QCOMPARE(V->SelectedText(), V->PlainText().mid(From, To - From));
    QTest::mouseDClick(V->viewport(), Qt::LeftButton, Qt::NoModifier, CenterOf(*V, V->Text().LineStart(4) + 8));
    QCOMPARE(V->SelectedText(), QStringLiteral("Name4"));
  }

  void linksJumpAndBackReturns() {
    auto V = Shown(Entries(200));
    QSignalSpy Outside(V.get(), &TListingView::linkOutside);
    // Line 30 links to entry 40, further down and out of sight.
    V->SetTopLine(25);
    const qsizetype Link = V->Text().LineStart(30) + V->Text().Line(30).indexOf(u"Type40") + 2;
    QTest::mouseClick(V->viewport(), Qt::LeftButton, Qt::NoModifier, CenterOf(*V, Link));
    QCOMPARE(V->SelectedText(), QStringLiteral("Name40"));
    QCOMPARE(V->CurrentLine(), 40);
    QVERIFY(V->IsLineVisible(40));
    QVERIFY(V->CanGoBack());
    // Enter on a link follows it too.
    V->setFocus();
    V->SetCursorPosition(V->Text().LineStart(40) + V->Text().Line(40).indexOf(u"Type50") + 1);
    QTest::keyClick(V.get(), Qt::Key_Return);
    QCOMPARE(V->CurrentLine(), 50);
    // Back twice: to the link's line and where the view stood.
    QTest::keyClick(V.get(), Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(V->CurrentLine(), 40);
    QVERIFY(V->Back());
    QCOMPARE(V->CurrentLine(), 30);
    QCOMPARE(V->TopLine(), 25);
    QVERIFY(!V->CanGoBack());
    QVERIFY(!V->Back());
    QCOMPARE(Outside.count(), 0);
    // A link whose place is not in the text is handed on, with its text.
    const qsizetype Last = V->Text().LineStart(195) + V->Text().Line(195).indexOf(u"Type205") + 1;
    V->SetCursorPosition(Last);
    V->EnsureCursorVisible();
    QTest::keyClick(V.get(), Qt::Key_Enter);
    QCOMPARE(Outside.count(), 1);
    QCOMPARE(Outside[0][0].toLongLong(), 1205);
    QCOMPARE(Outside[0][1].toString(), QStringLiteral("Type205"));
    QVERIFY(!V->CanGoBack());
    // A click that selects (a drag) follows nothing.
    Drag(*V, CenterOf(*V, Last), CenterOf(*V, Last + 3));
    QCOMPARE(Outside.count(), 1);
  }

  void aNameLinkLeadsOutAndPagesComeBack() {
    TListingText Page0;
    Page0.Add(TRunStyle::NameLink, u"Main", 5);
    Page0.EndLine();
    Page0.Add(TRunStyle::Plain, u"  call ");
    Page0.Add(TRunStyle::Link, u"Helper", 9);
    auto V = Shown(std::move(Page0));
    QSignalSpy Outside(V.get(), &TListingView::linkOutside);
    // The name is a place (JumpTo finds it) that leads out when clicked.
    QVERIFY(V->JumpTo(5, false));
    QTest::mouseClick(V->viewport(), Qt::LeftButton, Qt::NoModifier, CenterOf(*V, 1));
    QCOMPARE(Outside.count(), 1);
    QCOMPARE(Outside[0][0].toLongLong(), 5);
    // Another page: the history stays, Back asks for the page it left.
    std::vector<int64_t> Asked;
    V->PageWanted = [&](int64_t Page) {
      Asked.push_back(Page);
      TListingText T;
      T.Add(TRunStyle::NameLink, u"Main", 5);
      T.EndLine();
      T.Add(TRunStyle::Plain, u"  call ");
      T.Add(TRunStyle::Link, u"Helper", 9);
      V->ReplaceText(std::move(T), Page);
    };
    V->SetCursorPosition(10);
    V->PushPlace();
    TListingText Page1;
    Page1.Add(TRunStyle::NameLink, u"Helper", 9);
    V->ReplaceText(std::move(Page1), 1);
    QCOMPARE(V->Page(), 1);
    QVERIFY(V->CanGoBack());
    QVERIFY(V->Back());
    QCOMPARE(Asked, std::vector<int64_t>{0});
    QCOMPARE(V->Page(), 0);
    QCOMPARE(V->CursorPosition(), 10);
    // A way back somewhere else is called, once.
    int Returned = 0;
    V->PushReturn([&] { ++Returned; });
    QVERIFY(V->Back());
    QCOMPARE(Returned, 1);
    QVERIFY(!V->Back());
    // A new text starts a new history.
    V->PushPlace();
    V->SetPlainText(QStringLiteral("plain"));
    QVERIFY(!V->CanGoBack());
  }

  void outlineModelFiltersAndKeepsItsParents() {
    TOutlineTree T;
    const int32_t Types = T.Add(TOutlineTree::Top, u"Types");
    const int32_t Vars = T.Add(TOutlineTree::Top, u"Variables");
    const int32_t Count = T.Add(Types, u"TCount", 10, 10);
    T.Add(Types, u"TOther", 20, 20);
    T.Add(Vars, u"Counter", 30, 30);
    T.Add(Count, u"Value", 11, 11);  // a member, added after its siblings' parent
    T.Add(Vars, u"Last", 40, 40);
    TOutlineModel M;
    M.SetTree(std::move(T));
    QCOMPARE(M.rowCount(), 2);
    const QModelIndex TypesIx = M.index(0, 0);
    QCOMPARE(M.rowCount(TypesIx), 2);
    const QModelIndex CountIx = M.index(0, 0, TypesIx);
    QCOMPARE(CountIx.data().toString(), QStringLiteral("TCount"));
    QCOMPARE(CountIx.data(TOutlineModel::AnchorRole).toLongLong(), 10);
    QCOMPARE(CountIx.data(Qt::ToolTipRole).toString(), QStringLiteral("0xA"));
    QCOMPARE(M.parent(CountIx), TypesIx);
    QCOMPARE(M.index(0, 0, CountIx).data().toString(), QStringLiteral("Value"));
    QVERIFY(!M.parent(TypesIx).isValid());
    // Filtered: the matches and what lies above them; a match's entries
    // below are kept only when they match too.
    M.SetFilter(QStringLiteral("COUNT"));
    QCOMPARE(M.rowCount(), 2);
    QCOMPARE(M.rowCount(M.index(0, 0)), 1);
    QCOMPARE(M.rowCount(M.index(0, 0, M.index(0, 0))), 0);
    QCOMPARE(M.index(0, 0, M.index(1, 0)).data().toString(), QStringLiteral("Counter"));
    QCOMPARE(M.parent(M.index(0, 0, M.index(1, 0))), M.index(1, 0));
    QVERIFY(!M.IndexOf(Vars + 5).isValid());  // "Last" is filtered out
    M.SetFilter(QStringLiteral("value"));
    QCOMPARE(M.rowCount(), 1);
    QCOMPARE(M.index(0, 0, M.index(0, 0, M.index(0, 0))).data().toString(), QStringLiteral("Value"));
    M.SetFilter(QStringLiteral("nothing"));
    QCOMPARE(M.rowCount(), 0);
    M.SetFilter({});
    QCOMPARE(M.rowCount(M.index(1, 0)), 2);
  }
};

VIEWER_TEST(TestListingView);
#include "test_listingview.moc"
