// The folder tab (see FolderTab.h).
#include "FolderTab.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "FolderReportWriters.h"
#include "GraphView.h"
#include "Jx_PanelGradient.h"

namespace {

QString Text(const std::string& Utf8) { return QString::fromStdString(Utf8); }
QString PathText(const std::string& Bytes) { return QFile::decodeName(QByteArray::fromStdString(Bytes)); }

QString ProblemsText(const TFolderUnit& U) {
  QStringList P;
  if (U.Has(TFindingKind::NotLoaded)) P << QObject::tr("not loaded");
  if (U.Has(TFindingKind::InterfaceMismatch)) P << QObject::tr("compiled against another interface");
  if (U.Has(TFindingKind::DuplicateUnit)) P << QObject::tr("duplicate unit");
  if (U.Has(TFindingKind::MissingUnit)) P << QObject::tr("uses a missing unit");
  return P.join(QStringLiteral(", "));
}

QTableWidgetItem* Cell(const QString& S) {
  auto* I = new QTableWidgetItem(S);
  I->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return I;
}

}  // namespace

TFolderTab::TFolderTab(const QString& Path, QWidget* Parent) : QWidget(Parent), FPath(Path) {
  setObjectName(QStringLiteral("FolderTab"));
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(4, 4, 4, 4);
  Layout->setSpacing(4);

  CreateHeader(Layout);
  CreateProgressRow(Layout);
  CreatePages(Layout);
  StartScan();
}

// The folder's path on a strip of the window colour.
void TFolderTab::CreateHeader(QVBoxLayout* Layout) {
  Header = NewPathHeader(this, FPath, palette().color(QPalette::Window));
  Layout->addWidget(Header);
}

// What the scan is doing, its progress bar and the Cancel button.
void TFolderTab::CreateProgressRow(QVBoxLayout* Layout) {
  auto* ProgressRow = new QHBoxLayout;
  Status = new QLabel(tr("Looking for unit files..."), this);
  Progress = new QProgressBar(this);
  Progress->setTextVisible(true);
  CancelButton = new QPushButton(tr("Cancel"), this);
  ProgressRow->addWidget(Status, 1);
  ProgressRow->addWidget(Progress, 2);
  ProgressRow->addWidget(CancelButton);
  Layout->addLayout(ProgressRow);
  connect(CancelButton, &QPushButton::clicked, this, &TFolderTab::Cancel);
}

// The pages of the report: units, findings, graph.
void TFolderTab::CreatePages(QVBoxLayout* Layout) {
  Pages = new QTabWidget(this);
  Pages->setObjectName(QStringLiteral("FolderPages"));
  QFont Plain = Pages->font();  // the window's tab captions are bold
  Plain.setBold(false);
  Pages->setFont(Plain);
  Layout->addWidget(Pages, 1);
  Pages->addTab(CreateUnitsPage(), tr("Units"));
  Pages->addTab(CreateFindingsPage(), tr("Findings"));
  Pages->addTab(CreateGraphPage(), tr("Graph"));
}

// One row per unit file; a double-click asks for the row's file.
QWidget* TFolderTab::CreateUnitsPage() {
  UnitsTable = new QTableWidget(0, 5, this);
  UnitsTable->setObjectName(QStringLiteral("UnitsTable"));
  UnitsTable->setHorizontalHeaderLabels(
      {tr("File"), tr("Unit"), tr("Version"), tr("Debug info"), tr("Problems")});
  UnitsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  UnitsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  UnitsTable->verticalHeader()->hide();
  UnitsTable->horizontalHeader()->setStretchLastSection(true);
  connect(UnitsTable, &QTableWidget::cellDoubleClicked, this, [this](int Row, int) { OpenRow(Row); });
  return UnitsTable;
}

// The findings by kind; a double-click on a line about one file asks for it.
QWidget* TFolderTab::CreateFindingsPage() {
  FindingsList = new QTreeWidget(this);
  FindingsList->setObjectName(QStringLiteral("FindingsList"));
  FindingsList->setHeaderHidden(true);
  connect(FindingsList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* Item, int) {
    const QString File = Item->data(0, Qt::UserRole).toString();
    if (!File.isEmpty()) emit unitRequested(File);
  });
  return FindingsList;
}

// The uses graph under the switch that hides the runtime units; a click on
// a unit of the folder asks for its file.
QWidget* TFolderTab::CreateGraphPage() {
  auto* GraphPage = new QWidget(this);
  auto* GraphLayout = new QVBoxLayout(GraphPage);
  GraphLayout->setContentsMargins(0, 4, 0, 0);
  HideRuntime = new QCheckBox(tr("Hide the runtime units (used by more than half of the units, not in the folder)"),
                              GraphPage);
  HideRuntime->setChecked(true);
  GraphView = new TGraphView(GraphPage);
  GraphView->setObjectName(QStringLiteral("GraphView"));
  GraphLayout->addWidget(HideRuntime);
  GraphLayout->addWidget(GraphView, 1);
  connect(HideRuntime, &QCheckBox::toggled, this, &TFolderTab::ShowGraph);
  connect(GraphView, &TGraphView::nodeClicked, this, &TFolderTab::OpenNode);
  return GraphPage;
}

// The scan starts once the tab is shown and the event loop runs.
void TFolderTab::StartScan() {
  QTimer::singleShot(0, this, [this] {
    Scanner = std::make_unique<TFolderScanner>(std::vector<std::string>{QFile::encodeName(FPath).toStdString()});
    Progress->setRange(0, int(Scanner->Total()));
    ScanSlice();
  });
}

TFolderTab::~TFolderTab() = default;

void TFolderTab::ScanSlice() {
  if (!Scanner) return;
  QElapsedTimer Clock;
  Clock.start();
  do {
    Scanner->ReadNext();
  } while (!Scanner->AtEnd() && Clock.elapsed() < SliceMs);
  Progress->setValue(int(Scanner->Done()));
  Status->setText(tr("Reading unit %1 of %2").arg(Scanner->Done()).arg(Scanner->Total()));
  emit scanProgress(int(Scanner->Done()), int(Scanner->Total()));
  if (!Scanner) return;  // cancelled meanwhile
  if (!Scanner->AtEnd()) {
    QTimer::singleShot(0, this, &TFolderTab::ScanSlice);
    return;
  }
  ShowReport();
}

void TFolderTab::Cancel() {
  if (!Scanner) return;
  FCancelled = true;
  ShowReport();
}

void TFolderTab::ShowReport() {
  FReport = Scanner->Finish();
  Scanner.reset();
  FGraph = BuildUsesGraph(FReport);
  CancelButton->hide();
  Progress->hide();
  ShowStatus();
  FillUnitsTable();
  FillFindings();
  ShowGraph();
  emit scanFinished();
}

void TFolderTab::ShowStatus() {
  size_t Loaded = 0;
  for (const TFolderUnit& U : FReport.Units) Loaded += U.Ok ? 1 : 0;
  Status->setText((FCancelled ? tr("Cancelled: ") : QString()) +
                  tr("%1 unit files, %2 loaded; %3 findings")
                      .arg(FReport.Units.size())
                      .arg(Loaded)
                      .arg(FReport.Findings.size()));
}

// The units table, sortable by any column; a row keeps its file's path.
void TFolderTab::FillUnitsTable() {
  const QDir Base(FPath);
  UnitsTable->setSortingEnabled(false);
  UnitsTable->setRowCount(int(FReport.Units.size()));
  for (int Row = 0; Row < int(FReport.Units.size()); ++Row) {
    const TFolderUnit& U = FReport.Units[size_t(Row)];
    const QString Full = PathText(U.Path);
    auto* File = Cell(Base.relativeFilePath(Full));
    File->setData(Qt::UserRole, Full);
    File->setToolTip(Full);
    UnitsTable->setItem(Row, 0, File);
    UnitsTable->setItem(Row, 1, Cell(U.Ok ? Text(DisplayUtf8(FReport.Names.Text(U.UnitName))) : QString()));
    auto* Version = Cell(QString());
    if (U.Ok) Version->setData(Qt::DisplayRole, U.Facts.Version);
    UnitsTable->setItem(Row, 2, Version);
    UnitsTable->setItem(Row, 3, Cell(U.Ok ? (U.Facts.DebugInfo ? tr("yes") : tr("no")) : QString()));
    auto* Problems = Cell(ProblemsText(U));
    if (U.Has(TFindingKind::NotLoaded) || U.Has(TFindingKind::InterfaceMismatch))
      Problems->setForeground(QColor(200, 0, 0));
    UnitsTable->setItem(Row, 4, Problems);
  }
  UnitsTable->setSortingEnabled(true);
  UnitsTable->resizeColumnsToContents();
}

// The findings, grouped by kind; a line about one file keeps its path.
void TFolderTab::FillFindings() {
  FindingsList->clear();
  QTreeWidgetItem* Group = nullptr;
  for (const TFinding& F : FReport.Findings) {
    const QString Kind = QString::fromLatin1(FindingKindName(F.Kind));
    if (!Group || Group->data(0, Qt::UserRole + 1).toString() != Kind) {
      Group = new QTreeWidgetItem(FindingsList);
      Group->setData(0, Qt::UserRole + 1, Kind);
      // Missing units are mostly the runtime's: folded, so that the rest shows.
      Group->setExpanded(F.Kind != TFindingKind::MissingUnit);
    }
    auto* Line = new QTreeWidgetItem(Group, {Text(FindingText(FReport, F))});
    Line->setToolTip(0, Line->text(0));
    if (F.Kind == TFindingKind::InterfaceMismatch || (F.Kind == TFindingKind::NotLoaded && F.File < FReport.Units.size()))
      Line->setData(0, Qt::UserRole, PathText(FReport.Units[F.File].Path));
    Group->setText(0, QStringLiteral("%1 (%2)").arg(Kind).arg(Group->childCount()));
  }
  if (FReport.Findings.empty()) new QTreeWidgetItem(FindingsList, {tr("No findings.")});
}

void TFolderTab::ShowGraph() {
  if (!Scanner) GraphView->SetGraph(FGraph, HideRuntime->isChecked());
}

void TFolderTab::OpenRow(int Row) {
  if (QTableWidgetItem* I = UnitsTable->item(Row, 0)) emit unitRequested(I->data(Qt::UserRole).toString());
}

void TFolderTab::OpenNode(int Node) {
  if (Node < 0 || size_t(Node) >= FGraph.Nodes.size()) return;
  const TGraphNode& N = FGraph.Nodes[size_t(Node)];
  if (!N.Files.empty()) emit unitRequested(PathText(FReport.Units[N.Files.front()].Path));
}
