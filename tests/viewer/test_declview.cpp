// The Declarations view of a file tab: the outline jumps and marks the tag
// byte, the filter narrows, a link jumps and Back returns, Copy and Save as
// .pas give the listing; a class shows its sections and its methods'
// directives.
#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "DeclView.h"
#include "HexView.h"
#include "ListingView.h"
#include "UnitBuilder.h"
#include "ValuesUnit.h"
#include "ViewerTestUtil.h"
#include "uMain.h"

using namespace viewertest;

namespace {
class TSaveWindow : public TfrmJXUnitPeek {
 public:
  using TfrmJXUnitPeek::TfrmJXUnitPeek;
  QString SaveAs;
  QString Suggested;

 protected:
  QString RunSaveDialog(const QString& S) override {
    Suggested = S;
    return SaveAs;
  }
};

// The first entry of the tree whose text is Name, depth first.
QModelIndex Find(const QAbstractItemModel* M, const QString& Name, const QModelIndex& Parent = {}) {
  for (int I = 0; I < M->rowCount(Parent); ++I) {
    const QModelIndex Ix = M->index(I, 0, Parent);
    if (Ix.data().toString() == Name) return Ix;
    if (QModelIndex F = Find(M, Name, Ix); F.isValid()) return F;
  }
  return {};
}

// The texts of the entries without children (the declarations).
QStringList Leaves(const QAbstractItemModel* M, const QModelIndex& Parent = {}) {
  QStringList L;
  for (int I = 0; I < M->rowCount(Parent); ++I) {
    const QModelIndex Ix = M->index(I, 0, Parent);
    if (M->rowCount(Ix) == 0) L << Ix.data().toString();
    else L << Leaves(M, Ix);
  }
  return L;
}

QString LineAtCursor(const TListingView* B) { return B->CurrentLineText(); }

// The line at the cursor is in sight.
bool CursorInSight(TListingView* B) {
  return B->viewport()->rect().contains(B->PositionRect(B->CursorPosition()).center());
}

struct TOpened {
  std::unique_ptr<TSaveWindow> W;
  TAdvTabSheet* Sheet = nullptr;
  TDeclView* View = nullptr;
};

TOpened OpenDeclarations(const QString& Path) {
  TOpened O;
  O.W = std::make_unique<TSaveWindow>();
  O.W->resize(500, 260);
  O.W->show();
  O.W->OpenUnitFile(Path);
  // A file that failed stays behind the tab in front: bring it forward.
  O.W->advPageControl->setCurrentIndex(O.W->advPageControl->count() - 1);
  O.Sheet = qobject_cast<TAdvTabSheet*>(O.W->advPageControl->currentWidget());
  O.Sheet->ShowView(TUnitView::Declarations);
  O.View = O.Sheet->DeclView();
  QApplication::processEvents();
  return O;
}
}  // namespace

class TestDeclView : public QObject {
  Q_OBJECT
  QTemporaryDir Dir;

 private slots:
  void outlineJumpsAndMarksTheTagByte() {
    const QString Path = CopySample(Dir, "Outline.dcu");
    TOpened O = OpenDeclarations(Path);
    QVERIFY(QTest::qWaitForWindowExposed(O.W.get()));
    TDeclView* V = O.View;
    // Sections, then kinds, then declarations.
    const QAbstractItemModel* M = V->Outline->model();
    QCOMPARE(M->index(0, 0).data().toString(), QStringLiteral("Interface"));
    QCOMPARE(M->index(1, 0).data().toString(), QStringLiteral("Implementation"));
    QVERIFY(Find(M, "Types").parent() == M->index(0, 0));
    QVERIFY(Find(M, "TCount").parent() == Find(M, "Types"));

    // Exactly the name is selected, also where plain text follows it.
    const QModelIndex Type = Find(M, "TCount");
    V->Outline->setCurrentIndex(Type);
    QCOMPARE(V->Listing->SelectedText(), QStringLiteral("TCount"));

    const QModelIndex Helper = Find(M, "Helper");
    QVERIFY(Helper.isValid());
    V->Outline->setCurrentIndex(Helper);
    emit V->Outline->activated(Helper);
    QCOMPARE(V->Listing->SelectedText(), QStringLiteral("Helper"));
    QVERIFY(LineAtCursor(V->Listing).startsWith("procedure Helper("));
    QVERIFY(CursorInSight(V->Listing));
    QVERIFY(V->Listing->verticalScrollBar()->value() > 0);

    // Its tag byte is marked in the Bytes view: a procedure's tag.
    const qint64 Tag = Helper.data(OutlineOffsetRole).toLongLong();
    O.Sheet->ShowView(TUnitView::Bytes);
    THexView* H = O.Sheet->HexView();
    QCOMPARE(H->Marks().size(), size_t(1));
    QCOMPARE(H->Marks()[0].Offset, Tag);
    QCOMPARE(static_cast<uint8_t>(H->Bytes().at(Tag)), uint8_t(0x28));
    QVERIFY(H->IsVisible(Tag));
    QVERIFY(O.Sheet->BytesInfo()->text().contains("Helper"));
  }

  void filterNarrowsTheOutlineAndHighlights() {
    TOpened O = OpenDeclarations(CopySample(Dir, "Filter.dcu"));
    TDeclView* V = O.View;
    const QStringList All = Leaves(V->Outline->model());
    QVERIFY(All.contains("Greeting") && All.contains("Main"));
    // Ctrl+F goes to the filter box.
    V->Listing->setFocus();
    QTest::keyClick(V->Listing, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(V->FilterBox));
    QTest::keyClicks(V->FilterBox, "count");
    QStringList Shown = Leaves(V->Outline->model());
    Shown.sort();
    QCOMPARE(Shown, QStringList({"Counter", "MaxCount", "TCount"}));
    QCOMPARE(V->MatchCount(), static_cast<int>(V->ListingText().count("count", Qt::CaseInsensitive)));
    size_t Marked = 0;
    for (qsizetype L = 0; L < V->Listing->Text().LineCount(); ++L) Marked += V->Listing->MatchesInLine(L).size();
    QCOMPARE(static_cast<int>(Marked), V->MatchCount());
    QCOMPARE(V->Listing->SelectedText().toLower(), QStringLiteral("count"));
    // Nothing matches: an empty outline; cleared: everything again.
    V->SetFilter("nothing like this");
    QCOMPARE(V->Outline->model()->rowCount(), 0);
    QCOMPARE(V->MatchCount(), 0);
    QTest::keyClick(V->FilterBox, Qt::Key_Escape);
    QCOMPARE(V->FilterBox->text(), QString());
    QCOMPARE(Leaves(V->Outline->model()), All);
    QVERIFY(V->Listing->MatchesInLine(V->Listing->CurrentLine()).empty());
    QCOMPARE(V->Listing->FindCount(), 0);
  }

  void linkJumpsAndBackReturns() {
    TOpened O = OpenDeclarations(CopySample(Dir, "Link.dcu"));
    QVERIFY(QTest::qWaitForWindowExposed(O.W.get()));
    TDeclView* V = O.View;
    // The type name in the parameter list of Helper, at the end of the listing.
    const QString Text = V->ListingText();
    const int At = static_cast<int>(Text.indexOf("Value: TCount")) + 7;
    V->Listing->SetCursorPosition(At + 2);
    V->Listing->EnsureCursorVisible();
    QApplication::processEvents();
    const int ScrollBefore = V->Listing->verticalScrollBar()->value();
    QVERIFY(ScrollBefore > 0);
    QVERIFY(!V->CanGoBack());
    // A click on the link.
    const QRect R = V->Listing->PositionRect(At + 2);
    QTest::mouseClick(V->Listing->viewport(), Qt::LeftButton, Qt::NoModifier, R.center());
    QCOMPARE(V->Listing->SelectedText(), QStringLiteral("TCount"));
    QVERIFY(LineAtCursor(V->Listing).trimmed().startsWith("TCount = "));
    QVERIFY(CursorInSight(V->Listing));
    QVERIFY(V->CanGoBack() && V->BackButton->isEnabled());
    // Alt+Left returns to the line of the link.
    QTest::keyClick(V->Listing, Qt::Key_Left, Qt::AltModifier);
    QVERIFY(LineAtCursor(V->Listing).startsWith("procedure Helper("));
    QCOMPARE(V->Listing->verticalScrollBar()->value(), ScrollBefore);
    QVERIFY(!V->CanGoBack() && !V->BackButton->isEnabled());
    QVERIFY(!V->Back());
  }

  void copyGivesTheListingAndSaveAsPasTheSkeleton() {
    const QString Path = CopySample(Dir, "Saved.dcu");
    TOpened O = OpenDeclarations(Path);
    TDeclView* V = O.View;
    const QString Listing = V->ListingText();
    QVERIFY(Listing.startsWith("unit Demo;\n\ninterface\n"));
    QVERIFY(Listing.contains("procedure Helper(var Value: TCount);"));
    V->CopyButton->click();
    QCOMPARE(QApplication::clipboard()->text(), Listing);

    // Cancelled: nothing is written.
    V->SaveButton->click();
    QCOMPARE(O.W->Suggested, Dir.filePath("Saved.pas"));
    QVERIFY(!QFile::exists(Dir.filePath("Saved.pas")));
    // Chosen: the unit's skeleton, as the command line's --pas writes it:
    // every routine with a body.
    O.W->SaveAs = Dir.filePath("Out.pas");
    V->SaveButton->click();
    QFile F(O.W->SaveAs);
    QVERIFY(F.open(QIODevice::ReadOnly));
    const QString Written = QString::fromUtf8(F.readAll());
    QVERIFY(Written.startsWith("unit Demo;\n\ninterface\n"));
    QVERIFY(Written.contains("procedure Helper(var Value: TCount);\nbegin\nend;\n"));
    QVERIFY(Written.endsWith("end.\n"));
    // A name without an extension gets ".pas".
    O.W->SaveAs = Dir.filePath("Plain");
    QVERIFY(V->SaveListing());
    QVERIFY(QFile::exists(Dir.filePath("Plain.pas")));
    // A place that cannot be written says so and leaves nothing behind.
    O.W->SaveAs = Dir.filePath("no/such/folder/Out.pas");
    QVERIFY(!V->SaveListing());
    QVERIFY(V->Status->isVisible() && V->Status->text().startsWith("Cannot write"));
  }

  void aClassShowsItsSectionsAndDirectives() {
    TOpened O = OpenDeclarations(WriteFile(Dir, "Vals.dcu", unitbuilder::ValuesUnit()));
    const QString Listing = O.View->ListingText();
    // The members of a class under the keywords of their sections, methods
    // with their directives, values by their types.
    QVERIFY(Listing.contains("  TThing = class\n  private\n    FPriv: Integer;\n  protected\n    FProt: Integer;\n"));
    QVERIFY(Listing.contains("  published\n    FPubl: Integer;\n"));
    QVERIFY(Listing.contains("  protected\n    procedure Run; virtual; abstract;\n"));
    QVERIFY(Listing.contains("    class procedure Make; overload;\n"));
    QVERIFY(Listing.contains("    property Kind: TKind read FPubl default ckC;\n"));
    QVERIFY(Listing.contains("  Text1 = 'It''s'#13#10 { AnsiString };\n"));
    QVERIFY(Listing.contains("  SHello = 'Hello, ''world''';\n"));
    // The outline still leads to the members.
    const QModelIndex Run = Find(O.View->Outline->model(), "Run");
    QVERIFY(Run.isValid());
    O.View->Outline->setCurrentIndex(Run);
    QCOMPARE(O.View->Listing->SelectedText(), QStringLiteral("Run"));
    QVERIFY(LineAtCursor(O.View->Listing).endsWith("procedure Run; virtual; abstract;"));
  }

  void aFailedFileHasNoListing() {
    std::vector<uint8_t> Bytes = unitbuilder::MinimalUnit(7);
    Bytes.resize(30);
    TOpened O = OpenDeclarations(WriteFile(Dir, "Cut.dcu", Bytes));
    QVERIFY(O.Sheet->Failed());
    QVERIFY(O.View->ListingText().startsWith("No declarations: the file did not load."));
    QVERIFY(O.View->ListingText().contains(ViewTexts(O.Sheet->TextView).last()));
    QCOMPARE(O.View->Outline->model()->rowCount(), 0);
    QVERIFY(!O.View->SaveButton->isEnabled());
  }
};

VIEWER_TEST(TestDeclView);
#include "test_declview.moc"
