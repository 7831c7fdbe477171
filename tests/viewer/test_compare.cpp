// Two builds of a unit compared in the viewer: a comparison tab with the text
// the command line's --diff writes (read-only, fixed font), asked for from a
// file tab's Compare With... (another open tab or a file) and from a folder
// tab (two units selected, a finding of one unit in several files, or of a
// unit compiled against another build of a unit the folder has two of).
#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <sstream>

#include "CompareTab.h"
#include "FolderTab.h"
#include "FolderUnits.h"
#include "UnitDiff.h"
#include "UnitDiffWriters.h"
#include "UsedUnits.h"
#include "ViewerTestUtil.h"
#include "uMain.h"

using namespace viewertest;
using unitbuilder::FolderUnit;

namespace {

class TCompareWindow : public TfrmJXUnitPeek {
 public:
  QString Chosen;
  QString AskedFor;

 protected:
  QString RunCompareFileDialog(const QString& Path) override {
    AskedFor = Path;
    return Chosen;
  }
};

// What unitpeek-dump --diff A B writes.
QString DiffText(const QString& A, const QString& B) {
  TUsedUnits Library;
  std::ostringstream Out;
  WriteUnitDiffText(CompareUnitFiles(A.toStdString(), B.toStdString(), &Library), Out);
  return QString::fromStdString(Out.str());
}

TCompareTab* CurrentCompare(TfrmJXUnitPeek& W) { return qobject_cast<TCompareTab*>(W.advPageControl->currentWidget()); }

// The entries of the Compare With... menu of Sheet, filled as when it opens.
QList<QAction*> CompareEntries(TAdvTabSheet* Sheet) {
  QMenu* Menu = Sheet->CompareButton()->menu();
  emit Menu->aboutToShow();
  QList<QAction*> L;
  for (QAction* A : Menu->actions())
    if (!A->isSeparator()) L << A;
  return L;
}

}  // namespace

class TestCompare : public QObject {
  Q_OBJECT
  QTemporaryDir Dir;

 private slots:
  void init() { ClearSettings(); }

  // A version, a used unit, a declaration removed and one added: the tab
  // shows what --diff writes, and a unit against itself no difference.
  void compareTabShowsTheDiffText() {
    const QString A = WriteFile(Dir, "OldLib.dcu", FolderUnit("Lib", 6, {{"Base"}}, {{"Keep", 1}, {"Gone", 2}}));
    const QString B = WriteFile(Dir, "NewLib.dcu", FolderUnit("Lib", 7, {{"Base"}, {"More"}}, {{"Keep", 1}, {"New", 4}}));
    TfrmJXUnitPeek W;
    const int Tabs = W.advPageControl->count();
    TCompareTab* T = W.CompareUnits(A, B);
    QVERIFY(T);
    QCOMPARE(CurrentCompare(W), T);
    QCOMPARE(W.advPageControl->count(), Tabs + 1);
    QCOMPARE(W.advPageControl->tabText(W.advPageControl->currentIndex()), QStringLiteral("OldLib.dcu \u2194 NewLib.dcu"));
    QCOMPARE(T->Text(), DiffText(A, B));
    QVERIFY(T->Text().contains("Gone") && T->Text().contains("New") && T->Text().contains("More"));
    QVERIFY(!T->Same());
    QVERIFY(T->View->isReadOnly());
    QVERIFY(QFontInfo(T->View->font()).fixedPitch());
    // The same pair again: the same tab, compared again.
    QCOMPARE(W.CompareUnits(A, B), T);
    QCOMPARE(W.advPageControl->count(), Tabs + 1);
    // A unit against itself; a file that does not load.
    TCompareTab* Self = W.CompareUnits(A, A);
    QVERIFY(Self != T && Self->Same());
    QVERIFY(Self->Text().contains("No difference"));
    QCOMPARE(Self->Verdict->text(), QStringLiteral("No difference."));
    const QString Bad = WriteFile(Dir, "Bad.dcu", {1, 2, 3});
    TCompareTab* Broken = W.CompareUnits(A, Bad);
    QCOMPARE(Broken->Text(), DiffText(A, Bad));
    QCOMPARE(Broken->Verdict->text(), QStringLiteral("A unit did not load."));
    // It closes as any tab.
    W.advTabSheetInfoClose(Broken);
    QCOMPARE(W.advPageControl->count(), Tabs + 2);
  }

  // Compare With...: the other open file tabs, and a file asked for.
  void compareWithOffersTheOtherTabsAndAFile() {
    const QString A = WriteFile(Dir, "A.dcu", FolderUnit("Lib", 7, {}, {{"One", 1}}));
    const QString B = WriteFile(Dir, "B.dcu", FolderUnit("Lib", 7, {}, {{"Two", 2}}));
    const QString C = WriteFile(Dir, "C.dcu", FolderUnit("Lib", 7, {}, {{"One", 1}}));
    TCompareWindow W;
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    W.OpenUnitFile(A);
    TAdvTabSheet* SheetA = W.SheetOf(A);
    QList<QAction*> Alone = CompareEntries(SheetA);
    QCOMPARE(Alone.size(), 2);
    QVERIFY(!Alone[0]->isEnabled());  // no other unit open
    QCOMPARE(Alone[1]->text(), QStringLiteral("Other File..."));
    W.OpenUnitFile(B);
    QList<QAction*> Entries = CompareEntries(SheetA);
    QCOMPARE(Entries.size(), 2);
    QCOMPARE(Entries[0]->text(), B);
    Entries[0]->trigger();
    TCompareTab* T = CurrentCompare(W);
    QVERIFY(T);
    QCOMPARE(T->PathA(), A);
    QCOMPARE(T->PathB(), B);
    QCOMPARE(T->Text(), DiffText(A, B));
    // A file: asked for beside the unit; cancelled, nothing opens.
    const int Tabs = W.advPageControl->count();
    CompareEntries(SheetA).last()->trigger();
    QCOMPARE(W.AskedFor, A);
    QCOMPARE(W.advPageControl->count(), Tabs);
    W.Chosen = C;
    CompareEntries(SheetA).last()->trigger();
    QCOMPARE(CurrentCompare(W)->PathB(), C);
    QVERIFY(CurrentCompare(W)->Same());
  }

  // A folder tab: Compare takes the two units selected in the table, or the
  // files of a duplicate-unit finding, and the window opens their tab.
  void folderTabComparesTwoUnitsOrAFindingsFiles() {
    QTemporaryDir Folder;
    QDir(Folder.path()).mkpath("a");
    QDir(Folder.path()).mkpath("b");
    const QString A = WriteFile(Folder, "a/Dup.dcu", FolderUnit("Dup", 7, {}, {{"One", 1}}));
    const QString B = WriteFile(Folder, "b/Dup.dcu", FolderUnit("Dup", 7, {}, {{"Two", 2}}));
    const QString C = WriteFile(Folder, "Other.dcu", FolderUnit("Other", 7, {}));
    TfrmJXUnitPeek W;
    TFolderTab* Tab = W.OpenFolder(Folder.path());
    QTRY_VERIFY(!Tab->Scanning());
    QSignalSpy Asked(Tab, &TFolderTab::compareRequested);
    QVERIFY(!Tab->CompareButton->isEnabled());
    // Two rows of the table.
    Tab->Pages->setCurrentWidget(Tab->UnitsTable);
    Tab->UnitsTable->sortItems(0);
    QCOMPARE(Tab->UnitsTable->item(0, 0)->data(Qt::UserRole).toString(), C);
    Tab->UnitsTable->selectRow(1);
    QVERIFY(!Tab->CompareButton->isEnabled());
    Tab->UnitsTable->setSelectionMode(QAbstractItemView::MultiSelection);
    Tab->UnitsTable->selectRow(2);
    QVERIFY(Tab->CompareButton->isEnabled());
    QStringList Pair = Tab->CompareFiles();
    Pair.sort();
    QCOMPARE(Pair, QStringList({A, B}));
    Tab->UnitsTable->selectRow(0);  // three: not a pair
    QVERIFY(!Tab->CompareButton->isEnabled() && !Tab->CompareSelected());
    // The duplicate-unit finding: its two files.
    Tab->Pages->setCurrentWidget(Tab->FindingsList);
    QTreeWidgetItem* Line = nullptr;
    for (int I = 0; I < Tab->FindingsList->topLevelItemCount(); ++I)
      if (Tab->FindingsList->topLevelItem(I)->text(0).startsWith("duplicate-unit"))
        Line = Tab->FindingsList->topLevelItem(I)->child(0);
    QVERIFY(Line);
    QVERIFY(!Tab->CompareButton->isEnabled());
    Tab->FindingsList->setCurrentItem(Line);
    QVERIFY(Tab->CompareButton->isEnabled());
    Tab->CompareButton->click();
    QCOMPARE(Asked.count(), 1);
    QCOMPARE(Asked.at(0).at(0).toString(), A);
    QCOMPARE(Asked.at(0).at(1).toString(), B);
    TCompareTab* T = CurrentCompare(W);
    QVERIFY(T);
    QCOMPARE(T->Text(), DiffText(A, B));
  }

  // A unit compiled against another build of Lib: with two builds of Lib in
  // the folder the finding compares them; with one there is nothing to
  // compare it with.
  void interfaceMismatchComparesTheBuildsOfTheUsedUnit() {
    for (const bool TwoBuilds : {true, false}) {
      QTemporaryDir Folder;
      QDir(Folder.path()).mkpath("old");
      WriteFile(Folder, "App.dcu", FolderUnit("App", 7, {{"Lib", {{"Run", 2}}}}));
      const QString Lib = WriteFile(Folder, "Lib.dcu", FolderUnit("Lib", 7, {}, {{"Run", 1}}));
      const QString Old = TwoBuilds ? WriteFile(Folder, "old/Lib.dcu", FolderUnit("Lib", 7, {}, {{"Run", 3}})) : QString();
      TFolderTab Tab(Folder.path());
      QTRY_VERIFY(!Tab.Scanning());
      Tab.Pages->setCurrentWidget(Tab.FindingsList);
      QTreeWidgetItem* Line = nullptr;
      for (int I = 0; I < Tab.FindingsList->topLevelItemCount(); ++I)
        if (Tab.FindingsList->topLevelItem(I)->text(0).startsWith("interface-mismatch"))
          Line = Tab.FindingsList->topLevelItem(I)->child(0);
      QVERIFY(Line);
      Tab.FindingsList->setCurrentItem(Line);
      QStringList Files = Tab.CompareFiles();
      // The build it was checked against first.
      if (TwoBuilds) QCOMPARE(Files.first(), Lib);
      Files.sort();
      QCOMPARE(Files, TwoBuilds ? QStringList({Lib, Old}) : QStringList());
      QCOMPARE(Tab.CompareButton->isEnabled(), TwoBuilds);
    }
  }
};

VIEWER_TEST(TestCompare);

#include "test_compare.moc"
