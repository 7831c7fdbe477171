// A folder tab: the units of a folder tree with their findings and the uses
// graph. The folder is read one unit at a time on the window's own thread
// (the reader is process-wide, and the window's own loads run on that thread
// too), a short slice of units per turn of the event loop, so the window stays
// responsive; the scan shows its progress and can be cancelled.
//
// The tab opens nothing itself: a double-click on a unit or a finding, or a
// click on a unit of the graph, asks for the unit's file by unitRequested,
// which the window connects to its own OpenUnitFile; a declaration found on
// the Find page asks for its unit at the declaration by declarationRequested.
//
// Compare (a button, and the context menus of the table and the findings)
// asks for the comparison of two units by compareRequested: the two rows
// selected in the units table, or the first two files of a finding about
// several (one unit in several files; a unit compiled against another build
// of a unit it uses, where the folder holds several builds of that unit: the
// one it was checked against first).
//
// The scan also builds the folder's find index (FindIndex.h), unit by unit in
// the same slices; the Find page asks it. Until the first scan is done the
// page asks the index as far as it is built; a rescan builds a new one and
// the page keeps the last whole one meanwhile.
//
// With a unit path (the library folders), the units the folder's units use
// that are not in it but in those folders are library units, listed apart
// from the missing ones on the Findings page; the unit files of those
// folders are added to the find index after the folder's (marked library on
// the Find page), read in slices after the folder's units.
//
// The tab follows the folder on disk: a watcher on its folders and unit
// files notes every change, the changes are gathered until the folder has
// been quiet for SettleMs, and then the units that were added or changed
// (size, times or file identity) are read again and those removed dropped;
// the table keeps its selection. Rescan reads every unit again. A scan that
// was cancelled is not followed (following it would read the units the
// cancel left out); Rescan starts it again.
#pragma once

#include <QElapsedTimer>
#include <functional>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

#include "FindIndex.h"
#include "FolderRefresh.h"
#include "UnitFolders.h"
#include "UsesGraph.h"

class QCheckBox;
class QDir;
class QComboBox;
class QSpinBox;
class QFileSystemWatcher;
class QTimer;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTreeWidget;
class TFolderFindPage;
class TGraphView;
class QVBoxLayout;
class TJx_PanelGradient;

class TFolderTab : public QWidget {
  Q_OBJECT
 public:
  // Starts scanning Path once the event loop runs; UnitPath: the library
  // folders (their paths as the file system takes them).
  explicit TFolderTab(const QString& Path, QWidget* Parent = nullptr, std::vector<std::string> UnitPath = {});
  ~TFolderTab() override;

  const QString& Path() const { return FPath; }
  // Units are being read: the first scan, a rescan or the reading of what
  // changed.
  bool Scanning() const { return FStarting || Scanner != nullptr || Refresher != nullptr; }
  bool Cancelled() const { return FCancelled; }
  // The report of the finished (or cancelled) scan.
  const TFolderReport& Report() const { return FReport; }
  const TUsesGraph& Graph() const { return FGraph; }
  // The find index of the report's units (null until the first scan is done).
  const TFindIndex* Index() const { return FIndex.get(); }
  // Units read from disk since the tab was made, by scans and refreshes.
  size_t UnitsRead() const { return FUnitsRead; }

  // Stops the scan; the tab shows the units read so far.
  void Cancel();
  // Reads every unit of the folder again (a scan under way starts over).
  void Rescan();
  // Reads again the units that changed on disk since they were read, drops
  // those that are gone and reads the new ones; the watcher calls it once
  // the changes have settled. Waits for a scan under way.
  void Refresh();
  // Asks for the unit file in row Row of the units table.
  void OpenRow(int Row);
  // Shows the Find page with its pattern selected, for a new one.
  void StartFind();
  // The two files Compare takes now: the two selected rows of the units
  // table when the Units page shows, the current finding's first two files
  // when the Findings page does; empty when there are not two.
  QStringList CompareFiles() const;
  // Asks for the comparison of CompareFiles; false when there are not two.
  bool CompareSelected();

  TJx_PanelGradient* Header = nullptr;
  QLabel* Status = nullptr;
  QProgressBar* Progress = nullptr;
  QPushButton* CancelButton = nullptr;
  QPushButton* RescanButton = nullptr;
  QPushButton* FindButton = nullptr;
  QPushButton* CompareButton = nullptr;
  // Export (once a scan is done): the report as unitpeek-dump --report
  // writes it, as text or JSON, or the findings alone, to a file that
  // AskSaveFile asks for (the name suggested, the file filter; empty:
  // cancelled). True when written.
  QPushButton* ExportButton = nullptr;
  std::function<QString(const QString& Suggested, const QString& Filter)> AskSaveFile;
  enum class TExport { ReportText, ReportJson, Findings };
  bool Export(TExport What);
  QTabWidget* Pages = nullptr;
  QTableWidget* UnitsTable = nullptr;
  QTreeWidget* FindingsList = nullptr;
  QCheckBox* HideRuntime = nullptr;
  TGraphView* GraphView = nullptr;
  // Above the graph: what the picture shows of a large folder, its centre
  // and reach; the layout under way and its Cancel.
  QLabel* GraphNote = nullptr;
  QComboBox* GraphCentre = nullptr;
  QSpinBox* GraphSteps = nullptr;
  QLabel* GraphStatus = nullptr;
  QProgressBar* GraphProgress = nullptr;
  QPushButton* GraphCancel = nullptr;
  // Past this many units of the folder the graph shows the neighbourhood of
  // one unit instead of the whole folder, which no picture shows readably.
  size_t WholeGraphLimit = 150;
  TFolderFindPage* FindPage = nullptr;
  // How long one slice of the scan may read (at least one unit) before the
  // event loop runs again.
  int SliceMs = 30;
  // How long the folder must be quiet after a change before it is read
  // again; changes that keep coming are read at the latest after five times
  // as long.
  int SettleMs = 500;
  QFileSystemWatcher* Watcher = nullptr;

 signals:
  // After each slice of the scan: the units read so far and their number.
  void scanProgress(int Done, int Total);
  // A scan, a rescan or the reading of what changed has been shown.
  void scanFinished();
  // The user chose a unit file (full path) to open in a tab of its own.
  void unitRequested(const QString& Path);
  // The user chose a declaration found: its unit file and the file offset of
  // its tag byte.
  void declarationRequested(const QString& Path, qint64 Offset);
  // The user asked for two unit files (full paths) to be compared.
  void compareRequested(const QString& PathA, const QString& PathB);

 private:
  void CreateCompareButton();
  void UpdateCompareButton();
  // The steps of building the tab, in this order; CreatePages adds the
  // four pages that the next four make.
  void CreateHeader(QVBoxLayout* Layout);
  void CreateProgressRow(QVBoxLayout* Layout);
  QPushButton* CreateExportButton();
  std::string FindingsText() const;
  void CreatePages(QVBoxLayout* Layout);
  QWidget* CreateUnitsPage();
  QWidget* CreateFindingsPage();
  QWidget* CreateGraphPage();
  QVBoxLayout* CreateGraphRows();
  QWidget* CreateFindPage();
  void StartScan();
  void CreateWatcher();

  void ScanSlice();
  // Adds the units of the library folders to the index under way, a slice
  // at a time, then shows the report.
  void LibrarySlice();
  void RefreshSlice();
  void FinishRefresh();
  // A change on disk: (re)starts the wait for the folder to settle.
  void NoteChange();
  // Watches the folders of the tree and the unit files of the report.
  void UpdateWatched();
  // The full paths of the selected rows and of the current one, and back.
  QStringList SelectedFiles(QString* Current) const;
  void SelectFiles(const QStringList& Files, const QString& Current);
  // The steps of showing the finished scan.
  void ShowReport();
  void ShowResults();
  void ShowStatus();
  void FillUnitsTable();
  void FillRow(int Row, const TFolderUnit& U, const TNamePool& Names, const QDir& Base);
  void AddRowsRead();
  // Text with the folder's path (and the slash after it) taken out.
  QString RelativeToFolder(const QString& Text) const;
  void FillFindings();
  void FillLibraryUnits();
  QStringList CompareFilesOf(const TFinding& F) const;
  // Lays the uses graph out now when the Graph page is shown, else when it
  // next is.
  void ShowGraph();
  size_t GraphCentreNode();
  void GraphLaidOut(bool Drawn);
  // Asks for the file of a graph node (nothing for a unit outside the set).
  void OpenNode(int Node);

  // What a file is like now (FolderRefresh.h).
  static TFileStamp StampOf(const std::string& Path);

  QString FPath;
  std::vector<std::string> FUnitPath;
  // The library's unit files for the index under way, the next to read, and
  // how many of FIndex's units are library units (after the report's).
  std::vector<std::string> FLibraryFiles;
  size_t FLibraryNext = 0;
  bool FLibraryListed = false;
  size_t FLibraryUnits = 0;
  std::unique_ptr<TFolderScanner> Scanner;
  std::unique_ptr<TFolderRefresh> Refresher;
  bool FCancelled = false;
  TFolderReport FReport;
  // The stamp of each of FReport.Units, as read.
  std::vector<TFileStamp> FStamps;
  std::vector<TFileStamp> FScanStamps;  // of the units the scan under way read
  // The index of FReport's units, numbered as they are, and the one the scan
  // under way builds.
  std::unique_ptr<TFindIndex> FIndex, FScanIndex;
  // A scan asked for and not yet begun; the number of the scan last asked for.
  bool FStarting = false;
  int FGeneration = 0;
  TUsesGraph FGraph;
  // The Graph page, and whether FGraph is newer than its layout (laid out
  // when the page is next shown).
  QWidget* GraphPage = nullptr;
  bool FGraphStale = false;
  int FGraphNumber = 0;  // counts the graphs built, for the centre box
  QTimer* SettleTimer = nullptr;
  QElapsedTimer FFirstChange;
  // A change came while units were being read.
  bool FChangedMeanwhile = false;
  size_t FUnitsRead = 0;
};
