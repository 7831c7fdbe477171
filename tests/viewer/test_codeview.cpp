// The Code view of a file tab: built on Ctrl+4, the routines in the outline,
// links to a routine, a label and a declaration with Back (across routines
// and views), the Declarations view's routines leading to their code, find
// going on into the next routines, an instruction's bytes marked in the
// Bytes view, Copy; a file that did not load; the largest corpus unit.
#include <QAbstractItemModel>
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <filesystem>

#include "CodeListing.h"
#include "CodeView.h"
#include "DeclView.h"
#include "HexView.h"
#include "ListingView.h"
#include "TestData.h"
#include "UnitBuilder.h"
#include "ViewerTestUtil.h"
#include "uMain.h"

using namespace viewertest;

namespace {

// Machine code with its fixups, written byte by byte.
struct TAsm {
  std::vector<uint8_t> Bytes;
  std::vector<unitbuilder::FixupAt> Fixups;
  TAsm& B(std::initializer_list<uint8_t> Bs) {
    Bytes.insert(Bytes.end(), Bs);
    return *this;
  }
  // A 32-bit field filled by a fixup of Kind naming declaration Decl.
  TAsm& Fix(uint8_t Kind, uint32_t Decl) {
    Fixups.push_back({static_cast<uint32_t>(Bytes.size()), Kind, Decl});
    Bytes.insert(Bytes.end(), 4, 0);
    return *this;
  }
};

// Declaration numbers of the unit (version 7 keeps number 1 empty).
enum : uint32_t { NSystem = 2, NLStrAsg, NForm1, NHelper, NMain, NDemo };
constexpr uint8_t Absolute = 1, Relative = 2, BlockStart = 6, BlockEnd = 7;

// Offsets in Main of the instructions the tests look at.
constexpr uint32_t MainCallHelper = 0x08;
constexpr uint32_t MainRet = 0x19;

// A version 7 unit with a variable Form1 and three routines:
//   Helper  mov eax, edx; ret; one byte of alignment
//   Main    push ebp; mov ebp, esp; mov eax, [Form1]; call Helper;
//           call System.@LStrAsg; test eax, eax; jz @1; xor eax, eax;
//           @1: pop ebp; ret
//   Demo    the initialization: call Main; ret
std::vector<uint8_t> CodeUnit() {
  TAsm Helper, Main, Demo;
  Helper.B({0x8B, 0xC2, 0xC3, 0x00});
  Main.B({0x55, 0x8B, 0xEC})
      .B({0xA1}).Fix(Absolute, NForm1)
      .B({0xE8}).Fix(Relative, NHelper)
      .B({0xE8}).Fix(Relative, NLStrAsg)
      .B({0x85, 0xC0, 0x74, 0x02, 0x33, 0xC0})
      .B({0x5D, 0xC3});
  Demo.B({0xE8}).Fix(Relative, NMain).B({0xC3});
  std::vector<uint8_t> Block;
  std::vector<unitbuilder::FixupAt> Fixups;
  for (auto [Decl, Code] : {std::pair{NHelper, &Helper}, std::pair{NMain, &Main}, std::pair{NDemo, &Demo}}) {
    const auto At = static_cast<uint32_t>(Block.size());
    Fixups.push_back({At, BlockStart, Decl});
    for (const unitbuilder::FixupAt& F : Code->Fixups) Fixups.push_back({At + F.Ofs, F.Kind, F.Decl});
    Block.insert(Block.end(), Code->Bytes.begin(), Code->Bytes.end());
  }
  Fixups.push_back({static_cast<uint32_t>(Block.size()), BlockEnd, NDemo});
  unitbuilder::UnitBuilder B(7);
  B.Header();
  B.SourceFile("Demo.pas");
  B.Uses(0x64, "System").ImpAddr("@LStrAsg").EndEntry();
  B.VarDecl("Form1", 0, 0);
  B.Proc("Helper", static_cast<uint32_t>(Helper.Bytes.size()));
  B.Proc("Main", static_cast<uint32_t>(Main.Bytes.size()));
  B.Proc("Demo", static_cast<uint32_t>(Demo.Bytes.size()));
  B.DataBlockBytes(Block);
  B.FixupTable(Fixups);
  B.CodeLines({{10, 4}, {11, 4 + MainCallHelper}});
  B.Stop();
  return B.Finish();
}

struct TOpened {
  std::unique_ptr<TfrmJXUnitPeek> W;
  TAdvTabSheet* Sheet = nullptr;
  TCodeView* View = nullptr;
};

// A key pressed wherever the focus is in the window.
void Press(QWidget& W, int Key, Qt::KeyboardModifiers Mods = Qt::ControlModifier) {
  QWidget* To = QApplication::focusWidget();
  if (!To || To->window() != &W) To = &W;
  QTest::keyClick(To, static_cast<Qt::Key>(Key), Mods);
}

// The window with Path open in a tab in front, its Code view shown by Ctrl+4.
TOpened OpenCode(const QString& Path) {
  TOpened O;
  O.W = std::make_unique<TfrmJXUnitPeek>();
  O.W->resize(800, 500);
  O.W->show();
  O.W->activateWindow();
  O.W->OpenUnitFile(Path);
  O.W->advPageControl->setCurrentIndex(O.W->advPageControl->count() - 1);
  O.Sheet = qobject_cast<TAdvTabSheet*>(O.W->advPageControl->currentWidget());
  QApplication::processEvents();
  if (O.Sheet->CodeView()) qWarning("the Code view was built before it was shown");
  Press(*O.W, Qt::Key_4);
  O.View = O.Sheet->CodeView();
  QApplication::processEvents();
  return O;
}

// Position of the Nth occurrence of What in the listing, plus Into.
qsizetype At(const TListingView* L, const QString& What, qsizetype Into = 1, int Nth = 0) {
  qsizetype P = -1;
  for (int I = 0; I <= Nth; ++I) P = L->PlainText().indexOf(What, P + 1);
  return P < 0 ? -1 : P + Into;
}

// A click on the character at Pos, scrolled into sight first.
void ClickAt(TListingView* L, qsizetype Pos) {
  L->SetCursorPosition(Pos);
  L->EnsureCursorVisible();
  QTest::mouseClick(L->viewport(), Qt::LeftButton, Qt::NoModifier, L->PositionRect(Pos).center() + QPoint(3, 0));
}

size_t RoutineNamed(const TCodeView* V, const char* Name) {
  for (size_t I = 0; I < V->RoutineCount(); ++I)
    if (V->Head(I).Name == Name) return I;
  qFatal("no routine %s", Name);
}

}  // namespace

class TestCodeView : public QObject {
  Q_OBJECT
  QTemporaryDir Dir;
  QString Unit;

 private slots:
  void initTestCase() { Unit = WriteFile(Dir, "Code.dcu", CodeUnit()); }

  void ctrl4ShowsTheRoutinesOutlined() {
    TOpened O = OpenCode(Unit);
    QVERIFY(O.View);
    QCOMPARE(O.Sheet->View(), TUnitView::Code);
    QCOMPARE(O.Sheet->ViewWidget(), static_cast<QWidget*>(O.View));
    QVERIFY(O.Sheet->ViewButton(TUnitView::Code)->isChecked());
    QCOMPARE(O.Sheet->ViewButton(TUnitView::Code)->text(), QStringLiteral("Code"));
    const QAbstractItemModel* M = O.View->Outline->model();
    QCOMPARE(M->rowCount(), 3);
    QCOMPARE(M->index(0, 0).data().toString(), QStringLiteral("Helper"));
    QCOMPARE(M->index(1, 0).data().toString(), QStringLiteral("Main"));
    QCOMPARE(M->index(2, 0).data().toString(), QStringLiteral("Demo (initialization)"));
    // The first routine is shown; choosing another in the outline shows it.
    QCOMPARE(O.View->ShownIndex(), std::optional<size_t>(0));
    QVERIFY(O.View->Listing->PlainText().startsWith("Helper\n"));
    O.View->Outline->setCurrentIndex(M->index(1, 0));
    QCOMPARE(O.View->ShownIndex(), std::optional<size_t>(1));
    const QString Text = O.View->Listing->PlainText();
    for (const char* Line : {"mov eax, [Form1]", "call Helper", "call System.@LStrAsg", "jz @1", "\n@1:\n", "; 10",
                             "; 11"})
      QVERIFY2(Text.contains(QLatin1String(Line)), Line);
    QVERIFY(!O.View->CanGoBack());
    // Ctrl+1 and Ctrl+4 switch; the view is kept.
    Press(*O.W, Qt::Key_1);
    QCOMPARE(O.Sheet->View(), TUnitView::Summary);
    Press(*O.W, Qt::Key_4);
    QCOMPARE(O.Sheet->CodeView(), O.View);
    QCOMPARE(O.View->ShownIndex(), std::optional<size_t>(1));
  }

  void aRoutineAndALabelAreLinksWithBack() {
    TOpened O = OpenCode(Unit);
    TCodeView* V = O.View;
    TListingView* L = V->Listing;
    V->ShowRoutine(RoutineNamed(V, "Main"), false);
    // The call's target: to Helper's code, its heading selected.
    const qsizetype Call = At(L, "call Helper", 6);
    const qsizetype CallLine = L->Text().LineOf(Call);
    ClickAt(L, Call);
    QCOMPARE(V->Head(*V->ShownIndex()).Name, std::string("Helper"));
    QCOMPARE(L->SelectedText(), QStringLiteral("Helper"));
    QCOMPARE(L->CurrentLine(), 0);
    QVERIFY(V->CanGoBack() && V->BackButton->isEnabled());
    // Alt+Left: back in Main, at the call.
    L->setFocus();
    QTest::keyClick(L, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(V->Head(*V->ShownIndex()).Name, std::string("Main"));
    QCOMPARE(L->CurrentLine(), CallLine);
    QVERIFY(!V->CanGoBack());
    // A label: to the line where it stands.
    const qsizetype Jump = At(L, "jz @1", 4);
    ClickAt(L, Jump);
    QCOMPARE(L->CurrentLineText(), QStringLiteral("@1:"));
    QCOMPARE(L->SelectedText(), QStringLiteral("@1"));
    QVERIFY(V->Back());
    QCOMPARE(L->CurrentLine(), L->Text().LineOf(Jump));
    // A name of another unit is a link to the unit that declares it; with
    // no such unit at hand the status says so and the view stays.
    const TListingRun* Import = L->Text().RunAt(At(L, "System.@LStrAsg", 3));
    QVERIFY(Import && Import->IsLink());
    ClickAt(L, At(L, "System.@LStrAsg", 3));
    QCOMPARE(V->Status->text(), QStringLiteral("System.@LStrAsg is not declared in a unit at hand"));
    QCOMPARE(V->Head(*V->ShownIndex()).Name, std::string("Main"));
  }

  void aDeclarationIsALinkToTheDeclarationsViewWithBack() {
    TOpened O = OpenCode(Unit);
    TCodeView* V = O.View;
    V->ShowRoutine(RoutineNamed(V, "Main"), false);
    ClickAt(V->Listing, At(V->Listing, "[Form1]", 2));
    QCOMPARE(O.Sheet->View(), TUnitView::Declarations);
    TDeclView* D = O.Sheet->DeclView();
    QCOMPARE(D->Listing->SelectedText(), QStringLiteral("Form1"));
    QVERIFY(D->Listing->CurrentLineText().contains("Form1:"));
    QVERIFY(D->CanGoBack());
    // Back returns to the Code view, where it stood.
    QTest::keyClick(D->Listing, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(O.Sheet->View(), TUnitView::Code);
    QCOMPARE(V->Head(*V->ShownIndex()).Name, std::string("Main"));
    QVERIFY(!D->CanGoBack());
    // The heading leads to the routine's declaration.
    ClickAt(V->Listing, 1);
    QCOMPARE(O.Sheet->View(), TUnitView::Declarations);
    QCOMPARE(D->Listing->SelectedText(), QStringLiteral("Main"));
    QVERIFY(D->Listing->CurrentLineText().startsWith("procedure Main"));
    QVERIFY(D->Back());
    QCOMPARE(O.Sheet->View(), TUnitView::Code);
  }

  void aRoutineOfTheDeclarationsViewLeadsToItsCode() {
    TOpened O = OpenCode(Unit);
    Press(*O.W, Qt::Key_2);
    TDeclView* D = O.Sheet->DeclView();
    QVERIFY(D);
    // Routines with code are links; a variable is not.
    const qsizetype Name = At(D->Listing, "procedure Main", 11);
    QCOMPARE(D->Listing->Text().RunAt(Name)->Style, TRunStyle::NameLink);
    QCOMPARE(D->Listing->Text().RunAt(At(D->Listing, "Form1:", 1))->Style, TRunStyle::Name);
    ClickAt(D->Listing, Name);
    QCOMPARE(O.Sheet->View(), TUnitView::Code);
    QCOMPARE(O.View->Head(*O.View->ShownIndex()).Name, std::string("Main"));
    // Back to the Declarations view.
    QTest::keyClick(O.View->Listing, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(O.Sheet->View(), TUnitView::Declarations);
  }

  void findGoesOnIntoTheNextRoutines() {
    TOpened O = OpenCode(Unit);
    TCodeView* V = O.View;
    QCOMPARE(V->Head(*V->ShownIndex()).Name, std::string("Helper"));
    V->Listing->setFocus();
    Press(*O.W, Qt::Key_F);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(V->FilterBox));
    QTest::keyClicks(V->FilterBox, "call");
    QCOMPARE(V->MatchCount(), 0);  // none in Helper
    QVERIFY(V->Status->text().startsWith("No match in this routine"));
    // Enter: the first match in the routines after it.
    QTest::keyClick(V->FilterBox, Qt::Key_Return);
    QCOMPARE(V->Head(*V->ShownIndex()).Name, std::string("Main"));
    QCOMPARE(V->MatchCount(), 2);
    QCOMPARE(V->Listing->SelectedText(), QStringLiteral("call"));
    QVERIFY(V->Listing->CurrentLineText().contains("call Helper"));
    QCOMPARE(V->Listing->MatchesInLine(V->Listing->CurrentLine()).size(), size_t(1));
    QTest::keyClick(V->FilterBox, Qt::Key_Return);
    QVERIFY(V->Listing->CurrentLineText().contains("call System.@LStrAsg"));
    QTest::keyClick(V->FilterBox, Qt::Key_F3);
    QCOMPARE(V->Head(*V->ShownIndex()).Name, std::string("Demo"));
    QVERIFY(V->Listing->CurrentLineText().contains("call Main"));
    // Shift+Enter: back into Main, at its last match.
    QTest::keyClick(V->FilterBox, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(V->Head(*V->ShownIndex()).Name, std::string("Main"));
    QVERIFY(V->Listing->CurrentLineText().contains("call System.@LStrAsg"));
    // Nothing anywhere.
    V->SetFilter(QStringLiteral("cmpxchg"));
    QVERIFY(!V->NextMatch());
    QCOMPARE(V->Status->text(), QStringLiteral("No match"));
  }

  void anInstructionMarksItsBytesInTheBytesView() {
    TOpened O = OpenCode(Unit);
    TCodeView* V = O.View;
    const size_t Main = RoutineNamed(V, "Main");
    V->ShowRoutine(Main, false);
    const int64_t Start = V->Head(Main).Offset;
    // The caret on the call's line: its five bytes.
    V->Listing->SetCursorPosition(At(V->Listing, "call Helper"));
    QCOMPARE(V->Shown()->Items[static_cast<size_t>(V->CurrentItem())].Offset, MainCallHelper);
    Press(*O.W, Qt::Key_3);
    THexView* H = O.Sheet->HexView();
    QCOMPARE(H->Marks().size(), size_t(1));
    QCOMPARE(H->Marks()[0].Offset, Start + MainCallHelper);
    QCOMPARE(H->Marks()[0].Size, int64_t(5));
    QCOMPARE(static_cast<uint8_t>(H->Bytes().at(Start + MainCallHelper)), uint8_t(0xE8));
    QVERIFY(H->IsVisible(Start + MainCallHelper));
    QVERIFY(O.Sheet->BytesInfo()->text().contains("call Helper"));
    // Down in the listing moves to the next item; the last one, a byte.
    Press(*O.W, Qt::Key_4);
    V->Listing->SetCursorPosition(At(V->Listing, "ret"));
    QCOMPARE(V->Shown()->Items[static_cast<size_t>(V->CurrentItem())].Offset, MainRet);
    QCOMPARE(H->Marks()[0].Offset, Start + MainRet);
    QCOMPARE(H->Marks()[0].Size, int64_t(1));
    QCOMPARE(static_cast<uint8_t>(H->Bytes().at(Start + MainRet)), uint8_t(0xC3));
    // The heading is no item: the mark stays.
    V->Listing->SetCursorPosition(0);
    QCOMPARE(V->CurrentItem(), -1);
    QCOMPARE(H->Marks()[0].Offset, Start + MainRet);
    // A declaration chosen in the outline takes the mark over.
    Press(*O.W, Qt::Key_2);
    TDeclView* D = O.Sheet->DeclView();
    const QModelIndex First = D->Outline->model()->index(0, 0, D->Outline->model()->index(0, 0, D->Outline->model()->index(0, 0)));
    D->Outline->setCurrentIndex(First);
    QCOMPARE(H->Marks()[0].Size, int64_t(1));
    QCOMPARE(H->Marks()[0].Offset, First.data(OutlineOffsetRole).toLongLong());
  }

  void copyGivesTheRoutinesListing() {
    TOpened O = OpenCode(Unit);
    TCodeView* V = O.View;
    V->ShowRoutine(RoutineNamed(V, "Demo"), false);
    V->CopyButton->click();
    const QString Copied = QApplication::clipboard()->text();
    QCOMPARE(Copied, V->Listing->PlainText());
    QVERIFY(Copied.startsWith("Demo (initialization)\n"));
    QVERIFY(Copied.contains("call Main"));
    // Ctrl+C: the selection.
    V->Listing->setFocus();
    V->Listing->Select(At(V->Listing, "call Main", 0), 9);
    QTest::keyClick(V->Listing, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("call Main"));
  }

  // A source beside the unit that is not the one it was compiled from:
  // the note above the listing says so and the lines have no text; the
  // source it was compiled from shows its lines and no note.
  void aSourceThatDoesNotMatchIsNotUsed() {
    QTemporaryDir Own;
    const QString Path = WriteFile(Own, "Demo.dcu", CodeUnit());
    auto WriteSource = [&](int HeadingLine) {
      QByteArray Src;
      for (int I = 1; I <= 20; ++I) Src += I == HeadingLine ? "procedure Main;\n" : "begin\n";
      QFile F(Own.filePath("Demo.pas"));
      QVERIFY(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
      F.write(Src);
    };
    WriteSource(14);
    TOpened O = OpenCode(Path);
    QVERIFY(O.View->SourceNote);
    QVERIFY(O.View->SourceNote->isVisible());
    QVERIFY(O.View->SourceNote->text().startsWith("The source file " + Own.filePath("Demo.pas") +
                                                  " is not the one this unit was compiled from: 1 of 1 routines"));
    O.View->ShowRoutine(1);
    QVERIFY(O.View->Listing->PlainText().contains("; 10\n"));
    QVERIFY(!O.View->Listing->PlainText().contains("; 10: begin"));

    WriteSource(9);
    TOpened Good = OpenCode(QDir(Own.path()).filePath("./Demo.dcu"));
    QVERIFY(!Good.View->SourceNote);
    Good.View->ShowRoutine(1);
    QVERIFY(Good.View->Listing->PlainText().contains("; 10: begin"));
  }

  // A damaged file (cut in its last table) keeps what was read: the Code
  // view lists its routines under a note that says where reading stopped,
  // the Declarations view its declarations and then that line; a file
  // broken before its declarations keeps the message.
  void aDamagedFileKeepsWhatWasRead() {
    QTemporaryDir Own;
    std::vector<uint8_t> Bytes = CodeUnit();
    Bytes.resize(Bytes.size() - 2);
    unitbuilder::PatchStoredLength(Bytes);
    const QString Path = WriteFile(Own, "Cut.dcu", Bytes);
    TOpened O = OpenCode(Path);
    QVERIFY(O.Sheet->Failed());
    QCOMPARE(O.View->RoutineCount(), size_t(3));
    QVERIFY(O.View->SourceNote && O.View->SourceNote->isVisible());
    QVERIFY(O.View->SourceNote->text().contains("The file is damaged"));
    QVERIFY(O.View->SourceNote->text().contains("{reading stopped at 0x"));
    O.Sheet->ShowView(TUnitView::Declarations);
    const QString Decls = O.Sheet->DeclView()->Listing->PlainText();
    QVERIFY2(Decls.contains("procedure Main;"), qPrintable(Decls));
    QVERIFY(Decls.contains("end.\n\n{reading stopped at 0x"));
    QVERIFY(Decls.contains("{Error at 0x"));

    const QString Broken = WriteFile(Own, "Broken.dcu", {1, 2, 3});
    TOpened B = OpenCode(Broken);
    QVERIFY(B.View->Listing->PlainText().startsWith("No code: the file did not load."));
    B.Sheet->ShowView(TUnitView::Declarations);
    QVERIFY(B.Sheet->DeclView()->Listing->PlainText().startsWith("No declarations: the file did not load."));
  }

  // Save writes the routine shown as listed, or every routine of the unit.
  void saveWritesTheRoutineOrTheWholeUnit() {
    TOpened O = OpenCode(Unit);
    QTemporaryDir Out;
    QString Asked, Answer = Out.filePath("one.txt");
    O.View->AskSaveFile = [&](const QString& Suggested, const QString&) {
      Asked = Suggested;
      return Answer;
    };
    QVERIFY(O.View->SaveCodeButton->isEnabled());
    O.View->ShowRoutine(1);
    QVERIFY(O.View->SaveRoutine());
    QVERIFY(Asked.endsWith("/Code.Main.txt"));
    auto Read = [](const QString& P) {
      QFile F(P);
      return F.open(QIODevice::ReadOnly) ? QString::fromUtf8(F.readAll()) : QString();
    };
    QString Shown = O.View->Listing->PlainText();
    if (!Shown.endsWith('\n')) Shown += '\n';
    QCOMPARE(Read(Answer), Shown);
    Answer = Out.filePath("all.txt");
    QVERIFY(O.View->SaveAllRoutines());
    QVERIFY(Asked.endsWith("/Code.code.txt"));
    const QString All = Read(Answer);
    // Each routine under its name, a blank line between.
    QVERIFY2(All.startsWith("Helper\n"), qPrintable(All));
    QVERIFY(All.contains("\n\nMain\n  ; 10\n"));
    QVERIFY2(All.contains("\n\nDemo (initialization)\n"), qPrintable(All));
    Answer.clear();
    QVERIFY(!O.View->SaveRoutine());  // cancelled
  }

  void aFileThatDidNotLoadHasNoCode() {
    std::vector<uint8_t> Bytes = CodeUnit();
    Bytes.resize(40);
    TOpened O = OpenCode(WriteFile(Dir, "CutCode.dcu", Bytes));
    QVERIFY(O.Sheet->Failed());
    QVERIFY(O.View->Listing->PlainText().startsWith("No code: the file did not load."));
    QCOMPARE(O.View->Outline->model()->rowCount(), 0);
    QCOMPARE(O.View->RoutineCount(), size_t(0));
    QVERIFY(!O.View->CopyButton->isEnabled());
  }

  void theLargestCorpusUnitShowsItsCode() {
    namespace fs = std::filesystem;
    const fs::path File = testdata::CorpusDir() / "v5" / "Moobylicious-delphi5compiler__Imports_excel2000.dcu";
    if (!fs::exists(File)) QSKIP("no ../shared/corpus (the largest unit of the corpus is read from there)");
    QElapsedTimer T;
    T.start();
    TOpened O = OpenCode(QString::fromStdString(File.string()));
    O.View->repaint();
    qInfo("Code view of %s shown in %lld ms", File.filename().c_str(), static_cast<long long>(T.elapsed()));
    TCodeView* V = O.View;
    QVERIFY(V->RoutineCount() > 1000);
    QCOMPARE(static_cast<size_t>(V->Outline->model()->rowCount()), V->RoutineCount());
    // The last routine lists every byte of its piece, an item at a time.
    V->ShowRoutine(V->RoutineCount() - 1, false);
    const TCodeRoutine* R = V->Shown();
    QVERIFY(R && !R->Items.empty());
    uint32_t Bytes = 0;
    for (size_t I = 0; I < R->Items.size(); ++I) {
      QVERIFY(V->ItemLine(I) > 0);
      Bytes += R->Items[I].Size;
    }
    QCOMPARE(Bytes, R->Head.PieceSize);
  }
};

VIEWER_TEST(TestCodeView);
#include "test_codeview.moc"
