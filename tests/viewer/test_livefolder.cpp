// Live folders: a folder tab follows its folder on disk, reading again only
// the units that were added or changed and dropping those removed, with the
// table's selection kept; Rescan reads everything again.
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <cstdio>

#include "FolderTab.h"
#include "FolderUnits.h"
#include "ViewerTestUtil.h"

using namespace viewertest;

namespace {

std::vector<uint8_t> Unit(const std::string& Name) { return unitbuilder::FolderUnit(Name, 7, {}, {{"Run", 1}}); }

QStringList UnitNames(const TFolderTab& Tab) {
  QStringList N;
  for (const TFolderUnit& U : Tab.Report().Units)
    N << (U.Ok ? QString::fromStdString(std::string(Tab.Report().Names.Text(U.UnitName))) : QStringLiteral("-"));
  N.sort();
  return N;
}

QStringList SelectedNames(const TFolderTab& Tab) {
  QStringList N;
  for (const QModelIndex& I : Tab.UnitsTable->selectionModel()->selectedRows(1)) N << I.data().toString();
  N.sort();
  return N;
}

QString CurrentName(const TFolderTab& Tab) {
  const QTableWidgetItem* I = Tab.UnitsTable->item(Tab.UnitsTable->currentRow(), 1);
  return I ? I->text() : QString();
}

void SelectNames(TFolderTab& Tab, const QStringList& Names, const QString& Current) {
  Tab.UnitsTable->clearSelection();
  for (int Row = 0; Row < Tab.UnitsTable->rowCount(); ++Row) {
    const QString N = Tab.UnitsTable->item(Row, 1)->text();
    if (N == Current)
      Tab.UnitsTable->selectionModel()->setCurrentIndex(Tab.UnitsTable->model()->index(Row, 0),
                                                        QItemSelectionModel::NoUpdate);
    if (Names.contains(N))
      Tab.UnitsTable->selectionModel()->select(Tab.UnitsTable->model()->index(Row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
}

// Writes Bytes to Path through a second name and a rename, as compilers do:
// the file's identity changes whatever its times.
void Replace(const QString& Path, const std::vector<uint8_t>& Bytes) {
  const QString Temp = Path + ".new";
  QFile F(Temp);
  QVERIFY(F.open(QIODevice::WriteOnly));
  F.write(reinterpret_cast<const char*>(Bytes.data()), qint64(Bytes.size()));
  F.close();
  QVERIFY(::rename(QFile::encodeName(Temp).constData(), QFile::encodeName(Path).constData()) == 0);
}

}  // namespace

class TestLiveFolder : public QObject {
  Q_OBJECT

 private slots:
  // One file added, one removed, Rescan: the table shows the new set, the
  // rows still there keep their selection and the current row.
  void rescanAfterAFileIsAddedAndOneRemovedKeepsTheSelection() {
    QTemporaryDir Dir;
    for (const char* N : {"Alpha", "Beta", "Gamma"}) WriteFile(Dir, QString(N) + ".dcu", Unit(N));
    TFolderTab Tab(Dir.path());
    Tab.SettleMs = 60000;  // the watcher stays out of this one
    QTRY_VERIFY(!Tab.Scanning() && Tab.Report().Units.size() == 3);
    QVERIFY(Tab.RescanButton->isVisibleTo(&Tab));
    Tab.UnitsTable->sortItems(1, Qt::DescendingOrder);
    SelectNames(Tab, {"Alpha", "Beta", "Gamma"}, "Gamma");
    QCOMPARE(SelectedNames(Tab), QStringList({"Alpha", "Beta", "Gamma"}));

    QVERIFY(QFile::remove(Dir.filePath("Beta.dcu")));
    WriteFile(Dir, "Delta.dcu", Unit("Delta"));
    QSignalSpy Done(&Tab, &TFolderTab::scanFinished);
    const size_t Read = Tab.UnitsRead();
    Tab.RescanButton->click();
    QVERIFY(Tab.Scanning());
    QVERIFY(!Tab.RescanButton->isVisibleTo(&Tab));
    QTRY_COMPARE(Done.count(), 1);
    QCOMPARE(Tab.UnitsRead(), Read + 3);  // every unit again
    QCOMPARE(UnitNames(Tab), QStringList({"Alpha", "Delta", "Gamma"}));
    QCOMPARE(Tab.UnitsTable->rowCount(), 3);
    QCOMPARE(Tab.UnitsTable->item(0, 1)->text(), QStringLiteral("Gamma"));  // the sort order kept
    QCOMPARE(SelectedNames(Tab), QStringList({"Alpha", "Gamma"}));
    QCOMPARE(CurrentName(Tab), QStringLiteral("Gamma"));
    QVERIFY(Tab.Status->text().contains("3 unit files, 3 loaded"));
  }

  // Without Rescan: a file added, one changed and one removed are seen by
  // the watcher; once the folder is quiet only the new and the changed
  // units are read; the findings follow; the selection stays.
  void changesOnDiskAreReadOnceSettled() {
    QTemporaryDir Dir;
    const QString Sub = Dir.filePath("sub");
    QVERIFY(QDir().mkdir(Sub));
    for (const char* N : {"Alpha", "Beta", "Gamma"}) WriteFile(Dir, QString(N) + ".dcu", Unit(N));
    TFolderTab Tab(Dir.path());
    Tab.SettleMs = 100;
    QTRY_VERIFY(!Tab.Scanning() && Tab.Report().Units.size() == 3);
    QVERIFY(Tab.Watcher->directories().contains(Sub));
    QVERIFY(Tab.Watcher->files().contains(Dir.filePath("Beta.dcu")));
    SelectNames(Tab, {"Alpha"}, "Alpha");
    QSignalSpy Done(&Tab, &TFolderTab::scanFinished);
    size_t Read = Tab.UnitsRead();

    // In a folder made after the scan, and a unit replaced by another of the
    // same name: two units read, none of the others.
    QVERIFY(QDir().mkdir(Dir.filePath("sub/deeper")));
    QTRY_VERIFY(Tab.Watcher->directories().contains(Dir.filePath("sub/deeper")));
    QCOMPARE(Done.count(), 0);  // an empty folder: nothing to read, nothing shown
    QTemporaryDir Deeper;  // the unit written elsewhere and moved in whole
    QVERIFY(QFile::rename(WriteFile(Deeper, "Delta.dcu", Unit("Delta")), Dir.filePath("sub/deeper/Delta.dcu")));
    Replace(Dir.filePath("Beta.dcu"), unitbuilder::FolderUnit("Beta", 7, {{"Missing"}}));
    QTRY_COMPARE_WITH_TIMEOUT(Done.count(), 1, 10000);
    QCOMPARE(Tab.UnitsRead(), Read + 2);
    QCOMPARE(UnitNames(Tab), QStringList({"Alpha", "Beta", "Delta", "Gamma"}));
    QVERIFY(Tab.Report().Findings.size() == 1 && Tab.Report().Findings[0].Kind == TFindingKind::MissingUnit);
    QCOMPARE(SelectedNames(Tab), QStringList({"Alpha"}));
    QCOMPARE(CurrentName(Tab), QStringLiteral("Alpha"));
    QVERIFY(Tab.Watcher->files().contains(Dir.filePath("sub/deeper/Delta.dcu")));

    // A removal reads nothing; the graph follows.
    Read = Tab.UnitsRead();
    QVERIFY(QFile::remove(Dir.filePath("Gamma.dcu")));
    QTRY_COMPARE_WITH_TIMEOUT(Done.count(), 2, 10000);
    QCOMPARE(Tab.UnitsRead(), Read);
    QCOMPARE(UnitNames(Tab), QStringList({"Alpha", "Beta", "Delta"}));
    QCOMPARE(Tab.UnitsTable->rowCount(), 3);
    QVERIFY(std::none_of(Tab.Graph().Nodes.begin(), Tab.Graph().Nodes.end(),
                         [](const TGraphNode& N) { return N.Name == "Gamma"; }));
    QVERIFY(!Tab.Watcher->files().contains(Dir.filePath("Gamma.dcu")));

    // A file of another kind changes nothing that is shown.
    WriteFile(Dir, "notes.txt", {'x'});
    QTest::qWait(400);
    QCOMPARE(Done.count(), 2);
  }

  // A unit written while the scan runs is read after it; a cancelled scan
  // is not followed.
  void changesDuringTheScanAreReadAfterIt() {
    QTemporaryDir Dir;
    for (int I = 0; I < 5; ++I) WriteFile(Dir, QStringLiteral("U%1.dcu").arg(I), Unit("U" + std::to_string(I)));
    TFolderTab Tab(Dir.path());
    Tab.SliceMs = 0;  // one unit per slice
    Tab.SettleMs = 50;
    connect(&Tab, &TFolderTab::scanProgress, &Tab, [&](int Done, int) {
      if (Done == 1) WriteFile(Dir, "Late.dcu", Unit("Late"));
    });
    QTRY_VERIFY_WITH_TIMEOUT(!Tab.Scanning() && Tab.Report().Units.size() == 6, 10000);
    QVERIFY(UnitNames(Tab).contains("Late"));

    QTemporaryDir Other;
    for (int I = 0; I < 4; ++I) WriteFile(Other, QStringLiteral("C%1.dcu").arg(I), Unit("C" + std::to_string(I)));
    TFolderTab Cancelled(Other.path());
    Cancelled.SliceMs = 0;
    Cancelled.SettleMs = 50;
    auto Stop = connect(&Cancelled, &TFolderTab::scanProgress, &Cancelled, [&](int Done, int) {
      if (Done == 2) Cancelled.Cancel();
    });
    QTRY_VERIFY(!Cancelled.Scanning() && Cancelled.Cancelled());
    QVERIFY(Cancelled.Watcher->directories().isEmpty() && Cancelled.Watcher->files().isEmpty());
    WriteFile(Other, "More.dcu", Unit("More"));
    QTest::qWait(300);
    QCOMPARE(Cancelled.Report().Units.size(), size_t(2));
    // Rescan takes it up again, in full.
    disconnect(Stop);
    Cancelled.Rescan();
    QTRY_VERIFY(!Cancelled.Scanning() && Cancelled.Report().Units.size() == 5);
    QVERIFY(!Cancelled.Cancelled());
  }
};

VIEWER_TEST(TestLiveFolder);
#include "test_livefolder.moc"
