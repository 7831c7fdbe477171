// Units read with the units they use: the library folders kept in the
// settings and edited in their dialog (a new list for the tabs opened
// afterwards); a folder tab that lists the used units found in the library
// folders apart from the missing ones and finds in them, marked library; a
// type name of a used unit in the Declarations view that opens that unit at
// the declaration (the last unit used that declares it winning), Back
// returning across the tabs, the status line where no unit at hand declares
// it. On the corpus (skipped without it): a unit whose property defaults are
// enumeration names only with its used units at hand.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <filesystem>

#include "CorpusTrees.h"
#include "CodeView.h"
#include "DeclView.h"
#include "FolderFind.h"
#include "FolderTab.h"
#include "FolderUnits.h"
#include "LibraryFoldersDialog.h"
#include "ListingView.h"
#include "TestData.h"
#include "UsedUnits.h"
#include "ViewerSettings.h"
#include "ViewerTestUtil.h"
#include "uMain.h"

using namespace viewertest;

namespace {

// A window whose library folders dialog gives Answer (or is cancelled).
class TLibraryWindow : public TfrmJXUnitPeek {
 public:
  std::optional<QStringList> Answer;
  QStringList Shown;

 protected:
  bool RunLibraryFoldersDialog(QStringList& Folders) override {
    Shown = Folders;
    if (!Answer) return false;
    Folders = *Answer;
    return true;
  }
};

TAdvTabSheet* Current(TfrmJXUnitPeek& W) { return qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget()); }

// Follows the link at the first place of Text in the Declarations view of
// Sheet (Enter with the caret on it).
bool FollowLinkAt(TAdvTabSheet* Sheet, const QString& Text) {
  TDeclView* V = Sheet->DeclView();
  const qsizetype At = V->ListingText().indexOf(Text);
  if (At < 0) return false;
  V->Listing->SetCursorPosition(At + 1);
  QTest::keyClick(V->Listing, Qt::Key_Return);
  return true;
}

// Units that use each other: Alpha uses System and Other, both of which
// declare a type Integer (the name Alpha imports from System).
void WriteUsers(const QTemporaryDir& Dir, bool WithOther) {
  WriteFile(Dir, "Alpha.dcu", unitbuilder::MembersUnit("Alpha", "TAlpha", {{"Other"}}));
  WriteFile(Dir, "SYSTEM.DCU", unitbuilder::MembersUnit("System", "Integer"));
  if (WithOther) WriteFile(Dir, "Other.dcu", unitbuilder::MembersUnit("Other", "Integer"));
}

}  // namespace

class TestUsedUnits : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearSettings(); }

  void libraryFoldersAreKeptInTheSettings() {
    QCOMPARE(viewersettings::LibraryFolders(), QStringList());
    viewersettings::SetLibraryFolders({"/opt/lib", "", "/home/me/units", "/opt/lib"});
    // In order, without empty entries or repeats, also for the next run.
    QCOMPARE(viewersettings::LibraryFolders(), QStringList({"/opt/lib", "/home/me/units"}));
    QCOMPARE(QSettings().value("Library/Folders").toStringList(), QStringList({"/opt/lib", "/home/me/units"}));
    TfrmJXUnitPeek W;
    const std::shared_ptr<TUsedUnits> Lib = W.Library();
    QCOMPARE(Lib->Path(), std::vector<std::string>({"/opt/lib", "/home/me/units"}));
    QCOMPARE(W.Library(), Lib);  // one library for the window
    viewersettings::SetLibraryFolders({});
    QVERIFY(!QSettings().contains("Library/Folders"));
    // The command is at the end of the Open Folder button's menu.
    emit W.mnuRecentFolders->aboutToShow();
    QCOMPARE(W.mnuRecentFolders->actions().last(), W.actLibraryFolders);
    QCOMPARE(W.actLibraryFolders->text(), QStringLiteral("Library Folders..."));
  }

  void dialogAddsAndRemovesFolders() {
    TLibraryFoldersDialog D({"/a", "/b"});
    QCOMPARE(D.Folders(), QStringList({"/a", "/b"}));
    QVERIFY(!D.RemoveButton->isEnabled());
    QString Next = "/c/";
    D.AskFolder = [&Next] { return Next; };
    D.AddButton->click();
    QCOMPARE(D.Folders(), QStringList({"/a", "/b", "/c"}));
    // A folder listed already is not added again; a cancelled choice adds nothing.
    Next = "/a";
    D.AddButton->click();
    Next.clear();
    D.AddButton->click();
    QCOMPARE(D.Folders(), QStringList({"/a", "/b", "/c"}));
    D.List->clearSelection();
    D.List->item(0)->setSelected(true);
    D.List->item(2)->setSelected(true);
    QVERIFY(D.RemoveButton->isEnabled());
    D.RemoveButton->click();
    QCOMPARE(D.Folders(), QStringList({"/b"}));
  }

  // The window's library follows the list for the tabs opened after a
  // change; the tabs open keep theirs, a cancelled dialog changes nothing.
  void aChangedListAppliesToTabsOpenedAfterwards() {
    QTemporaryDir Dir;
    const QString A = CopySample(Dir, "A.dcu"), B = CopySample(Dir, "B.dcu");
    viewersettings::SetLibraryFolders({"/one"});
    TLibraryWindow W;
    W.OpenUnitFile(A);
    const std::shared_ptr<TUsedUnits> First = Current(W)->Library;
    QVERIFY(First);
    QVERIFY(!W.EditLibraryFolders());
    QCOMPARE(W.Shown, QStringList({"/one"}));
    QCOMPARE(W.Library(), First);
    W.Answer = QStringList({"/one", "/two"});
    W.actLibraryFolders->trigger();
    QCOMPARE(viewersettings::LibraryFolders(), QStringList({"/one", "/two"}));
    W.OpenUnitFile(B);
    QCOMPARE(Current(W)->Library->Path(), std::vector<std::string>({"/one", "/two"}));
    QCOMPARE(W.SheetOf(A)->Library, First);
  }

  // A type of a used unit leads to its declaration there, in a tab of its
  // own; Back returns to the tab left. Of two used units that declare the
  // name, the one used last wins.
  void aTypeOfAUsedUnitLeadsToItsDeclaration() {
    QTemporaryDir Dir;
    WriteUsers(Dir, true);
    TfrmJXUnitPeek W;
    W.resize(700, 400);
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    const QString Alpha = Dir.filePath("Alpha.dcu");
    W.OpenUnitFile(Alpha);
    TAdvTabSheet* From = Current(W);
    From->ShowView(TUnitView::Declarations);
    QCOMPARE(From->DeclView()->UsedUnits, QStringList({"System", "Other"}));
    QCOMPARE(From->UsedUnitDeclaring("Integer"), Dir.filePath("Other.dcu"));
    QCOMPARE(From->UsedUnitDeclaring("System.Integer"), Dir.filePath("SYSTEM.DCU"));
    QCOMPARE(From->UsedUnitDeclaring("Nowhere"), QString());
    // Names of routines too, and a qualified member by its unit and type,
    // as the Code view names them.
    QCOMPARE(From->UsedUnitDeclaring("Other.Twice"), Dir.filePath("Other.dcu"));
    QCOMPARE(From->UsedUnitDeclaring("System.Integer.GetCount"), Dir.filePath("SYSTEM.DCU"));
    QCOMPARE(From->UsedUnitDeclaring("Other.Nowhere"), QString());
    const int Tabs = W.advPageControl->count();
    QVERIFY(FollowLinkAt(From, "Integer;"));
    TAdvTabSheet* To = Current(W);
    QVERIFY(To != From);
    QCOMPARE(W.advPageControl->count(), Tabs + 1);
    QCOMPARE(To->Path(), Dir.filePath("Other.dcu"));
    QCOMPARE(To->View(), TUnitView::Declarations);
    // At the declaration, its name selected.
    QCOMPARE(To->DeclView()->Listing->SelectedText(), QStringLiteral("Integer"));
    QVERIFY(To->DeclView()->Listing->Text().Place(To->DeclView()->TypeDeclaration("integer")));
    // Alt+Left: back in Alpha's tab, its Declarations view.
    QTest::keyClick(To->DeclView()->Listing, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(Current(W), From);
    QCOMPARE(From->View(), TUnitView::Declarations);
    // Followed again: the open tab, no new one.
    QVERIFY(FollowLinkAt(From, "Integer;"));
    QCOMPARE(Current(W), To);
    QCOMPARE(W.advPageControl->count(), Tabs + 1);
    // The tab left is closed: Back has nowhere to go and stays.
    W.advTabSheetInfoClose(From);
    QApplication::processEvents();
    QTest::keyClick(To->DeclView()->Listing, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(Current(W), To);
  }

  // With only System beside it, Integer is System's; with nothing beside
  // it, the view says that the unit does not declare it.
  void withoutTheUsedUnitTheStatusSaysSo() {
    QTemporaryDir Dir;
    WriteUsers(Dir, false);
    TfrmJXUnitPeek W;
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    W.OpenUnitFile(Dir.filePath("Alpha.dcu"));
    TAdvTabSheet* From = Current(W);
    From->ShowView(TUnitView::Declarations);
    QCOMPARE(From->UsedUnitDeclaring("Integer"), Dir.filePath("SYSTEM.DCU"));

    QTemporaryDir Alone;
    WriteFile(Alone, "Alpha.dcu", unitbuilder::MembersUnit("Alpha", "TAlpha", {{"Other"}}));
    W.OpenUnitFile(Alone.filePath("Alpha.dcu"));
    TAdvTabSheet* Lone = Current(W);
    Lone->ShowView(TUnitView::Declarations);
    const int Tabs = W.advPageControl->count();
    QVERIFY(FollowLinkAt(Lone, "Integer;"));
    QCOMPARE(Current(W), Lone);
    QCOMPARE(W.advPageControl->count(), Tabs);
    QCOMPARE(Lone->DeclView()->Status->text(), QStringLiteral("Integer is not declared in this unit"));
  }

  // A used unit found in the library folders is a library unit, not a
  // missing one; Find searches the library's units too, marked so.
  void folderTabListsAndFindsLibraryUnits() {
    QTemporaryDir Set, Lib;
    WriteFile(Set, "App.dcu", unitbuilder::FolderUnit("App", 7, {{"Shared", {{"Tool", 5}}}, {"Gone"}}));
    WriteFile(Lib, "shared.dcu", unitbuilder::FolderUnit("Shared", 7, {}, {{"Tool", 5}}));
    TFolderTab Tab(Set.path(), nullptr, {QFile::encodeName(Lib.path()).toStdString()});
    QTRY_VERIFY(!Tab.Scanning() && Tab.Index());
    QCOMPARE(Tab.Report().Library.size(), size_t(1));
    QCOMPARE(Tab.Index()->Size(), size_t(2));
    QVERIFY(Tab.Index()->Library(1) && !Tab.Index()->Library(0));
    // The Findings page: Gone is missing, Shared a library unit.
    QStringList Groups;
    QTreeWidgetItem* LibGroup = nullptr;
    for (int I = 0; I < Tab.FindingsList->topLevelItemCount(); ++I) {
      QTreeWidgetItem* G = Tab.FindingsList->topLevelItem(I);
      Groups << G->text(0);
      if (G->text(0).startsWith("library units")) LibGroup = G;
    }
    QVERIFY2(LibGroup, qPrintable(Groups.join('\n')));
    QCOMPARE(LibGroup->childCount(), 1);
    QVERIFY(LibGroup->child(0)->text(0).startsWith("Shared (" + Lib.filePath("shared.dcu") + "), used by 1 unit"));
    QCOMPARE(LibGroup->child(0)->data(0, Qt::UserRole).toString(), Lib.filePath("shared.dcu"));
    bool Missing = false;
    for (int I = 0; I < Tab.FindingsList->topLevelItemCount(); ++I)
      for (int K = 0; K < Tab.FindingsList->topLevelItem(I)->childCount(); ++K) {
        const QString Line = Tab.FindingsList->topLevelItem(I)->child(K)->text(0);
        if (Tab.FindingsList->topLevelItem(I) != LibGroup && Line.contains("Gone")) Missing = true;
        QVERIFY2(Tab.FindingsList->topLevelItem(I) == LibGroup || !Line.contains("Shared"), qPrintable(Line));
      }
    QVERIFY(Missing);
    // Find: the declaration in the library unit, marked library.
    Tab.FindPage->Find("Tool");
    QCOMPARE(Tab.FindPage->Results->topLevelItemCount(), 1);
    QTreeWidgetItem* Hit = Tab.FindPage->Results->topLevelItem(0);
    QCOMPARE(Hit->text(TFolderFindPage::ColUnit), QStringLiteral("Shared (library)"));
    QCOMPARE(Hit->childCount(), 1);
    QCOMPARE(Hit->child(0)->text(TFolderFindPage::ColUnit), QStringLiteral("App"));
    Tab.FindPage->Find("Shared");
    QVERIFY(Tab.FindPage->Results->topLevelItem(0)->text(TFolderFindPage::ColDeclaration).contains("(library)"));
    // Read again (a change in the folder): the library units stay, after the set's.
    WriteFile(Set, "More.dcu", unitbuilder::FolderUnit("More", 7, {{"Shared", {{"Tool", 5}}}}));
    Tab.Refresh();
    QTRY_VERIFY(!Tab.Scanning() && Tab.Report().Units.size() == 2);
    QCOMPARE(Tab.Index()->Size(), size_t(3));
    QVERIFY(!Tab.Index()->Library(1) && Tab.Index()->Library(2));
    QCOMPARE(Tab.Report().Library.size(), size_t(1));
    QCOMPARE(Tab.Index()->Path(2), QFile::encodeName(Lib.filePath("shared.dcu")).toStdString());
    Tab.FindPage->Find("Tool");
    QCOMPARE(Tab.FindPage->Results->topLevelItem(0)->childCount(), 2);
  }

  // The corpus: the standard controls unit of a runtime library, whose
  // property defaults are numbers alone and names with the units it uses
  // at hand: beside it in its folder, or in a library folder of the settings.
  void aUnitTabDecodesWithItsUsedUnits() {
    const std::filesystem::path File =
        testdata::CorpusDir() / "v5" / "Moobylicious-delphi5compiler__lib_Debug_stdctrls.dcu";
    const std::filesystem::path InTree = testdata::TreePathOf(File);
    if (InTree.empty() || !std::filesystem::exists(File)) QSKIP("the corpus or its manifest is absent");
    const QString Alone = QString::fromStdString(File.string()), Beside = QString::fromStdString(InTree.string());
    QTemporaryDir Copy;
    const QString Apart = Copy.filePath("stdctrls.dcu");
    QVERIFY(QFile::copy(Alone, Apart));
    auto Listing = [](TfrmJXUnitPeek& W, const QString& Path) {
      W.OpenUnitFile(Path);
      TAdvTabSheet* S = W.SheetOf(Path);
      S->ShowView(TUnitView::Declarations);
      return S->DeclView()->ListingText();
    };
    const QString Numbers = "property Anchors default 3;", Names = "property Anchors default [akLeft, akTop];";
    {
      TfrmJXUnitPeek W;
      const QString L = Listing(W, Alone);
      QVERIFY(L.contains(Numbers) && !L.contains(Names));
      const QString M = Listing(W, Beside);
      QVERIFY(M.contains(Names) && M.contains("property Align default alNone;") && !M.contains(Numbers));
    }
    viewersettings::SetLibraryFolders({QString::fromStdString(InTree.parent_path().string())});
    TfrmJXUnitPeek W;
    QVERIFY(Listing(W, Apart).contains(Names));
    // A type of Controls leads there.
    TAdvTabSheet* S = W.SheetOf(Apart);
    QCOMPARE(QFileInfo(S->UsedUnitDeclaring("TAnchors")).fileName().toLower(), QStringLiteral("controls.dcu"));

    // In the Code view, a name of Controls (a call, an address) is a link
    // to its declaration there; Back returns to the Code view.
    S->ShowView(TUnitView::Code);
    TCodeView* C = S->CodeView();
    qsizetype At = -1;
    for (size_t I = 0; I < C->RoutineCount() && At < 0; ++I) {
      C->ShowRoutine(I, false);
      At = C->Listing->PlainText().indexOf(QStringLiteral("Controls.TWinControl."));
    }
    QVERIFY(At >= 0);
    C->Listing->SetCursorPosition(At + 1);
    QTest::keyClick(C->Listing, Qt::Key_Return);
    TAdvTabSheet* To = Current(W);
    QVERIFY(To != S);
    QCOMPARE(QFileInfo(To->Path()).fileName().toLower(), QStringLiteral("controls.dcu"));
    // The method itself where the unit lists it, else its class.
    QVERIFY(To->DeclView()->Listing->SelectedText().startsWith(QStringLiteral("TWinControl")));
    QTest::keyClick(To->DeclView()->Listing, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(Current(W), S);
    QCOMPARE(S->View(), TUnitView::Code);
  }
};

VIEWER_TEST(TestUsedUnits);

#include "test_usedunits.moc"
