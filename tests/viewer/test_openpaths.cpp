// Folders wherever files go: the command line, drops and the Open Folder
// dialog open a folder in a folder tab and a file in a file tab; every new
// tab comes to the front, an open folder or file is brought there again; a
// unit opened at a declaration shows it in its Declarations view.
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeView>
#include <QTableWidget>
#include <QTest>

#include "DeclView.h"
#include "ListingView.h"
#include "FolderTab.h"
#include "FolderUnits.h"
#include "JX_hotButton.h"
#include "Jx_PanelDropFile.h"
#include "ViewerTestUtil.h"
#include "uMain.h"

using namespace viewertest;

namespace {

class TDialogWindow : public TfrmJXUnitPeek {
 public:
  using TfrmJXUnitPeek::TfrmJXUnitPeek;
  QString Folder;
  QStringList Files;

 protected:
  QString RunOpenFolderDialog() override { return Folder; }
  QStringList RunOpenDialog() override { return Files; }
};

QStringList Captions(const TfrmJXUnitPeek& W) {
  QStringList C;
  for (int I = 0; I < W.advPageControl->count(); ++I) C << W.advPageControl->tabText(I);
  return C;
}

// A folder of two units, App using Lib.
void FillFolder(const QTemporaryDir& Dir) {
  WriteFile(Dir, "App.dcu", unitbuilder::FolderUnit("App", 7, {{"Lib", {{"Run", 1}}}}));
  WriteFile(Dir, "Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}}));
}

QString FolderCaption(const QTemporaryDir& Dir) { return QFileInfo(Dir.path()).fileName() + QLatin1Char('/'); }

}  // namespace

class TestOpenPaths : public QObject {
  Q_OBJECT
  QTemporaryDir Dir;

 private slots:
  // `unitpeek FILE FOLDER FILE`: each in the order given, the folder in a
  // folder tab that scans it; the last one in front.
  void commandLineOpensFoldersInFolderTabs() {
    QTemporaryDir Folder;
    FillFolder(Folder);
    const QString A = CopySample(Dir, "CmdA.dcu"), B = CopySample(Dir, "CmdB.dcu", 3);
    TfrmJXUnitPeek W({A, Folder.path(), B});
    W.show();
    QCOMPARE(Captions(W), QStringList({"Program Info", "CmdA.dcu", FolderCaption(Folder), "CmdB.dcu"}));
    QCOMPARE(W.advPageControl->currentIndex(), 3);
    auto* Tab = qobject_cast<TFolderTab*>(W.advPageControl->widget(2));
    QVERIFY(Tab);
    QCOMPARE(Tab->Path(), Folder.path());
    QCOMPARE(W.FileIndex().size(), size_t(2));  // the folder is no file
    QTRY_VERIFY(!Tab->Scanning() && Tab->Report().Units.size() == 2);
    QVERIFY(Tab->Report().Clean());

    // A folder last on the line is in front; its path with a slash at the
    // end is the same folder and names the tab as well.
    TfrmJXUnitPeek Last({A, Folder.path() + "/"});
    Last.show();
    QCOMPARE(Captions(Last), QStringList({"Program Info", "CmdA.dcu", FolderCaption(Folder)}));
    QVERIFY(qobject_cast<TFolderTab*>(Last.advPageControl->currentWidget()));
    QCOMPARE(Last.OpenFolder(Folder.path()), Last.advPageControl->currentWidget());
    QCOMPARE(Last.advPageControl->count(), 3);
  }

  // A drop of folders and files opens each in its kind of tab, in the
  // drop's order; a folder dropped again brings its tab to the front.
  void dropOfAFolderOpensAFolderTab() {
    QTemporaryDir Folder;
    FillFolder(Folder);
    const QString File = CopySample(Dir, "DropWithFolder.dcu");
    TfrmJXUnitPeek W;
    W.show();
    QVERIFY(DragEnters(W.jxnBack, FileUrls({Folder.path()})));
    QVERIFY(Drops(W.jxnBack, FileUrls({File, Folder.path()})));
    QCOMPARE(Captions(W), QStringList({"Program Info", "DropWithFolder.dcu", FolderCaption(Folder)}));
    auto* Tab = qobject_cast<TFolderTab*>(W.advPageControl->currentWidget());
    QVERIFY(Tab);
    QTRY_VERIFY(!Tab->Scanning() && Tab->Report().Units.size() == 2);
    QVERIFY(W.jxnBack->Accept());

    W.advPageControl->setCurrentIndex(1);
    QVERIFY(Drops(W.jxnBack, FileUrls({Folder.path()})));
    QCOMPARE(W.advPageControl->count(), 3);
    QCOMPARE(W.advPageControl->currentWidget(), Tab);
    // A link to the folder is the same folder.
    const QString Link = Dir.filePath("FolderLink");
    QVERIFY(QFile::link(Folder.path(), Link));
    W.advPageControl->setCurrentIndex(0);
    W.OpenPath(Link);
    QCOMPARE(W.advPageControl->count(), 3);
    QCOMPARE(W.advPageControl->currentWidget(), Tab);
  }

  // Whatever is opened, and however, the new tab is the one in front: a
  // file, a file that fails, a folder; an open file or folder asked for
  // again comes to the front without a second tab.
  void everyNewTabComesToTheFront() {
    QTemporaryDir Folder;
    FillFolder(Folder);
    const QString Good = CopySample(Dir, "FrontGood.dcu");
    const QString Bad = WriteFile(Dir, "FrontBad.dcu", {'x', 'y'});
    const QString Missing = Dir.filePath("FrontMissing.dcu");
    TDialogWindow W;
    W.show();
    W.Files = {Good};
    W.jxhOpen->click();
    QCOMPARE(W.advPageControl->currentIndex(), 1);
    W.Files = {Bad, Missing};
    W.jxhOpen->click();
    QCOMPARE(W.advPageControl->currentIndex(), 3);
    QVERIFY(qobject_cast<TAdvTabSheet*>(W.advPageControl->widget(2))->Failed());
    QVERIFY(qobject_cast<TAdvTabSheet*>(W.advPageControl->widget(3))->Failed());
    W.Folder = Folder.path();
    W.jxhOpenFolder->click();
    QCOMPARE(W.advPageControl->currentIndex(), 4);
    auto* Tab = qobject_cast<TFolderTab*>(W.advPageControl->currentWidget());
    QVERIFY(Tab);

    // Open already: to the front, nothing new.
    W.Files = {Bad};
    W.jxhOpen->click();
    QCOMPARE(W.advPageControl->currentIndex(), 2);
    W.jxhOpenFolder->click();
    QCOMPARE(W.advPageControl->currentWidget(), Tab);
    QCOMPARE(W.advPageControl->count(), 5);
    // The folder tab's own requests: the unit in front.
    QTRY_VERIFY(!Tab->Scanning());
    Tab->UnitsTable->sortItems(0);
    Tab->OpenRow(0);
    QCOMPARE(W.advPageControl->count(), 6);
    auto* Unit = qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget());
    QVERIFY(Unit);
    QCOMPARE(QFileInfo(Unit->Path()).fileName(), QStringLiteral("App.dcu"));
    QCOMPARE(W.windowTitle(), QStringLiteral("App.dcu \u2014 UnitPeek"));
    // A cancelled folder dialog opens nothing.
    W.Folder.clear();
    W.jxhOpenFolder->click();
    QCOMPARE(W.advPageControl->count(), 6);
  }

  // A declaration asked for by its tag byte's offset: the unit's tab in
  // front, its Declarations view, the declaration's name selected and in
  // sight, also when the view is built just then; an offset that is no
  // declaration's leaves the view at its start.
  void openDeclarationShowsTheListingThere() {
    const QString Path = CopySample(Dir, "AtDecl.dcu");
    QString Name;
    qlonglong Offset = -1;
    {
      TfrmJXUnitPeek Probe;
      Probe.OpenUnitFile(Path);
      auto* Sheet = qobject_cast<TAdvTabSheet*>(Probe.advPageControl->currentWidget());
      Sheet->ShowView(TUnitView::Declarations);
      // The last declaration of the outline: far down the listing.
      const QAbstractItemModel* M = Sheet->DeclView()->OutlineModel;
      QModelIndex I = M->index(M->rowCount() - 1, 0);
      while (M->rowCount(I) > 0) {
        I = M->index(M->rowCount(I) - 1, 0, I);
        Name = I.data().toString();
        Offset = I.data(OutlineOffsetRole).toLongLong();
      }
    }
    QVERIFY(Offset > 0);
    TfrmJXUnitPeek W;
    W.resize(409, 450);  // small enough that the listing goes on below
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    TAdvTabSheet* Sheet = W.OpenDeclaration(Path, Offset);
    QVERIFY(Sheet);
    QCOMPARE(W.advPageControl->currentWidget(), Sheet);
    QCOMPARE(Sheet->View(), TUnitView::Declarations);
    TListingView* L = Sheet->DeclView()->Listing;
    QCOMPARE(L->SelectedText(), Name);
    QVERIFY(L->IsPositionVisible(L->CursorPosition()));
    QVERIFY(L->TopLine() > 0);
    QCOMPARE(Sheet->DeclView()->Outline->currentIndex().data().toString(), Name);
    QVERIFY(Sheet->BytesInfo() == nullptr);  // the Bytes view is not built for it

    // Again, the tab open on another view: back to the declaration.
    Sheet->ShowView(TUnitView::Summary);
    W.advPageControl->setCurrentIndex(0);
    L->SetCursorPosition(0);
    QCOMPARE(W.OpenDeclaration(Path, Offset), Sheet);
    QCOMPARE(W.advPageControl->count(), 2);
    QCOMPARE(L->SelectedText(), Name);
    QVERIFY(!Sheet->ShowDeclaration(1));
  }
};

VIEWER_TEST(TestOpenPaths);
#include "test_openpaths.moc"
