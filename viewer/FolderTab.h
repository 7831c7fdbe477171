// A folder tab: the units of a folder tree with their findings and the uses
// graph. The folder is read one unit at a time on the window's own thread
// (the reader is process-wide, and the window's own loads run on that thread
// too), a short slice of units per turn of the event loop, so the window stays
// responsive; the scan shows its progress and can be cancelled.
//
// The tab opens nothing itself: a double-click on a unit or a finding, or a
// click on a unit of the graph, asks for the unit's file by unitRequested,
// which the window connects to its own OpenUnitFile.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "UnitFolders.h"
#include "UsesGraph.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTreeWidget;
class TGraphView;
class QVBoxLayout;
class TJx_PanelGradient;

class TFolderTab : public QWidget {
  Q_OBJECT
 public:
  // Starts scanning Path once the event loop runs.
  explicit TFolderTab(const QString& Path, QWidget* Parent = nullptr);
  ~TFolderTab() override;

  const QString& Path() const { return FPath; }
  bool Scanning() const { return Scanner != nullptr; }
  bool Cancelled() const { return FCancelled; }
  // The report of the finished (or cancelled) scan.
  const TFolderReport& Report() const { return FReport; }
  const TUsesGraph& Graph() const { return FGraph; }

  // Stops the scan; the tab shows the units read so far.
  void Cancel();
  // Asks for the unit file in row Row of the units table.
  void OpenRow(int Row);

  TJx_PanelGradient* Header = nullptr;
  QLabel* Status = nullptr;
  QProgressBar* Progress = nullptr;
  QPushButton* CancelButton = nullptr;
  QTabWidget* Pages = nullptr;
  QTableWidget* UnitsTable = nullptr;
  QTreeWidget* FindingsList = nullptr;
  QCheckBox* HideRuntime = nullptr;
  TGraphView* GraphView = nullptr;
  // How long one slice of the scan may read (at least one unit) before the
  // event loop runs again.
  int SliceMs = 30;

 signals:
  // After each slice of the scan: the units read so far and their number.
  void scanProgress(int Done, int Total);
  void scanFinished();
  // The user chose a unit file (full path) to open in a tab of its own.
  void unitRequested(const QString& Path);

 private:
  // The steps of building the tab, in this order; CreatePages adds the
  // three pages that the next three make.
  void CreateHeader(QVBoxLayout* Layout);
  void CreateProgressRow(QVBoxLayout* Layout);
  void CreatePages(QVBoxLayout* Layout);
  QWidget* CreateUnitsPage();
  QWidget* CreateFindingsPage();
  QWidget* CreateGraphPage();
  void StartScan();

  void ScanSlice();
  // The steps of showing the finished scan.
  void ShowReport();
  void ShowStatus();
  void FillUnitsTable();
  void FillFindings();
  void ShowGraph();
  // Asks for the file of a graph node (nothing for a unit outside the set).
  void OpenNode(int Node);

  QString FPath;
  std::unique_ptr<TFolderScanner> Scanner;
  bool FCancelled = false;
  TFolderReport FReport;
  TUsesGraph FGraph;
};
