// What the viewer remembers: a second window takes the size of the first
// that closed, its recent files and folders (at most ten each, most recent
// first, in the menus of the Open buttons) and the positions of the named
// splitters; the runs' settings are never the user's.
#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>

#include "DeclView.h"
#include "FolderTab.h"
#include "JX_hotButton.h"
#include "ViewerSettings.h"
#include "ViewerTestUtil.h"
#include "uMain.h"

using namespace viewertest;
using viewersettings::TRecentKind;

namespace {
// The menu as its entries' texts, filled as when it opens.
QStringList MenuTexts(QMenu* Menu) {
  emit Menu->aboutToShow();
  QStringList T;
  for (QAction* A : Menu->actions())
    if (!A->isSeparator()) T << A->text();
  return T;
}
QAction* MenuEntry(QMenu* Menu, int Index) {
  emit Menu->aboutToShow();
  return Menu->actions().at(Index);
}
QSplitter* DeclSplitter(TAdvTabSheet* Sheet) {
  return Sheet->DeclView() ? Sheet->DeclView()->findChild<QSplitter*>(QStringLiteral("DeclSplitter")) : nullptr;
}
}  // namespace

class TestSettings : public QObject {
  Q_OBJECT
  QTemporaryDir Dir;

 private slots:
  void init() { ClearSettings(); }

  void settingsAreTheRunsOwn() {
    QVERIFY(!SettingsPath.isEmpty());
    QVERIFY2(QSettings().fileName().startsWith(SettingsPath), qPrintable(QSettings().fileName()));
  }

  // Size, recent files and folders, and the Declarations splitter of one
  // window are there in the next.
  void secondWindowRestoresWhatTheFirstLeft() {
    const QString A = CopySample(Dir, "KeepA.dcu"), B = CopySample(Dir, "KeepB.dcu", 5);
    QTemporaryDir Folder;
    QList<int> Sizes;
    {
      TfrmJXUnitPeek W;
      W.show();
      QVERIFY(QTest::qWaitForWindowExposed(&W));
      W.resize(700, 520);
      W.OpenUnitFile(A);
      W.OpenUnitFile(B);
      W.OpenFolder(Folder.path());
      W.OpenUnitFile(A);  // again: the most recent now
      W.advPageControl->setCurrentIndex(2);
      auto* Sheet = qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget());
      Sheet->ShowView(TUnitView::Declarations);
      QSplitter* S = DeclSplitter(Sheet);
      QVERIFY(S);
      QTRY_VERIFY(S->isVisible() && S->width() > 300);
      // The user drags the handle to 120 pixels from the left.
      QSplitterHandle* Handle = S->handle(1);
      const QPoint Grip = Handle->rect().center();
      QTest::mousePress(Handle, Qt::LeftButton, {}, Grip);
      QTest::mouseMove(Handle, Grip + QPoint(120 - S->sizes().at(0), 0));
      QTest::mouseRelease(Handle, Qt::LeftButton, {}, Grip + QPoint(120 - S->sizes().at(0), 0));
      Sizes = S->sizes();
      QVERIFY2(std::abs(Sizes.at(0) - 120) <= 2, qPrintable(QString::number(Sizes.at(0))));
      W.close();
    }
    TfrmJXUnitPeek Next;
    QCOMPARE(Next.size(), QSize(700, 520));
    QCOMPARE(viewersettings::Recent(TRecentKind::Files), QStringList({A, B}));
    QCOMPARE(viewersettings::Recent(TRecentKind::Folders), QStringList({Folder.path()}));
    const QStringList Files = MenuTexts(Next.mnuRecentFiles);
    QCOMPARE(Files.size(), 3);  // two files and Clear List
    QVERIFY(Files[0].startsWith("&1") && Files[0].endsWith(A));
    QVERIFY(Files[1].startsWith("&2") && Files[1].endsWith(B));
    QVERIFY(MenuTexts(Next.mnuRecentFolders).at(0).endsWith(Folder.path()));

    Next.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Next));
    Next.OpenUnitFile(B);
    auto* Sheet = qobject_cast<TAdvTabSheet*>(Next.advPageControl->currentWidget());
    Sheet->ShowView(TUnitView::Declarations);
    QSplitter* S = DeclSplitter(Sheet);
    QVERIFY(S);
    QTRY_VERIFY(S->isVisible() && S->width() > 300);
    QCOMPARE(S->sizes(), Sizes);
    // A splitter without a name is left alone.
    auto* Nameless = new QSplitter(Next.advTabSheetInfo);
    Nameless->addWidget(new QWidget);
    Nameless->addWidget(new QWidget);
    Next.advPageControl->setCurrentIndex(0);
    Nameless->show();
    emit Nameless->splitterMoved(10, 1);
    QSettings Kept;
    Kept.beginGroup("Splitters");
    QCOMPARE(Kept.childKeys(), QStringList({"DeclSplitter"}));
  }

  // Ten of each at most, the most recent first, a path once; entries open
  // what they name; Clear List empties the menu; paths that are not there
  // are not kept.
  void recentMenusOpenAndForget() {
    QTemporaryDir Many;
    QStringList Files;
    for (int I = 0; I < 12; ++I) Files << CopySample(Many, QStringLiteral("R%1.dcu").arg(I));
    TfrmJXUnitPeek W;
    W.show();
    for (const QString& F : Files) W.OpenUnitFile(F);
    W.OpenUnitFile(Files[3]);
    W.OpenUnitFile(Many.filePath("NotThere.dcu"));
    const QStringList Kept = viewersettings::Recent(TRecentKind::Files);
    QCOMPARE(Kept.size(), viewersettings::MaxRecent);
    QCOMPARE(Kept.first(), Files[3]);
    QCOMPARE(Kept.mid(1, 3), QStringList({Files[11], Files[10], Files[9]}));
    QVERIFY(!Kept.contains(Files[0]) && !Kept.contains(Files[1]));
    QCOMPARE(Kept.count(Files[3]), 1);
    QVERIFY(MenuTexts(W.mnuRecentFiles).at(9).startsWith("&0"));

    // The entry of a closed file opens it again, in front.
    W.advTabSheetInfoClose(W.FileIndex().at(QLocale().toLower(Files[11])));
    const int Tabs = W.advPageControl->count();
    MenuEntry(W.mnuRecentFiles, 1)->trigger();
    QCOMPARE(W.advPageControl->count(), Tabs + 1);
    QCOMPARE(qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget())->Path(), Files[11]);
    // A folder's entry opens a folder tab.
    W.OpenFolder(Many.path());
    W.advTabSheetInfoClose(W.advPageControl->currentWidget());
    MenuEntry(W.mnuRecentFolders, 0)->trigger();
    QVERIFY(qobject_cast<TFolderTab*>(W.advPageControl->currentWidget()));

    QAction* Clear = W.mnuRecentFiles->actions().last();
    QCOMPARE(Clear->text(), QStringLiteral("Clear List"));
    Clear->trigger();
    QVERIFY(viewersettings::Recent(TRecentKind::Files).isEmpty());
    QStringList Empty = MenuTexts(W.mnuRecentFiles);
    QCOMPARE(Empty, QStringList({"No recent files", "Clear List"}));
    QVERIFY(!W.mnuRecentFiles->actions().first()->isEnabled());
    QCOMPARE(viewersettings::Recent(TRecentKind::Folders).size(), 1);
    // A relative path is kept absolute.
    const QString Was = QDir::currentPath();
    QDir::setCurrent(Many.path());
    viewersettings::AddRecent(TRecentKind::Files, "./R2.dcu");
    QDir::setCurrent(Was);
    QCOMPARE(viewersettings::Recent(TRecentKind::Files), QStringList({Files[2]}));
  }
};

VIEWER_TEST(TestSettings);
#include "test_settings.moc"
