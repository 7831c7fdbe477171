// The folder tab: Open Folder scans a synthetic folder, fills the units table
// and the findings, draws the uses graph, and asks for units from all three;
// the window answers the tab's requests with unit tabs.
#include <QAction>
#include <QComboBox>
#include <QSpinBox>
#include <QAbstractGraphicsShapeItem>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QHeaderView>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QTest>
#include <QTreeWidget>
#include <sstream>

#include "FolderReportWriters.h"
#include "FolderTab.h"
#include "GraphView.h"
#include "JX_hotButton.h"
#include "FolderUnits.h"
#include "ViewerTestUtil.h"
#include "uMain.h"

using namespace viewertest;

namespace {

// A unit that imports Run from Lib with Stamp, or (Stamp 0) Lib itself,
// declaring Run with stamp 1.
std::vector<uint8_t> Unit(const std::string& Name, uint32_t Stamp) {
  if (!Stamp) return unitbuilder::FolderUnit(Name, 7, {}, {{"Run", 1}});
  return unitbuilder::FolderUnit(Name, 7, {{"Lib", {{"Run", Stamp}}}});
}

class TFolderWindow : public TfrmJXUnitPeek {
 public:
  QString Folder;

 protected:
  QString RunOpenFolderDialog() override { return Folder; }
};

}  // namespace

class TestFolderTab : public QObject {
  Q_OBJECT
  QTemporaryDir Dir;

 private slots:
  void openFolderScansAndOpensUnits() {
    const QString App = WriteFile(Dir, "App.dcu", Unit("App", 2));
    const QString Lib = WriteFile(Dir, "Lib.dcu", Unit("Lib", 0));
    WriteFile(Dir, "Broken.dcu", {1, 2, 3});
    TFolderWindow W;
    W.Folder = Dir.path();
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    bool HasShortcut = false;
    for (QAction* A : W.actions())
      HasShortcut = HasShortcut || A->shortcut() == QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O);
    QVERIFY(HasShortcut);

    W.jxhOpenFolder->click();
    auto* Tab = qobject_cast<TFolderTab*>(W.advPageControl->currentWidget());
    QVERIFY(Tab);
    QTRY_VERIFY(!Tab->Scanning() && Tab->Report().Units.size() == 3);
    QVERIFY(!Tab->Cancelled());

    // The table: one row per file, sortable.
    QCOMPARE(Tab->UnitsTable->rowCount(), 3);
    QVERIFY(Tab->UnitsTable->isSortingEnabled());
    Tab->UnitsTable->sortItems(0);
    QCOMPARE(Tab->UnitsTable->item(0, 0)->text(), QStringLiteral("App.dcu"));
    QVERIFY(Tab->UnitsTable->item(0, 4)->text().contains("compiled against another interface"));
    QVERIFY(Tab->UnitsTable->item(1, 4)->text().contains("not loaded"));

    // The findings: one group per kind.
    QCOMPARE(Tab->FindingsList->topLevelItemCount(), 2);
    QCOMPARE(Tab->FindingsList->topLevelItem(0)->text(0), QStringLiteral("not-loaded (1)"));
    QCOMPARE(Tab->FindingsList->topLevelItem(1)->text(0), QStringLiteral("interface-mismatch (1)"));

    // Opening the folder again brings its tab to the front.
    const int Tabs = W.advPageControl->count();
    W.advPageControl->setCurrentIndex(0);
    W.jxhOpenFolderClick();
    QCOMPARE(W.advPageControl->count(), Tabs);
    QCOMPARE(W.advPageControl->currentWidget(), Tab);

    // A double-click on the Lib row opens its unit tab.
    QTRY_VERIFY(Tab->UnitsTable->isVisible());
    const QRect Cell = Tab->UnitsTable->visualItemRect(Tab->UnitsTable->item(2, 0));
    QVERIFY(Cell.isValid());
    QTest::mouseClick(Tab->UnitsTable->viewport(), Qt::LeftButton, {}, Cell.center());
    QTest::mouseDClick(Tab->UnitsTable->viewport(), Qt::LeftButton, {}, Cell.center());
    QCOMPARE(int(W.FileIndex().size()), 1);
    QCOMPARE(W.FileIndex().begin()->first, QLocale().toLower(Lib));

    // The graph: laid out only once its page is shown, on a thread of its
    // own; App and Lib; the view has the keys; a click on App opens it.
    QVERIFY(Tab->Pages->currentIndex() != 2);
    QCOMPARE(Tab->GraphView->NodeItemCount(), 0);
    Tab->Pages->setCurrentIndex(2);
    W.advPageControl->setCurrentWidget(Tab);
    QTRY_COMPARE(Tab->GraphView->NodeItemCount(), 2);
    QVERIFY(Tab->GraphView->LayoutError().isEmpty());
    QVERIFY(!Tab->GraphCancel->isVisible());
    QVERIFY(!Tab->GraphCentre->isVisible());  // the whole folder
    QTRY_VERIFY(Tab->GraphView->hasFocus());
    QGraphicsItem* AppNode = nullptr;
    for (QGraphicsItem* I : Tab->GraphView->scene()->items())
      if (I->data(0).isValid() && !I->parentItem() && Tab->Graph().Nodes[size_t(I->data(0).toInt())].Name == "App")
        AppNode = I;
    QVERIFY(AppNode);
    QTRY_VERIFY(Tab->GraphView->isVisible());
    Tab->GraphView->centerOn(AppNode);
    const QPoint At = Tab->GraphView->mapFromScene(AppNode->sceneBoundingRect().center());
    QTest::mouseClick(Tab->GraphView->viewport(), Qt::LeftButton, {}, At);
    QCOMPARE(int(W.FileIndex().size()), 2);
    QVERIFY(W.FileIndex().count(QLocale().toLower(App)));

    // Closing the folder tab leaves the window working.
    const int Before = W.advPageControl->count();
    W.advTabSheetInfoClose(Tab);
    QTRY_COMPARE(W.advPageControl->count(), Before - 1);
  }

  // The window opens a unit tab for each request of a folder tab: a new
  // file in front, an open one brought to the front again, a file that does
  // not load in front as well.
  void windowAnswersTheFolderTabsRequests() {
    QTemporaryDir Folder;
    const QString App = WriteFile(Folder, "App.dcu", Unit("App", 2));
    WriteFile(Folder, "Lib.dcu", Unit("Lib", 0));
    const QString Broken = WriteFile(Folder, "Broken.dcu", {1, 2, 3});
    TfrmJXUnitPeek W;
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    TFolderTab* Tab = W.OpenFolder(Folder.path());
    QVERIFY(Tab);
    QCOMPARE(W.OpenFolder(Folder.path()), Tab);
    QTRY_VERIFY(!Tab->Scanning() && Tab->Report().Units.size() == 3);
    QSignalSpy Asked(Tab, &TFolderTab::unitRequested);
    const int Before = W.advPageControl->count();

    Tab->UnitsTable->sortItems(0);  // App, Broken, Lib
    Tab->OpenRow(0);
    QCOMPARE(Asked.count(), 1);
    QCOMPARE(Asked.at(0).at(0).toString(), App);
    QCOMPARE(W.advPageControl->count(), Before + 1);
    auto* Sheet = qobject_cast<TAdvTabSheet*>(W.advPageControl->currentWidget());
    QVERIFY(Sheet);
    QCOMPARE(Sheet->Path(), App);
    QVERIFY(!Sheet->Failed());

    W.advPageControl->setCurrentWidget(Tab);
    Tab->OpenRow(0);
    QCOMPARE(W.advPageControl->count(), Before + 1);
    QCOMPARE(W.advPageControl->currentWidget(), Sheet);

    W.advPageControl->setCurrentWidget(Tab);
    emit Tab->unitRequested(Broken);
    QCOMPARE(W.advPageControl->count(), Before + 2);
    QVERIFY(W.FileIndex().count(QLocale().toLower(Broken)));
    QCOMPARE(W.advPageControl->currentWidget(), W.FileIndex().at(QLocale().toLower(Broken)));

    // Closing the folder tab leaves the unit tabs it opened.
    W.advTabSheetInfoClose(Tab);
    QTRY_COMPARE(W.advPageControl->count(), Before + 1);
    W.OpenUnitFile(App);
    QCOMPARE(W.advPageControl->currentWidget(), Sheet);
  }

  // Without a window the tab only asks: rows and units of the folder give
  // their files; a row or a node that is not there, and a used unit with no
  // file in the folder, give nothing.
  void folderTabAsksOnlyForFilesItHas() {
    QTemporaryDir Folder;
    const QString App = WriteFile(Folder, "App.dcu", Unit("App", 2));
    TFolderTab Tab(Folder.path());
    QTRY_VERIFY(!Tab.Scanning() && Tab.Report().Units.size() == 1);
    QSignalSpy Asked(&Tab, &TFolderTab::unitRequested);
    Tab.OpenRow(1);
    Tab.OpenRow(-1);
    int AppNode = -1, LibNode = -1;
    for (size_t I = 0; I < Tab.Graph().Nodes.size(); ++I)
      (Tab.Graph().Nodes[I].Name == "App" ? AppNode : LibNode) = int(I);
    QVERIFY(AppNode >= 0 && LibNode >= 0);
    emit Tab.GraphView->nodeClicked(LibNode);
    emit Tab.GraphView->nodeClicked(int(Tab.Graph().Nodes.size()));
    emit Tab.GraphView->nodeClicked(-1);
    QCOMPARE(Asked.count(), 0);
    Tab.OpenRow(0);
    emit Tab.GraphView->nodeClicked(AppNode);
    QCOMPARE(Asked.count(), 2);
    QCOMPARE(Asked.at(0).at(0).toString(), App);
    QCOMPARE(Asked.at(1).at(0).toString(), App);
  }

  // The drawing rules of the graph view: a unit with a finding red, a unit
  // outside the set dashed, an implementation use dashed, the use that does
  // not match its interface red and thick, each with an arrow head; hiding
  // the runtime units leaves them and their uses out.
  void graphViewDrawsUnitsAndUsesByTheirKind() {
    TUsesGraph G;
    G.Nodes = {{"App", true, false, false, false, {0}, 0}, {"Lib", true, true, false, false, {1}, 1},
               {"System", false, false, true, false, {}, 2}};
    G.Edges = {{0, 1, true, true}, {0, 2, false, false}, {1, 2, true, false}};
    G.SetUnits = 2;
    TGraphView View;
    View.resize(400, 300);
    QVERIFY(View.SetGraph(G, false));
    QCOMPARE(View.NodeItemCount(), 3);
    std::map<int, QPen> NodePen;
    std::vector<QPen> UsePens;
    int Heads = 0;
    for (QGraphicsItem* I : View.scene()->items()) {
      auto* Shape = dynamic_cast<QAbstractGraphicsShapeItem*>(I);
      if (!Shape || I->parentItem()) continue;
      if (I->data(0).isValid()) NodePen[I->data(0).toInt()] = Shape->pen();
      else if (Shape->brush().style() == Qt::NoBrush) UsePens.push_back(Shape->pen());
      else ++Heads;
    }
    QCOMPARE(int(NodePen.size()), 3);
    QCOMPARE(NodePen[0].style(), Qt::SolidLine);
    QCOMPARE(NodePen[1].color(), QColor(200, 0, 0));
    QCOMPARE(NodePen[2].style(), Qt::DashLine);
    QCOMPARE(int(UsePens.size()), 3);
    QCOMPARE(Heads, 3);
    int Red = 0, Dashed = 0;
    for (const QPen& P : UsePens) {
      Red += P.color() == QColor(200, 0, 0) && P.widthF() == 2.0;
      Dashed += P.style() == Qt::DashLine;
    }
    QCOMPARE(Red, 1);
    QCOMPARE(Dashed, 1);

    QVERIFY(View.SetGraph(G, true));
    QCOMPARE(View.NodeItemCount(), 2);
  }

  // A layout runs off the window's thread: StartLayout returns before the
  // drawing changes, the drawing comes with layoutFinished(true); one
  // cancelled is never drawn, and a later one replaces the one under way.
  void graphLayoutRunsOffTheWindowsThread() {
    TUsesGraph G;
    G.Nodes = {{"App", true, false, false, false, {0}, 0}, {"Lib", true, false, false, false, {1}, 1}};
    G.Edges = {{0, 1, true, false}};
    G.SetUnits = 2;
    TGraphView View;
    View.resize(400, 300);
    QSignalSpy Done(&View, &TGraphView::layoutFinished);
    View.StartLayout(G, {});
    QVERIFY(View.Laying());
    QCOMPARE(View.NodeItemCount(), 0);
    QTRY_COMPARE(Done.count(), 1);
    QCOMPARE(Done.at(0).at(0).toBool(), true);
    QCOMPARE(View.NodeItemCount(), 2);
    QVERIFY(!View.Laying());

    G.Nodes.push_back({"Third", true, false, false, false, {2}, 0});
    G.SetUnits = 3;
    View.StartLayout(G, {});
    View.CancelLayout();
    QCOMPARE(Done.count(), 2);
    QCOMPARE(Done.at(1).at(0).toBool(), false);
    QTest::qWait(300);  // the cancelled layout's result comes and is dropped
    QCOMPARE(Done.count(), 2);
    QCOMPARE(View.NodeItemCount(), 2);

    TDotOptions Only;
    Only.Only = {true, false, true};
    View.StartLayout(G, {});
    View.StartLayout(G, Only);
    QTRY_COMPARE(Done.count(), 3);
    QTest::qWait(100);
    QCOMPARE(Done.count(), 3);
    QCOMPARE(View.NodeItemCount(), 2);
    // A new graph starts fitted to the view.
    const QRectF Seen = View.mapToScene(View.viewport()->rect()).boundingRect();
    QVERIFY(Seen.adjusted(-1, -1, 1, 1).contains(View.scene()->itemsBoundingRect()));
  }

  // A folder past the limit shows one unit's neighbourhood, says so, and
  // widens it with the steps; the centre box chooses another unit.
  void largeFolderGraphShowsANeighbourhood() {
    QTemporaryDir Chain;
    // U0 uses U1 uses U2 ... uses U7.
    for (int I = 0; I < 8; ++I) {
      const std::string Name = "U" + std::to_string(I);
      std::vector<unitbuilder::TUseSpec> Uses;
      if (I < 7) Uses.push_back({"U" + std::to_string(I + 1), {}});
      WriteFile(Chain, QString::fromStdString(Name + ".dcu"), unitbuilder::FolderUnit(Name, 7, Uses));
    }
    TFolderTab Tab(Chain.path());
    Tab.WholeGraphLimit = 5;
    Tab.resize(800, 600);
    Tab.show();
    QTRY_VERIFY(!Tab.Scanning());
    Tab.Pages->setCurrentWidget(Tab.GraphView->parentWidget());
    QTRY_VERIFY(!Tab.GraphView->Laying() && Tab.GraphView->NodeItemCount() > 0);
    QVERIFY(Tab.GraphNote->isVisible());
    QVERIFY(Tab.GraphNote->text().startsWith("8 units are too many for one readable picture"));
    // The busiest unit is the first with two uses (U1): U0, U1, U2.
    QCOMPARE(Tab.GraphCentre->currentText(), QStringLiteral("U1"));
    QCOMPARE(Tab.GraphView->NodeItemCount(), 3);
    Tab.GraphSteps->setValue(2);
    QTRY_VERIFY(!Tab.GraphView->Laying());
    QCOMPARE(Tab.GraphView->NodeItemCount(), 4);
    QVERIFY(Tab.GraphNote->text().contains("up to 2 steps away"));
    Tab.GraphCentre->setCurrentIndex(Tab.GraphCentre->findText("U5"));
    emit Tab.GraphCentre->activated(Tab.GraphCentre->currentIndex());
    QTRY_VERIFY(!Tab.GraphView->Laying());
    QCOMPARE(Tab.GraphView->NodeItemCount(), 5);  // U3 to U7
    // Cancelling a layout says so; showing the page again lays it out.
    Tab.GraphSteps->setValue(3);
    Tab.GraphCancel->click();
    QVERIFY(Tab.GraphStatus->text().contains("cancelled"));
    QCOMPARE(Tab.GraphView->NodeItemCount(), 5);
  }

  // The table fills as the units are read and starts sorted A to Z; the
  // label says what the bar shows, and is drawn before the findings are
  // worked out (the event loop runs between the last unit and the report).
  // The findings show paths relative to the folder (the whole text in the
  // tool tip), the runtime units as one finding, each group open; a unit
  // that uses only those has no problem.
  void scanFillsTheTableAsUnitsComeAndGroupsTheRuntime() {
    QTemporaryDir Many;
    for (const char* N : {"Cee", "Bee", "Dee", "Aye"})
      WriteFile(Many, QStringLiteral("%1.dcu").arg(N),
                unitbuilder::FolderUnit(N, 7, std::string(N) == "Dee" ? std::vector<unitbuilder::TUseSpec>{{"System"}, {"Gone"}}
                                                                    : std::vector<unitbuilder::TUseSpec>{{"System"}}));
    TFolderTab Tab(Many.path());
    Tab.SliceMs = 0;  // one unit per slice
    QList<int> Rows;
    bool TimerFirst = false, Finished = false;
    connect(&Tab, &TFolderTab::scanProgress, &Tab, [&](int Done, int Total) {
      Rows << Tab.UnitsTable->rowCount();
      QCOMPARE(Tab.Progress->value(), Done);
      QCOMPARE(Tab.Progress->maximum(), Total);
      if (Done == Total) QTimer::singleShot(0, &Tab, [&] { TimerFirst = !Finished; });
    });
    connect(&Tab, &TFolderTab::scanFinished, &Tab, [&] { Finished = true; });
    QTRY_VERIFY(Finished);
    QCOMPARE(Rows, QList<int>({1, 2, 3, 4}));
    QVERIFY(TimerFirst);
    QCOMPARE(Tab.UnitsTable->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    QStringList Files;
    for (int R = 0; R < 4; ++R) Files << Tab.UnitsTable->item(R, 0)->text();
    QCOMPARE(Files, QStringList({"Aye.dcu", "Bee.dcu", "Cee.dcu", "Dee.dcu"}));
    QCOMPARE(Tab.UnitsTable->item(0, 4)->text(), QString());
    QCOMPARE(Tab.UnitsTable->item(3, 4)->text(), QStringLiteral("uses a missing unit"));
    QCOMPARE(Tab.FindingsList->topLevelItemCount(), 2);
    QTreeWidgetItem* Runtime = Tab.FindingsList->topLevelItem(0);
    QCOMPARE(Runtime->text(0), QStringLiteral("missing-runtime (1)"));
    QVERIFY(Runtime->isExpanded() && Tab.FindingsList->topLevelItem(1)->isExpanded());
    QCOMPARE(Runtime->child(0)->text(0), QStringLiteral("System: the runtime library (in no file here), used by 4 files"));
    QTreeWidgetItem* Gone = Tab.FindingsList->topLevelItem(1)->child(0);
    QCOMPARE(Gone->text(0), QStringLiteral("Gone, used by Dee.dcu"));
    QCOMPARE(Gone->toolTip(0), QStringLiteral("Gone, used by ") + QDir(Many.path()).filePath("Dee.dcu"));
  }

  // The report (text and JSON, as --report writes them) and the findings
  // alone go to the file asked for; nothing is written when cancelled or
  // while a scan is under way.
  void exportWritesTheReportAndTheFindings() {
    QTemporaryDir Many, Out;
    WriteFile(Many, "App.dcu", Unit("App", 2));
    WriteFile(Many, "Lib.dcu", Unit("Lib", 0));
    TFolderTab Tab(Many.path());
    QString Asked, Filter, Answer;
    Tab.AskSaveFile = [&](const QString& Suggested, const QString& F) {
      Asked = Suggested;
      Filter = F;
      return Answer;
    };
    QVERIFY(!Tab.ExportButton->isEnabled());
    QTRY_VERIFY(!Tab.Scanning());
    QVERIFY(Tab.ExportButton->isEnabled());
    QVERIFY(!Tab.Export(TFolderTab::TExport::ReportText));  // cancelled
    QCOMPARE(Asked, QDir::cleanPath(Many.path()) + ".report.txt");
    auto Read = [](const QString& P) {
      QFile F(P);
      return F.open(QIODevice::ReadOnly) ? F.readAll().toStdString() : std::string("(none)");
    };
    std::ostringstream Text, Json;
    WriteReportText(Tab.Report(), Text);
    WriteReportJson(Tab.Report(), Json);
    Answer = Out.filePath("r.txt");
    QVERIFY(Tab.Export(TFolderTab::TExport::ReportText));
    QCOMPARE(Read(Answer), Text.str());
    QVERIFY(Tab.Status->text().startsWith("Saved "));
    Answer = Out.filePath("r.json");
    QVERIFY(Tab.Export(TFolderTab::TExport::ReportJson));
    QVERIFY(Filter.startsWith("JSON"));
    QCOMPARE(Read(Answer), Json.str());
    Answer = Out.filePath("f.txt");
    QVERIFY(Tab.Export(TFolderTab::TExport::Findings));
    const std::string Findings = Read(Answer);
    QVERIFY2(Findings.rfind("interface-mismatch (1):\n  ", 0) == 0, Findings.c_str());
    QVERIFY(Text.str().find(Findings.substr(Findings.find('\n') + 1)) != std::string::npos);
    Answer = Out.filePath("no/such/folder/x.txt");
    QVERIFY(!Tab.Export(TFolderTab::TExport::ReportText));
    QVERIFY(Tab.Status->text().startsWith("Cannot write "));
  }

  void cancelShowsTheUnitsReadSoFar() {
    QTemporaryDir Many;
    for (int I = 0; I < 6; ++I) WriteFile(Many, QStringLiteral("U%1.dcu").arg(I), Unit("U" + std::to_string(I), 0));
    TFolderTab Tab(Many.path());
    Tab.SliceMs = 0;  // one unit per slice
    QList<int> Seen;
    connect(&Tab, &TFolderTab::scanProgress, &Tab, [&](int Done, int Total) {
      Seen << Done;
      QCOMPARE(Total, 6);
      if (Done == 2) Tab.CancelButton->click();
    });
    QTRY_VERIFY(!Tab.Scanning() && Tab.Cancelled());
    QCOMPARE(Seen, QList<int>({1, 2}));
    QCOMPARE(Tab.Report().Units.size(), size_t(2));
    QCOMPARE(Tab.UnitsTable->rowCount(), 2);
    QVERIFY(Tab.Status->text().startsWith("Cancelled: "));
  }
};

VIEWER_TEST(TestFolderTab);
#include "test_foldertab.moc"
