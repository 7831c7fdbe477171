// The folder tab (see FolderTab.h).
#include "FolderTab.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <algorithm>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSet>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <sstream>

#include "FolderFind.h"
#include "UnitLoad.h"
#include "FolderReportWriters.h"
#include "GraphView.h"
#include "Jx_PanelGradient.h"
#include "ParallelScan.h"
#include "SaveText.h"

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

// Data of a findings line: the files of a finding about several.
constexpr int FilesRole = Qt::UserRole + 2;

// A context menu on View with Compare, enabled as the tab's button is.
template <class TTab>
void AddCompareMenu(QAbstractItemView* View, TTab* Tab) {
  View->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(View, &QWidget::customContextMenuRequested, Tab, [View, Tab](const QPoint& At) {
    QMenu Menu;
    QAction* Compare = Menu.addAction(QObject::tr("Compare"));
    Compare->setEnabled(Tab->CompareFiles().size() == 2);
    if (Menu.exec(View->viewport()->mapToGlobal(At)) == Compare) Tab->CompareSelected();
  });
}

QTableWidgetItem* Cell(const QString& S) {
  auto* I = new QTableWidgetItem(S);
  I->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return I;
}

}  // namespace

TFolderTab::TFolderTab(const QString& Path, QWidget* Parent, std::vector<std::string> UnitPath)
    : QWidget(Parent), FPath(Path), FUnitPath(std::move(UnitPath)) {
  setObjectName(QStringLiteral("FolderTab"));
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(4, 4, 4, 4);
  Layout->setSpacing(4);

  CreateHeader(Layout);
  CreateProgressRow(Layout);
  CreatePages(Layout);
  CreateWatcher();
  StartScan();
}

// The watcher of the folder; its changes wait in SettleTimer until the
// folder is quiet. What it watches is set after each scan (UpdateWatched).
void TFolderTab::CreateWatcher() {
  Watcher = new QFileSystemWatcher(this);
  SettleTimer = new QTimer(this);
  SettleTimer->setSingleShot(true);
  connect(Watcher, &QFileSystemWatcher::directoryChanged, this, &TFolderTab::NoteChange);
  connect(Watcher, &QFileSystemWatcher::fileChanged, this, &TFolderTab::NoteChange);
  connect(SettleTimer, &QTimer::timeout, this, &TFolderTab::Refresh);
}

// The folder's path on a strip of the window colour.
void TFolderTab::CreateHeader(QVBoxLayout* Layout) {
  Header = NewPathHeader(this, FPath, palette().color(QPalette::Window));
  Layout->addWidget(Header);
}

// What the scan is doing, its progress bar and the Cancel button; the
// Rescan button once it is done; the Find button (to the Find page).
void TFolderTab::CreateProgressRow(QVBoxLayout* Layout) {
  auto* ProgressRow = new QHBoxLayout;
  Status = new QLabel(tr("Looking for unit files..."), this);
  Progress = new QProgressBar(this);
  Progress->setTextVisible(true);
  CancelButton = new QPushButton(tr("Cancel"), this);
  RescanButton = new QPushButton(tr("Rescan"), this);
  RescanButton->setObjectName(QStringLiteral("RescanButton"));
  RescanButton->setToolTip(tr("Read every unit of the folder again (F5)"));
  RescanButton->hide();
  FindButton = new QPushButton(tr("Find..."), this);
  FindButton->setObjectName(QStringLiteral("FindButton"));
  FindButton->setToolTip(tr("Find declarations and units by name in the folder (Ctrl+Shift+F)"));
  ProgressRow->addWidget(Status, 1);
  ProgressRow->addWidget(Progress, 2);
  ProgressRow->addWidget(CancelButton);
  ProgressRow->addWidget(RescanButton);
  ProgressRow->addWidget(CreateExportButton());
  CreateCompareButton();
  ProgressRow->addWidget(CompareButton);
  ProgressRow->addWidget(FindButton);
  Layout->addLayout(ProgressRow);
  connect(CancelButton, &QPushButton::clicked, this, &TFolderTab::Cancel);
  connect(RescanButton, &QPushButton::clicked, this, &TFolderTab::Rescan);
  connect(FindButton, &QPushButton::clicked, this, &TFolderTab::StartFind);
}

void TFolderTab::CreateCompareButton() {
  CompareButton = new QPushButton(tr("Compare"), this);
  CompareButton->setObjectName(QStringLiteral("CompareButton"));
  CompareButton->setToolTip(tr("Compare two builds of a unit: the two units selected, or the files of the finding chosen"));
  CompareButton->setEnabled(false);
  connect(CompareButton, &QPushButton::clicked, this, &TFolderTab::CompareSelected);
}

void TFolderTab::UpdateCompareButton() { CompareButton->setEnabled(CompareFiles().size() == 2); }

QStringList TFolderTab::CompareFiles() const {
  QStringList Files;
  if (Pages->currentWidget() == UnitsTable) {
    Files = SelectedFiles(nullptr);
  } else if (Pages->currentWidget() == FindingsList) {
    if (const QTreeWidgetItem* Item = FindingsList->currentItem()) Files = Item->data(0, FilesRole).toStringList();
    if (Files.size() > 2) Files.erase(Files.begin() + 2, Files.end());
  }
  return Files.size() == 2 ? Files : QStringList();
}

bool TFolderTab::CompareSelected() {
  const QStringList Files = CompareFiles();
  if (Files.size() != 2) return false;
  emit compareRequested(Files[0], Files[1]);
  return true;
}

QPushButton* TFolderTab::CreateExportButton() {
  ExportButton = new QPushButton(tr("Export"), this);
  ExportButton->setObjectName(QStringLiteral("ExportButton"));
  ExportButton->setToolTip(tr("Save the report or the findings to a file"));
  auto* Menu = new QMenu(ExportButton);
  Menu->addAction(tr("Report as text..."), this, [this] { Export(TExport::ReportText); });
  Menu->addAction(tr("Report as JSON..."), this, [this] { Export(TExport::ReportJson); });
  Menu->addAction(tr("Findings..."), this, [this] { Export(TExport::Findings); });
  ExportButton->setMenu(Menu);
  ExportButton->setEnabled(false);
  return ExportButton;
}

// The findings alone, as the report's text has them: by kind, each kind
// under its name and count.
std::string TFolderTab::FindingsText() const {
  std::string S;
  for (size_t I = 0; I < FReport.Findings.size();) {
    const TFindingKind K = FReport.Findings[I].Kind;
    size_t End = I;
    while (End < FReport.Findings.size() && FReport.Findings[End].Kind == K) ++End;
    S += (I ? "\n" : "") + std::string(FindingKindName(K)) + " (" + std::to_string(End - I) + "):\n";
    for (; I < End; ++I) S += "  " + FindingText(FReport, FReport.Findings[I]) + "\n";
  }
  return S.empty() ? "No findings.\n" : S;
}

bool TFolderTab::Export(TExport What) {
  if (!AskSaveFile || Scanning()) return false;
  const QFileInfo Folder(QDir::cleanPath(FPath));
  const bool Json = What == TExport::ReportJson;
  const QString Suggested = Folder.absoluteFilePath() +
                            (What == TExport::Findings ? QStringLiteral(".findings.txt")
                                                       : Json ? QStringLiteral(".report.json") : QStringLiteral(".report.txt"));
  const QString Name = AskSaveFile(Suggested, Json ? tr("JSON (*.json);;All files (*)") : tr("Text (*.txt);;All files (*)"));
  if (Name.isEmpty()) return false;
  std::ostringstream Out;
  if (What == TExport::Findings) Out << FindingsText();
  else if (Json) WriteReportJson(FReport, Out);
  else WriteReportText(FReport, Out);
  QString Error;
  if (!SaveWholeFile(Name, QByteArray::fromStdString(Out.str()), Error)) {
    Status->setText(tr("Cannot write %1: %2").arg(Name, Error));
    return false;
  }
  Status->setText(tr("Saved %1").arg(Name));
  return true;
}

// The pages of the report: units, findings, graph, find.
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
  Pages->addTab(CreateFindPage(), tr("Find"));
  // The graph is laid out when its page is shown: a large folder's layout
  // takes long, and it need not hold up its other pages.
  connect(Pages, &QTabWidget::currentChanged, this, [this] {
    UpdateCompareButton();
    if (FGraphStale || (Pages->currentWidget() == GraphPage && GraphStatus->isVisible() && !GraphView->Laying()))
      ShowGraph();
    else if (Pages->currentWidget() == GraphPage)
      GraphView->setFocus(Qt::OtherFocusReason);
  });
}

// Declarations and units by name; what is chosen there is asked for.
QWidget* TFolderTab::CreateFindPage() {
  FindPage = new TFolderFindPage(FPath, this);
  connect(FindPage, &TFolderFindPage::declarationRequested, this, &TFolderTab::declarationRequested);
  connect(FindPage, &TFolderFindPage::unitRequested, this, &TFolderTab::unitRequested);
  return FindPage;
}

void TFolderTab::StartFind() {
  Pages->setCurrentWidget(FindPage);
  FindPage->FindBox->setFocus(Qt::ShortcutFocusReason);
  FindPage->FindBox->selectAll();
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
  // By file, A to Z, as the command line lists them.
  UnitsTable->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
  connect(UnitsTable, &QTableWidget::cellDoubleClicked, this, [this](int Row, int) { OpenRow(Row); });
  connect(UnitsTable, &QTableWidget::itemSelectionChanged, this, &TFolderTab::UpdateCompareButton);
  AddCompareMenu(UnitsTable, this);
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
  connect(FindingsList, &QTreeWidget::currentItemChanged, this, &TFolderTab::UpdateCompareButton);
  AddCompareMenu(FindingsList, this);
  return FindingsList;
}

// The uses graph under the switch that hides the runtime units; a click on
// a unit of the folder asks for its file. Above it the state of the layout
// (with Cancel) and, for a folder too large for one picture, the unit whose
// neighbourhood is shown and how far it reaches.
QWidget* TFolderTab::CreateGraphPage() {
  GraphPage = new QWidget(this);
  auto* GraphLayout = new QVBoxLayout(GraphPage);
  GraphLayout->setContentsMargins(0, 4, 0, 0);
  HideRuntime = new QCheckBox(tr("Hide the runtime units (used by more than half of the units, not in the folder)"),
                              GraphPage);
  HideRuntime->setChecked(true);
  GraphView = new TGraphView(GraphPage);
  GraphView->setObjectName(QStringLiteral("GraphView"));
  GraphLayout->addWidget(HideRuntime);
  GraphLayout->addLayout(CreateGraphRows());
  GraphLayout->addWidget(GraphView, 1);
  connect(HideRuntime, &QCheckBox::toggled, this, &TFolderTab::ShowGraph);
  connect(GraphView, &TGraphView::nodeClicked, this, &TFolderTab::OpenNode);
  connect(GraphView, &TGraphView::layoutFinished, this, &TFolderTab::GraphLaidOut);
  return GraphPage;
}

QVBoxLayout* TFolderTab::CreateGraphRows() {
  auto* Rows = new QVBoxLayout;
  auto* Around = new QHBoxLayout;
  GraphNote = new QLabel(GraphPage);
  GraphNote->setWordWrap(true);
  GraphCentre = new QComboBox(GraphPage);
  GraphCentre->setObjectName(QStringLiteral("GraphCentre"));
  GraphCentre->setToolTip(tr("The unit whose neighbourhood is shown"));
  GraphCentre->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  GraphSteps = new QSpinBox(GraphPage);
  GraphSteps->setObjectName(QStringLiteral("GraphSteps"));
  GraphSteps->setRange(1, 4);
  GraphSteps->setValue(1);
  GraphSteps->setPrefix(tr("Steps: "));
  GraphSteps->setToolTip(tr("How many uses away from the unit the picture reaches"));
  Around->addWidget(GraphNote, 1);
  Around->addWidget(GraphCentre);
  Around->addWidget(GraphSteps);
  auto* Laying = new QHBoxLayout;
  GraphStatus = new QLabel(GraphPage);
  GraphProgress = new QProgressBar(GraphPage);
  GraphProgress->setRange(0, 0);  // Graphviz tells nothing while it works: busy
  GraphCancel = new QPushButton(tr("Cancel"), GraphPage);
  GraphCancel->setObjectName(QStringLiteral("GraphCancel"));
  Laying->addWidget(GraphStatus, 1);
  Laying->addWidget(GraphProgress, 1);
  Laying->addWidget(GraphCancel);
  Rows->addLayout(Around);
  Rows->addLayout(Laying);
  for (QWidget* W : {(QWidget*)GraphNote, (QWidget*)GraphCentre, (QWidget*)GraphSteps, (QWidget*)GraphStatus,
                     (QWidget*)GraphProgress, (QWidget*)GraphCancel})
    W->hide();
  connect(GraphCentre, &QComboBox::activated, this, &TFolderTab::ShowGraph);
  connect(GraphSteps, &QSpinBox::valueChanged, this, &TFolderTab::ShowGraph);
  connect(GraphCancel, &QPushButton::clicked, GraphView, &TGraphView::CancelLayout);
  return Rows;
}

// The scan starts once the tab is shown and the event loop runs.
void TFolderTab::StartScan() {
  const int Generation = ++FGeneration;
  FStarting = true;
  QTimer::singleShot(0, this, [this, Generation] {
    if (Generation != FGeneration) return;  // a rescan asked meanwhile starts its own
    FStarting = false;
    // The folders are watched from the start: what is added while the scan
    // runs is read after it.
    UpdateWatched();
    FScanIndex = std::make_unique<TFindIndex>();
    // Before the first scan is done, finds ask the index as far as it is built.
    if (!FIndex) FindPage->SetIndex(FScanIndex.get());
    // The units are read ahead on a thread per core; the slices take them in order.
    Scanner = std::make_unique<TFolderScanner>(std::vector<std::string>{QFile::encodeName(FPath).toStdString()},
                                               FScanIndex.get(), DefaultJobs(), FUnitPath);
    FLibraryFiles.clear();
    FLibraryNext = 0;
    FLibraryListed = false;
    FScanStamps.clear();
    FScanStamps.reserve(Scanner->Total());
    Progress->setRange(0, int(Scanner->Total()));
    ScanSlice();
  });
}

TFolderTab::~TFolderTab() {
  // The page lets go of the index before it goes.
  FindPage->SetIndex(nullptr);
}

TFileStamp TFolderTab::StampOf(const std::string& Path) {
  struct stat St {};
  if (::stat(Path.c_str(), &St) != 0) return {};
  auto Ns = [](const timespec& T) { return int64_t(T.tv_sec) * 1000000000 + T.tv_nsec; };
  return {int64_t(St.st_size), int64_t(St.st_ino), Ns(St.st_mtim), Ns(St.st_ctim)};
}

void TFolderTab::ScanSlice() {
  if (!Scanner) return;
  QElapsedTimer Clock;
  Clock.start();
  do {
    // Taken before the read: a change while reading shows as a later stamp.
    FScanStamps.push_back(StampOf(Scanner->NextPath()));
    Scanner->ReadNext();
    ++FUnitsRead;
  } while (!Scanner->AtEnd() && Clock.elapsed() < SliceMs);
  Progress->setValue(int(Scanner->Done()));
  Status->setText(tr("Reading unit %1 of %2").arg(Scanner->Done()).arg(Scanner->Total()));
  AddRowsRead();
  emit scanProgress(int(Scanner->Done()), int(Scanner->Total()));
  if (!Scanner) return;  // cancelled meanwhile
  if (!Scanner->AtEnd()) {
    QTimer::singleShot(0, this, &TFolderTab::ScanSlice);
    return;
  }
  LibrarySlice();
}

void TFolderTab::LibrarySlice() {
  if (!Scanner || !Scanner->AtEnd()) return;  // a rescan started meanwhile
  if (!FLibraryListed) {
    FLibraryListed = true;
    std::vector<std::string> Known;
    for (const TFolderUnit& U : Scanner->UnitsRead()) Known.push_back(U.Path);
    FLibraryFiles = FUnitPath.empty() ? std::vector<std::string>{} : LibraryUnitFiles(FUnitPath, Known);
    FScanIndex->SetLibraryFrom(uint32_t(FScanIndex->Size()));
  }
  QElapsedTimer Clock;
  Clock.start();
  while (FLibraryNext < FLibraryFiles.size() && Clock.elapsed() < SliceMs) {
    const std::string& File = FLibraryFiles[FLibraryNext++];
    std::optional<TFindUnit> Taken;
    const TUnitLoad L = TryLoadUnit(File, [&](const TUnit& U) { Taken = FScanIndex->Take(U); });
    if (!L.Facts) Taken.reset();
    FScanIndex->Add(File, std::move(Taken), L.Error);
  }
  if (FLibraryNext < FLibraryFiles.size()) {
    Status->setText(tr("Reading library unit %1 of %2").arg(FLibraryNext).arg(FLibraryFiles.size()));
    QTimer::singleShot(0, this, &TFolderTab::LibrarySlice);
    return;
  }
  // The label and the bar are drawn as they are now before the findings
  // take their time.
  Status->setText(tr("Working out the findings of %1 units...").arg(Scanner->Total()));
  const int Generation = FGeneration;
  QTimer::singleShot(0, this, [this, Generation] {
    if (Scanner && Generation == FGeneration) ShowReport();
  });
}

// The units read so far, as rows of the table (their problems are known
// once the scan is done).
void TFolderTab::AddRowsRead() {
  if (!Scanner || FIndex) return;  // a rescan keeps the table of the last scan until it is done
  const std::vector<TFolderUnit>& Units = Scanner->UnitsRead();
  const QDir Base(FPath);
  const int From = UnitsTable->rowCount();
  if (size_t(From) >= Units.size()) return;
  UnitsTable->setSortingEnabled(false);
  UnitsTable->setRowCount(int(Units.size()));
  for (int Row = From; Row < int(Units.size()); ++Row) FillRow(Row, Units[size_t(Row)], Scanner->Names(), Base);
  UnitsTable->setSortingEnabled(true);
}

void TFolderTab::Cancel() {
  if (!Scanner) return;
  FCancelled = true;
  SettleTimer->stop();
  if (const QStringList W = Watcher->files() + Watcher->directories(); !W.isEmpty()) Watcher->removePaths(W);
  ShowReport();
}

void TFolderTab::Rescan() {
  Scanner.reset();
  Refresher.reset();
  SettleTimer->stop();
  FCancelled = false;
  FChangedMeanwhile = false;
  Status->setText(tr("Looking for unit files..."));
  Progress->setValue(0);
  Progress->show();
  CancelButton->show();
  RescanButton->hide();
  StartScan();
}

void TFolderTab::NoteChange() {
  if (!SettleTimer->isActive()) FFirstChange.start();
  // Changes that keep coming postpone the reading only so long.
  if (!SettleTimer->isActive() || FFirstChange.elapsed() < 5 * qint64(SettleMs)) SettleTimer->start(SettleMs);
}

void TFolderTab::Refresh() {
  if (FCancelled || !FIndex) return;
  if (Scanning()) {
    FChangedMeanwhile = true;
    return;
  }
  auto R = std::make_unique<TFolderRefresh>(QFile::encodeName(FPath).toStdString(), FReport, FStamps, &StampOf);
  if (R->Same()) {  // a change that touched no unit file (another kind of file)
    UpdateWatched();
    return;
  }
  Progress->setRange(0, int(R->ToRead()));
  Progress->setValue(0);
  Progress->setVisible(R->ToRead() > 0);
  Status->setText(R->ToRead() == 1 ? tr("Reading 1 changed unit...")
                                   : tr("Reading %1 changed units...").arg(R->ToRead()));
  Refresher = std::move(R);
  QTimer::singleShot(0, this, &TFolderTab::RefreshSlice);
}

void TFolderTab::RefreshSlice() {
  TFolderRefresh* R = Refresher.get();
  if (!R) return;
  QElapsedTimer Clock;
  Clock.start();
  // At least one unit a slice.
  while (R->ReadNext(FReport, *FIndex)) {
    ++FUnitsRead;
    if (Clock.elapsed() >= SliceMs) break;
  }
  Progress->setValue(int(R->DoneReading()));
  if (R->DoneReading() < R->ToRead()) {
    QTimer::singleShot(0, this, &TFolderTab::RefreshSlice);
    return;
  }
  FinishRefresh();
}

// The new walk's units in its order, those kept moved over from the report.
void TFolderTab::FinishRefresh() {
  const std::unique_ptr<TFolderRefresh> R = std::move(Refresher);
  R->Finish(FReport, *FIndex, FLibraryUnits, FStamps);
  ShowResults();
}

void TFolderTab::ShowReport() {
  FReport = Scanner->Finish();
  Scanner.reset();
  FIndex = std::move(FScanIndex);
  FLibraryUnits = FIndex->Size() - FReport.Units.size();
  FindPage->SetIndex(FIndex.get());
  FStamps = std::move(FScanStamps);
  FScanStamps.clear();
  ShowResults();
}

void TFolderTab::ShowResults() {
  QString Current;
  const QStringList Selected = SelectedFiles(&Current);
  FGraph = BuildUsesGraph(FReport);
  ++FGraphNumber;
  CancelButton->hide();
  Progress->hide();
  RescanButton->show();
  ExportButton->setEnabled(true);
  ShowStatus();
  FillUnitsTable();
  SelectFiles(Selected, Current);
  FillFindings();
  ShowGraph();
  if (!FindPage->FindBox->text().trimmed().isEmpty()) FindPage->Rerun();
  if (!FCancelled) UpdateWatched();
  emit scanFinished();
  if (FChangedMeanwhile && !FCancelled) {
    FChangedMeanwhile = false;
    NoteChange();
  }
}

void TFolderTab::UpdateWatched() {
  QSet<QString> Want;
  if (QFileInfo(FPath).isDir()) {
    Want.insert(FPath);
    // The folders the walk enters: links to folders are not followed.
    QDirIterator It(FPath, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (It.hasNext()) Want.insert(It.next());
  }
  for (const TFolderUnit& U : FReport.Units) Want.insert(PathText(U.Path));
  const QStringList HaveList = Watcher->files() + Watcher->directories();
  const QSet<QString> Have(HaveList.begin(), HaveList.end());
  const QSet<QString> Gone = Have - Want, New = Want - Have;
  if (!Gone.isEmpty()) Watcher->removePaths(Gone.values());
  // Paths past the system's limit of watches stay unwatched; Rescan reads them.
  if (!New.isEmpty()) Watcher->addPaths(New.values());
}

QStringList TFolderTab::SelectedFiles(QString* Current) const {
  QStringList Files;
  for (const QModelIndex& I : UnitsTable->selectionModel()->selectedRows(0))
    Files << I.data(Qt::UserRole).toString();
  if (Current) {
    const QTableWidgetItem* C = UnitsTable->item(UnitsTable->currentRow(), 0);
    *Current = C ? C->data(Qt::UserRole).toString() : QString();
  }
  return Files;
}

void TFolderTab::SelectFiles(const QStringList& Files, const QString& Current) {
  QHash<QString, int> RowOf;
  for (int Row = 0; Row < UnitsTable->rowCount(); ++Row)
    if (const QTableWidgetItem* I = UnitsTable->item(Row, 0)) RowOf.insert(I->data(Qt::UserRole).toString(), Row);
  QItemSelectionModel* Sel = UnitsTable->selectionModel();
  Sel->clearSelection();
  if (const auto It = RowOf.constFind(Current); It != RowOf.constEnd()) {
    Sel->setCurrentIndex(UnitsTable->model()->index(*It, 0), QItemSelectionModel::NoUpdate);
    UnitsTable->scrollTo(UnitsTable->model()->index(*It, 0));
  }
  QItemSelection Rows;
  for (const QString& F : Files)
    if (const auto It = RowOf.constFind(F); It != RowOf.constEnd())
      Rows.select(UnitsTable->model()->index(*It, 0), UnitsTable->model()->index(*It, UnitsTable->columnCount() - 1));
  Sel->select(Rows, QItemSelectionModel::Select);
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
  for (int Row = 0; Row < int(FReport.Units.size()); ++Row)
    FillRow(Row, FReport.Units[size_t(Row)], FReport.Names, Base);
  UnitsTable->setSortingEnabled(true);
  UnitsTable->resizeColumnsToContents();
}

void TFolderTab::FillRow(int Row, const TFolderUnit& U, const TNamePool& Names, const QDir& Base) {
  const QString Full = PathText(U.Path);
  auto* File = Cell(Base.relativeFilePath(Full));
  File->setData(Qt::UserRole, Full);
  File->setToolTip(Full);
  UnitsTable->setItem(Row, 0, File);
  UnitsTable->setItem(Row, 1, Cell(U.Ok ? Text(DisplayUtf8(Names.Text(U.UnitName))) : QString()));
  auto* Version = Cell(QString());
  if (U.Ok) Version->setData(Qt::DisplayRole, U.Facts.Version);
  UnitsTable->setItem(Row, 2, Version);
  UnitsTable->setItem(Row, 3, Cell(U.Ok ? (U.Facts.DebugInfo ? tr("yes") : tr("no")) : QString()));
  auto* Problems = Cell(ProblemsText(U));
  if (U.Has(TFindingKind::NotLoaded) || U.Has(TFindingKind::InterfaceMismatch))
    Problems->setForeground(QColor(200, 0, 0));
  UnitsTable->setItem(Row, 4, Problems);
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
      // The runtime units are one finding of their own: every group shows.
      Group->setExpanded(true);
    }
    // The paths relative to the folder; the whole text in the tool tip.
    const QString Whole = Text(FindingText(FReport, F));
    auto* Line = new QTreeWidgetItem(Group, {RelativeToFolder(Whole)});
    Line->setToolTip(0, Whole);
    if (F.Kind == TFindingKind::InterfaceMismatch || (F.Kind == TFindingKind::NotLoaded && F.File < FReport.Units.size()))
      Line->setData(0, Qt::UserRole, PathText(FReport.Units[F.File].Path));
    Line->setData(0, FilesRole, CompareFilesOf(F));
    Group->setText(0, QStringLiteral("%1 (%2)").arg(Kind).arg(Group->childCount()));
  }
  if (FReport.Findings.empty()) new QTreeWidgetItem(FindingsList, {tr("No findings.")});
  FillLibraryUnits();
}

// The used units found in the library folders, apart from the findings (they
// are not missing); a double-click asks for the file.
void TFolderTab::FillLibraryUnits() {
  if (FReport.Library.empty()) return;
  auto* Group = new QTreeWidgetItem(FindingsList, {tr("library units (%1, in the library folders)").arg(FReport.Library.size())});
  Group->setData(0, Qt::UserRole + 1, QStringLiteral("library"));
  Group->setExpanded(true);
  for (const TLibraryUnit& L : FReport.Library) {
    const size_t Users = FReport.FileLists[L.FileList].size();
    auto* Line = new QTreeWidgetItem(Group, {tr("%1 (%2), used by %3")
                                                 .arg(Text(DisplayUtf8(FReport.Names.Text(L.Unit))), PathText(L.Path))
                                                 .arg(Users == 1 ? tr("1 unit") : tr("%1 units").arg(Users))});
    Line->setData(0, Qt::UserRole, PathText(L.Path));
  }
}

// The files a finding leads Compare to: the files of a unit in several; for
// an importer compiled against another build of a unit, the file of that
// unit it was checked against and the unit's other files in the folder.
QStringList TFolderTab::CompareFilesOf(const TFinding& F) const {
  QStringList Files;
  if (F.Kind == TFindingKind::DuplicateUnit || F.Kind == TFindingKind::InterfaceMismatch)
    for (uint32_t I : FReport.FilesOf(F)) Files << PathText(FReport.Units[I].Path);
  if (F.Kind == TFindingKind::InterfaceMismatch) {
    const uint32_t Unit = FReport.Names.Folded(F.Unit);
    for (const TFolderUnit& U : FReport.Units)
      if (U.Ok && FReport.Names.Folded(U.UnitName) == Unit && !Files.contains(PathText(U.Path))) Files << PathText(U.Path);
  }
  return Files.size() >= 2 ? Files : QStringList();
}

QString TFolderTab::RelativeToFolder(const QString& Text) const {
  QString Prefix = QDir::cleanPath(FPath);
  if (!Prefix.endsWith(QLatin1Char('/'))) Prefix += QLatin1Char('/');
  QString T = Text;
  return T.replace(Prefix, QString());
}

void TFolderTab::ShowGraph() {
  if (Scanner || FStarting) return;
  FGraphStale = Pages->currentWidget() != GraphPage;
  if (FGraphStale) return;
  TDotOptions O;
  O.HideRuntime = HideRuntime->isChecked();
  const bool Large = FGraph.SetUnits > WholeGraphLimit;
  for (QWidget* W : {(QWidget*)GraphNote, (QWidget*)GraphCentre, (QWidget*)GraphSteps}) W->setVisible(Large);
  size_t Units = FGraph.SetUnits;
  if (Large) {
    const size_t Centre = GraphCentreNode();
    O.Only = UsesNeighbourhood(FGraph, Centre, GraphSteps->value(), O.HideRuntime);
    Units = size_t(std::count(O.Only.begin(), O.Only.end(), true));
    const int Steps = GraphSteps->value();
    GraphNote->setText(tr("%1 units are too many for one readable picture: this shows %2 with the units "
                          "it uses and the units that use it, %3 away.")
                           .arg(FGraph.SetUnits)
                           .arg(Text(FGraph.Nodes[Centre].Name))
                           .arg(Steps == 1 ? tr("one step") : tr("up to %1 steps").arg(Steps)));
  }
  GraphStatus->setText(Units == 1 ? tr("Laying out the uses graph of 1 unit...")
                                   : tr("Laying out the uses graph of %1 units...").arg(Units));
  for (QWidget* W : {(QWidget*)GraphStatus, (QWidget*)GraphProgress, (QWidget*)GraphCancel}) W->show();
  GraphView->StartLayout(FGraph, O);
}

// The centre chosen in the box; the box is filled anew for each graph, with
// the units of the set by name, and starts at the unit of the table's
// current row, or else at the unit with the most uses.
size_t TFolderTab::GraphCentreNode() {
  if (GraphCentre->property("graph").toInt() != FGraphNumber) {
    GraphCentre->setProperty("graph", FGraphNumber);
    std::vector<size_t> Set(FGraph.SetUnits);
    for (size_t I = 0; I < Set.size(); ++I) Set[I] = I;
    std::sort(Set.begin(), Set.end(), [&](size_t A, size_t B) {
      return QString::compare(Text(FGraph.Nodes[A].Name), Text(FGraph.Nodes[B].Name), Qt::CaseInsensitive) < 0;
    });
    GraphCentre->clear();
    for (size_t N : Set) GraphCentre->addItem(Text(FGraph.Nodes[N].Name), qulonglong(N));
    // Not a unit that everything uses: its neighbourhood would be the whole
    // graph; one with a score of uses or so makes a picture that reads.
    size_t Start = BusiestSetNode(FGraph, std::max<size_t>(2, WholeGraphLimit / 8));
    const QTableWidgetItem* Row = UnitsTable->item(UnitsTable->currentRow(), 1);
    for (size_t N : Set)
      if (Row && Text(FGraph.Nodes[N].Name).compare(Row->text(), Qt::CaseInsensitive) == 0) Start = N;
    GraphCentre->setCurrentIndex(GraphCentre->findData(qulonglong(Start)));
  }
  const QVariant V = GraphCentre->currentData();
  return V.isValid() && V.toULongLong() < FGraph.Nodes.size() ? size_t(V.toULongLong()) : 0;
}

void TFolderTab::GraphLaidOut(bool Drawn) {
  GraphProgress->hide();
  GraphCancel->hide();
  GraphStatus->setVisible(!Drawn);
  if (!Drawn)
    GraphStatus->setText(GraphView->LayoutError().isEmpty()
                             ? tr("The layout was cancelled; choose another unit or step, or show the page again.")
                             : GraphView->LayoutError());
  // Its keys work at once.
  if (Drawn && GraphView->isVisible()) GraphView->setFocus(Qt::OtherFocusReason);
}

void TFolderTab::OpenRow(int Row) {
  if (QTableWidgetItem* I = UnitsTable->item(Row, 0)) emit unitRequested(I->data(Qt::UserRole).toString());
}

void TFolderTab::OpenNode(int Node) {
  if (Node < 0 || size_t(Node) >= FGraph.Nodes.size()) return;
  const TGraphNode& N = FGraph.Nodes[size_t(Node)];
  if (!N.Files.empty()) emit unitRequested(PathText(FReport.Units[N.Files.front()].Path));
}
