// Find in a folder tab: Ctrl+Shift+F, declarations by name with their unit,
// section, kind and listing line, the units that import them, unit names
// with their users; a double-click opens the unit at the declaration; the
// index follows the folder on disk. On the corpus (skipped without it): the
// DPE units, TDPEMain declared by the form unit alone and the nine units
// that import DPEMain from it.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>
#include <QTreeWidget>
#include <filesystem>

#include "DeclView.h"
#include "ListingView.h"
#include "FolderFind.h"
#include "FolderTab.h"
#include "FolderUnits.h"
#include "TestData.h"
#include "ViewerTestUtil.h"
#include "uMain.h"

using namespace viewertest;

namespace {

using TCol = TFolderFindPage::TColumn;

// A row as "unit|section|kind|declaration".
QString RowText(const QTreeWidgetItem* I) {
  QStringList T;
  for (int C = 0; C < 4; ++C) T << I->text(C);
  return T.join('|');
}
QStringList TopRows(const TFolderFindPage* P) {
  QStringList R;
  for (int I = 0; I < P->Results->topLevelItemCount(); ++I) R << RowText(P->Results->topLevelItem(I));
  return R;
}
QStringList Children(const QTreeWidgetItem* I) {
  QStringList R;
  for (int K = 0; K < I->childCount(); ++K) R << RowText(I->child(K)).section('|', 0, 2);
  return R;
}
void DoubleClick(QTreeWidget* Tree, QTreeWidgetItem* Item) {
  Tree->scrollToItem(Item);
  const QPoint At = Tree->visualItemRect(Item).center();
  QTest::mouseClick(Tree->viewport(), Qt::LeftButton, {}, At);
  QTest::mouseDClick(Tree->viewport(), Qt::LeftButton, {}, At);
}

}  // namespace

class TestFolderFind : public QObject {
  Q_OBJECT

 private slots:
  // The window's key, typing a pattern, the rows and their lines, unit names
  // and users, a double-click to the declaration and to a user.
  void findAndOpenTheUnitAtTheDeclaration() {
    QTemporaryDir Dir;
    // Lib declares Run and Shared; App imports Run in its interface, Tool
    // imports Shared in its implementation; Other declares a Run of its own.
    const QString Lib = WriteFile(Dir, "Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}, {"Shared", 2}}));
    const QString App = WriteFile(Dir, "App.dcu", unitbuilder::FolderUnit("App", 7, {{"Lib", {{"Run", 1}}}}));
    WriteFile(Dir, "Tool.dcu", unitbuilder::FolderUnit("Tool", 7, {{"lib", {{"SHARED", 2}}, 0x65}}));
    WriteFile(Dir, "Other.dcu", unitbuilder::FolderUnit("Other", 7, {}, {{"Run", 3}}));
    WriteFile(Dir, "Broken.dcu", {1, 2, 3});
    TfrmJXUnitPeek W;
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    TFolderTab* Tab = W.OpenFolder(Dir.path());
    QTRY_VERIFY(!Tab->Scanning() && Tab->Index() && Tab->Index()->Size() == 5);
    TFolderFindPage* P = Tab->FindPage;

    // The tab's Find button and the window's key both lead to the box.
    Tab->Pages->setCurrentIndex(0);
    QVERIFY(Tab->FindButton->isVisible());
    QTest::mouseClick(Tab->FindButton, Qt::LeftButton);
    QCOMPARE(Tab->Pages->currentWidget(), P);
    QTRY_VERIFY(P->FindBox->hasFocus());
    Tab->Pages->setCurrentIndex(0);
    QTest::keyClick(&W, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(Tab->Pages->currentWidget(), P);
    QTRY_VERIFY(P->FindBox->hasFocus());
    QTest::keyClicks(P->FindBox, "rUN");
    QTRY_COMPARE(P->Results->topLevelItemCount(), 2);
    QTRY_VERIFY(P->LinesDone());
    const QStringList Rows = TopRows(P);
    QVERIFY2(Rows[0].startsWith("Lib|interface|var|Run: "), qPrintable(Rows[0]));
    QVERIFY2(Rows[1].startsWith("Other|interface|var|Run: "), qPrintable(Rows[1]));
    QVERIFY(Rows[0].endsWith(';'));
    QCOMPARE(Children(P->Results->topLevelItem(0)), QStringList({"App|interface|uses"}));
    QCOMPARE(P->Results->topLevelItem(1)->childCount(), 0);
    QVERIFY2(P->Status->text().startsWith("2 declarations in "), qPrintable(P->Status->text()));

    // A double-click on Lib's Run: Lib's tab in front, its Declarations view
    // at Run.
    DoubleClick(P->Results, P->Results->topLevelItem(0));
    auto* Sheet = qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget());
    QVERIFY(Sheet);
    QCOMPARE(Sheet->Path(), Lib);
    QCOMPARE(Sheet->View(), TUnitView::Declarations);
    QCOMPARE(Sheet->DeclView()->Listing->SelectedText(), QStringLiteral("Run"));
    QCOMPARE(Sheet->DeclView()->Outline->currentIndex().data().toString(), QStringLiteral("Run"));
    QCOMPARE(Sheet->DeclView()->Outline->currentIndex().data(OutlineOffsetRole).toLongLong(),
             P->Results->topLevelItem(0)->data(0, TFolderFindPage::OffsetRole).toLongLong());

    // A unit name, in any letter case: its file and its users, where they
    // use it; a double-click on a user opens it.
    W.advPageControl->setCurrentWidget(Tab);
    P->Find("LIB");
    QCOMPARE(P->Results->topLevelItemCount(), 1);
    QTreeWidgetItem* Unit = P->Results->topLevelItem(0);
    QCOMPARE(RowText(Unit), QStringLiteral("Lib||unit|Lib.dcu; used by 2 units"));
    QCOMPARE(Children(Unit), QStringList({"App|interface|uses", "Tool|implementation|uses"}));
    QVERIFY(Unit->isExpanded());
    DoubleClick(P->Results, Unit->child(0));
    QCOMPARE(qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget())->Path(), App);
    QCOMPARE(qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget())->View(), TUnitView::Summary);

    // Wildcards: declarations and unit names together; the rows kept at most.
    P->MaxHits = 2;
    P->Find("*");
    QCOMPARE(P->Results->topLevelItemCount(), 4 + 2);  // App, Lib, Other, Tool; two of three declarations
    QVERIFY2(P->Status->text().startsWith("3 declarations (the first 2 shown), 4 unit names"),
             qPrintable(P->Status->text()));
    P->Find("?hared");
    QCOMPARE(TopRows(P).size(), 1);
    QCOMPARE(Children(P->Results->topLevelItem(0)), QStringList({"Tool|implementation|uses"}));
    P->Find("Nothing*");
    QCOMPARE(P->Results->topLevelItemCount(), 0);
    QCOMPARE(P->Status->text(), QStringLiteral("Nothing named Nothing*"));
    P->Find("");
    QVERIFY(P->Status->text().isEmpty());
  }

  // A declaration added on disk is found once the folder has settled, one
  // removed no longer; the index numbers its units as the report again.
  void findFollowsTheFolder() {
    QTemporaryDir Dir;
    WriteFile(Dir, "Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}}));
    WriteFile(Dir, "Old.dcu", unitbuilder::FolderUnit("Old", 7, {}, {{"Gone", 1}}));
    TFolderTab Tab(Dir.path());
    Tab.SettleMs = 50;
    QTRY_VERIFY(!Tab.Scanning() && Tab.Report().Units.size() == 2);
    Tab.FindPage->Find("Gone");
    QCOMPARE(Tab.FindPage->Results->topLevelItemCount(), 1);
    QSignalSpy Done(&Tab, &TFolderTab::scanFinished);

    QVERIFY(QFile::remove(Dir.filePath("Old.dcu")));
    WriteFile(Dir, "New.dcu", unitbuilder::FolderUnit("New", 7, {{"Lib", {{"Run", 1}}}}, {{"Gone", 7}}));
    QTRY_COMPARE_WITH_TIMEOUT(Done.count(), 1, 10000);
    QCOMPARE(Tab.Report().Units.size(), size_t(2));
    // The page ran its pattern again: the one Gone is New's now.
    QCOMPARE(Tab.FindPage->Results->topLevelItemCount(), 1);
    QCOMPARE(Tab.FindPage->Results->topLevelItem(0)->text(TCol::ColUnit), QStringLiteral("New"));
    QCOMPARE(Tab.Index()->Size(), Tab.Report().Units.size());
    for (uint32_t I = 0; I < Tab.Index()->Size(); ++I) QCOMPARE(Tab.Index()->Path(I), Tab.Report().Units[I].Path);
    Tab.FindPage->Find("run");
    QCOMPARE(Children(Tab.FindPage->Results->topLevelItem(0)), QStringList({"New|interface|uses"}));
  }

  // Rescan after a file was added and one removed: until the new scan is
  // done the page answers from the last whole index, then from the new one.
  void findAfterARescanWithAFileAddedAndOneRemoved() {
    QTemporaryDir Dir;
    WriteFile(Dir, "Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}}));
    WriteFile(Dir, "Old.dcu", unitbuilder::FolderUnit("Old", 7, {{"Lib", {{"Run", 1}}}}, {{"Gone", 1}}));
    TfrmJXUnitPeek W;
    W.show();
    TFolderTab* Tab = W.OpenFolder(Dir.path());
    Tab->SettleMs = 600000;  // only the rescan reads the folder again
    QTRY_VERIFY(!Tab->Scanning() && Tab->Index());
    TFolderFindPage* P = Tab->FindPage;
    P->Find("run");
    QCOMPARE(Children(P->Results->topLevelItem(0)), QStringList({"Old|interface|uses"}));

    QVERIFY(QFile::remove(Dir.filePath("Old.dcu")));
    WriteFile(Dir, "New.dcu", unitbuilder::FolderUnit("New", 7, {{"Lib", {{"Run", 1}}}}, {{"Gone", 7}}));
    QSignalSpy Done(Tab, &TFolderTab::scanFinished);
    QTest::keyClick(&W, Qt::Key_F5);
    QVERIFY(Tab->Scanning());
    P->Find("gone");
    QCOMPARE(TopRows(P).size(), 1);
    QCOMPARE(P->Results->topLevelItem(0)->text(TCol::ColUnit), QStringLiteral("Old"));

    QTRY_COMPARE(Done.count(), 1);
    // The pattern in the box was run again on the new index.
    QCOMPARE(TopRows(P).size(), 1);
    QCOMPARE(P->Results->topLevelItem(0)->text(TCol::ColUnit), QStringLiteral("New"));
    QTRY_VERIFY(P->LinesDone());
    QVERIFY2(TopRows(P)[0].startsWith("New|interface|var|Gone: "), qPrintable(TopRows(P)[0]));
    P->Find("run");
    QCOMPARE(Children(P->Results->topLevelItem(0)), QStringList({"New|interface|uses"}));
    P->Find("old");
    QCOMPARE(P->Results->topLevelItemCount(), 0);
    QCOMPARE(Tab->Index()->Size(), size_t(2));
  }

  // While the first scan runs the page answers from what is read so far; a
  // rescan begun meanwhile gives the page the index it builds.
  void findWhileTheFirstScanRuns() {
    QTemporaryDir Dir;
    for (const char* N : {"A1", "A2", "A3", "A4", "A5", "A6"})
      WriteFile(Dir, QString(N) + ".dcu", unitbuilder::FolderUnit(N, 7, {}, {{"Run", 1}}));
    TFolderTab Tab(Dir.path());
    Tab.SliceMs = 0;  // a unit at a time
    // A find after every unit read; after the third one of the first scan
    // a rescan, and a find before it begins.
    std::vector<int> Rows;
    bool Rescanned = false;
    connect(&Tab, &TFolderTab::scanProgress, &Tab, [&](int Done, int) {
      Tab.FindPage->Find("run");
      Rows.push_back(Tab.FindPage->Results->topLevelItemCount());
      if (Done == 3 && !Rescanned) {
        Rescanned = true;
        Tab.Rescan();
        Tab.FindPage->Find("run");
        Rows.push_back(Tab.FindPage->Results->topLevelItemCount());
      }
    });
    QTRY_VERIFY(Rescanned && !Tab.Scanning());
    QCOMPARE(Rows, std::vector<int>({1, 2, 3, 3, 1, 2, 3, 4, 5, 6}));
    QCOMPARE(Tab.FindPage->Results->topLevelItemCount(), 6);
    QCOMPARE(Tab.Index()->Size(), size_t(6));
  }

  // A unit name in several files: the row names the first, says how many
  // more there are, and lists them all in its tip.
  void unitNameInSeveralFiles() {
    QTemporaryDir Dir;
    QVERIFY(QDir(Dir.path()).mkpath("a") && QDir(Dir.path()).mkpath("b"));
    WriteFile(Dir, "a/Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}}));
    WriteFile(Dir, "b/Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 2}}));
    TFolderTab Tab(Dir.path());
    QTRY_VERIFY(!Tab.Scanning());
    Tab.FindPage->Find("lib");
    QCOMPARE(Tab.FindPage->Results->topLevelItemCount(), 1);
    const QTreeWidgetItem* Row = Tab.FindPage->Results->topLevelItem(0);
    QCOMPARE(RowText(Row), QStringLiteral("Lib||unit|a/Lib.dcu and 1 more; used by 0 units"));
    QCOMPARE(Row->toolTip(TCol::ColDeclaration), Dir.filePath("a/Lib.dcu") + '\n' + Dir.filePath("b/Lib.dcu"));
    QCOMPARE(Row->data(0, Qt::UserRole).toString(), Dir.filePath("a/Lib.dcu"));
  }

  void corpusFolderFindsTheFormAndItsUsers() {
    namespace fs = std::filesystem;
    const fs::path V3 = testdata::CorpusDir() / "v3";
    if (!fs::exists(V3 / "vrodic-DPE__DPEMFORM.dcu")) QSKIP("no corpus at ../shared/corpus: the DPE units are not there");
    // The DPE units linked into a folder of their own, as a user keeps them.
    QTemporaryDir Dir;
    int Linked = 0;
    for (const fs::path& F : testdata::FilesIn(V3)) {
      const std::string Name = F.filename().string();
      if (Name.rfind("vrodic-DPE__", 0) != 0) continue;
      QVERIFY(QFile::link(QString::fromStdString(fs::absolute(F).string()),
                          Dir.filePath(QString::fromStdString(Name.substr(12)))));
      ++Linked;
    }
    QVERIFY(Linked >= 20);
    TfrmJXUnitPeek W;
    W.show();
    TFolderTab* Tab = W.OpenFolder(Dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(!Tab->Scanning(), 20000);
    TFolderFindPage* P = Tab->FindPage;
    Tab->StartFind();

    P->Find("tdpemain");
    QTRY_VERIFY(P->LinesDone());
    QCOMPARE(TopRows(P), QStringList({"dpemform|interface|type|TDPEMain = class(TForm)"}));
    P->Find("DPEMain");
    QTRY_VERIFY(P->LinesDone());
    QCOMPARE(TopRows(P), QStringList({"dpemform|interface|var|DPEMain: TDPEMain;"}));
    const QStringList Users = Children(P->Results->topLevelItem(0));
    QCOMPARE(Users.size(), 9);
    for (const QString& U : Users) QVERIFY2(U.endsWith("|implementation|uses"), qPrintable(U));
    QVERIFY(Users.contains("ablendun|implementation|uses") && Users.contains("TifMap|implementation|uses"));
    // Members of the form by Class.Member.
    P->Find("TDPEMain.MNUFile");
    QTRY_VERIFY(P->LinesDone());
    QCOMPARE(TopRows(P), QStringList({"dpemform|interface|field|MNUFile: TMenuItem;"}));
    P->Find("tdpemain.mnu*");
    QVERIFY(P->Results->topLevelItemCount() > 10);

    // A double-click opens the form unit at the class.
    P->Find("TDPEMain");
    DoubleClick(P->Results, P->Results->topLevelItem(0));
    auto* Sheet = qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget());
    QVERIFY(Sheet);
    QCOMPARE(QFileInfo(Sheet->Path()).fileName(), QStringLiteral("DPEMFORM.dcu"));
    QCOMPARE(Sheet->DeclView()->Listing->SelectedText(), QStringLiteral("TDPEMain"));
  }
};

VIEWER_TEST(TestFolderFind);
#include "test_folderfind.moc"
