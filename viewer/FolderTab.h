// A folder tab: the units of a folder tree with their findings and the uses
// graph. The folder is read one unit at a time on the window's own thread
// (the reader is process-wide, and the window's own loads run on that thread
// too), a short slice of units per turn of the event loop, so the window stays
// responsive; the scan shows its progress and can be cancelled.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
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
class TJx_PanelGradient;
class TfrmJXUnitPeek;

class TFolderTab : public QWidget {
  Q_OBJECT
 public:
  // Starts scanning Path; OpenUnit opens a unit file in its own tab.
  TFolderTab(const QString& Path, std::function<void(const QString&)> OpenUnit, QWidget* Parent = nullptr);
  ~TFolderTab() override;

  const QString& Path() const { return FPath; }
  bool Scanning() const { return Scanner != nullptr; }
  bool Cancelled() const { return FCancelled; }
  // The report of the finished (or cancelled) scan.
  const TFolderReport& Report() const { return FReport; }
  const TUsesGraph& Graph() const { return FGraph; }

  // Stops the scan; the tab shows the units read so far.
  void Cancel();
  // Opens the unit file in row Row of the units table.
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

 private:
  void ScanSlice();
  void ShowReport();
  void ShowGraph();

  QString FPath;
  std::function<void(const QString&)> FOpenUnit;
  std::unique_ptr<TFolderScanner> Scanner;
  bool FCancelled = false;
  TFolderReport FReport;
  TUsesGraph FGraph;
};

// Opens Path as a folder tab of Window (or brings its open tab to the front).
TFolderTab* OpenFolderTab(TfrmJXUnitPeek* Window, const QString& Path);
