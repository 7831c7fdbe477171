// The main window: a welcome tab, one closable tab per opened unit file and
// one per opened folder of units. Paths come from the Open and Open Folder
// buttons and their menus of recent files and folders, the command line,
// drag and drop and the folder tabs. A folder ends in OpenFolder, anything
// else in OpenUnitFile (OpenPath tells them apart). The window alone adds,
// brings to the front and closes tabs; every tab it adds comes to the front.
//
// The window remembers its size and position, the recent files and folders
// and the positions of named splitters (ViewerSettings.h).
//
// The units a unit uses are read with it (their types decode its values):
// those in its folder, in the folder of the folder tab it was opened from,
// then in the library folders of the settings ("Library Folders..." in the
// menu of the Open Folder button). The window keeps one library of them
// (UsedUnits.h), each used unit read once; a change of the list makes a new
// one for the tabs opened afterwards, the tabs open keep theirs.
#pragma once

#include <QColor>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "UnitTab.h"

class QAction;
class QFileDialog;
class QMenu;
class QTabWidget;
class QTextBrowser;
class QTextEdit;
class QUrl;
class QVBoxLayout;
class TJX_hotButton;
class TJx_PanelDropFile;
class TJx_PanelGradient;
class TCompareTab;
class TFolderTab;
class TSplitterMemory;
class TUsedUnits;

// Order of FileIndex: case-insensitive and locale-aware; keys that compare
// equal there but are not the same text are told apart by their code points,
// so two different paths never share an entry.
struct TFileIndexLess {
  bool operator()(const QString& A, const QString& B) const;
};

class TfrmJXUnitPeek : public QMainWindow {
  Q_OBJECT
 public:
  using TFileIndex = std::map<QString, QWidget*, TFileIndexLess>;

  // Arguments: the paths given on the command line, opened in order when the
  // window is first shown.
  explicit TfrmJXUnitPeek(const QStringList& Arguments = {}, QWidget* Parent = nullptr);
  ~TfrmJXUnitPeek() override;

  // Opens one unit file: activates its tab when the path (in any letter case)
  // is open already, else builds a new tab, loads the unit, writes its
  // summary, releases the unit and brings the tab to the front. A file that
  // fails gets a tab with the error, in front as well. TabFolder: the folder
  // of the folder tab it was opened from, where its used units are looked
  // for after its own folder.
  void OpenUnitFile(const QString& Path, const QString& TabFolder = {});
  // Opens a folder of units in a folder tab that starts scanning it, or
  // brings the folder's open tab to the front; the tab's requests for a
  // unit go to OpenUnitFile, those for a declaration to OpenDeclaration.
  TFolderTab* OpenFolder(const QString& Path);
  // A folder (or a link to one) to OpenFolder, anything else to OpenUnitFile:
  // the command line and drops come here.
  void OpenPath(const QString& Path);
  // Opens the unit file at Path (OpenUnitFile) and shows its Declarations
  // view at the declaration whose tag byte is at Offset; the file's tab.
  TAdvTabSheet* OpenDeclaration(const QString& Path, int64_t Offset, const QString& TabFolder = {});
  // Opens File (a used unit of From's) at the declaration of the type Name,
  // Back there returning to From; the file's tab.
  TAdvTabSheet* OpenOutsideDeclaration(TAdvTabSheet* From, const QString& File, const QString& Name);
  // Compares two builds of a unit in a comparison tab (CompareTab.h), which
  // comes to the front; a pair compared already has its tab compared again.
  TCompareTab* CompareUnits(const QString& PathA, const QString& PathB);
  // The open file tab of Path (any letter case), or null.
  TAdvTabSheet* SheetOf(const QString& Path) const;

  // The library of the used units for the tabs opened now, on the library
  // folders of the settings.
  std::shared_ptr<TUsedUnits> Library();
  // Edits the library folders (RunLibraryFoldersDialog); the new list
  // applies to the tabs opened afterwards. True when it was changed.
  bool EditLibraryFolders();

  // The lower-cased path -> its file tab. The window owns the index, the tab
  // control owns the pages.
  const TFileIndex& FileIndex() const { return FFileIndex; }
  // The text view of the active tab: a file tab's summary, else reInfo.
  QTextEdit* ActiveView() const;

  QWidget* pnlButtons = nullptr;
  TJX_hotButton* jxhOpen = nullptr;
  TJX_hotButton* jxhAbout = nullptr;
  TJX_hotButton* jxhClose = nullptr;
  TJX_hotButton* jxhOpenFolder = nullptr;
  TJx_PanelDropFile* jxnBack = nullptr;
  QTabWidget* advPageControl = nullptr;
  QWidget* advTabSheetInfo = nullptr;
  QTextBrowser* reInfo = nullptr;
  QFileDialog* openDialog = nullptr;
  // The menus of the Open and Open Folder buttons: the recent files and
  // folders, filled each time they open.
  QMenu* mnuRecentFiles = nullptr;
  QMenu* mnuRecentFolders = nullptr;
  // Keeps the positions of the named splitters of the window's views.
  TSplitterMemory* SplitterMemory = nullptr;
  // Keyboard: Ctrl+O, Ctrl+Shift+O, Ctrl+W, Ctrl+Tab, Ctrl+Shift+Tab, F1, Ctrl+1 to
  // Ctrl+4 for the views of the active file tab, and for the active folder
  // tab Ctrl+Shift+F (its Find page) and F5 (Rescan).
  QAction* actOpen = nullptr;
  QAction* actOpenFolder = nullptr;
  QAction* actCloseTab = nullptr;
  QAction* actNextTab = nullptr;
  QAction* actPrevTab = nullptr;
  QAction* actAbout = nullptr;
  QAction* actShowSummary = nullptr;
  QAction* actShowDeclarations = nullptr;
  QAction* actShowBytes = nullptr;
  QAction* actShowCode = nullptr;
  QAction* actFind = nullptr;
  QAction* actRescan = nullptr;
  // "Library Folders...", also at the end of the Open Folder button's menu.
  QAction* actLibraryFolders = nullptr;
  // Colour of comment lines in the summaries.
  QColor CommentColor;

  // Called while a tab is built, after its unit has loaded and before the
  // summary is written (a probe for the state of the window at that point).
  std::function<void()> OnTabBuilding;

 public slots:
  void jxhOpenClick();
  // Asks for a folder and opens it (OpenFolder).
  void jxhOpenFolderClick();
  void jxhAboutClick();
  void jxhCloseClick();
  void jxnBackDropFiles(const QStringList& FileNames);
  // A tab's close button: removes the page from FileIndex and the tab strip.
  void advTabSheetInfoClose(QWidget* Sender);

  // The size of a window's first run on a screen of Available room.
  static QSize FirstRunSize(const QSize& Available);
  // A tab's caption for Path (see UpdateCaptions).
  static QString TabCaption(const QString& Path, bool WithFolder);
  void reInfoURLClick(const QUrl& Url);
  void reInfoSelectionChange();

 protected:
  // Runs openDialog; the selected files in the dialog's order, or none when
  // the dialog was cancelled.
  virtual QStringList RunOpenDialog();
  // Asks for a folder; empty when the dialog was cancelled.
  virtual QString RunOpenFolderDialog();
  // The about box, shown modally and released when it closes.
  virtual void ShowAboutBox();
  // Asks where to save a declarations listing, starting from Suggested; the
  // chosen path, or empty when cancelled.
  virtual QString RunSaveDialog(const QString& Suggested);
  // Asks where to save an export (a listing, a report); empty when cancelled.
  virtual QString RunExportDialog(const QString& Suggested, const QString& Filter);
  // Shows the library folders dialog with Folders; false when cancelled,
  // else Folders holds the new list.
  virtual bool RunLibraryFoldersDialog(QStringList& Folders);
  // Asks for a unit file to compare Path with; empty when cancelled.
  virtual QString RunCompareFileDialog(const QString& Path);
  // Asks whether to quit with OpenTabs tabs of files and folders open.
  virtual bool ConfirmQuit(int OpenTabs);

  // Tabs of files of the same name get the name of their folder too.
  void UpdateCaptions();

  void showEvent(QShowEvent* Event) override;
  // Keeps the window's size and position for the next start.
  void closeEvent(QCloseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  // The steps of building the window, in this order.
  void CreateToolBar(QVBoxLayout* Layout);
  void CreateTabs(QVBoxLayout* Layout);
  void CreateWelcomeTab();
  void CreateOpenDialog();
  void CreateActions();
  void CreateRecentMenus();
  void FillRecentMenu(QMenu* Menu, bool Folders);
  void RestoreGeometry();

  void FormCreate();
  void FormShow();
  TAdvTabSheet* MakeFileTab(const QString& Path, const QString& TabFolder);
  // The menu of a file tab's Compare With...: the other file tabs, a file.
  void FillCompareMenu(QMenu* Menu, const QString& Path);
  // The active file tab, or null on the welcome tab and on folder tabs.
  TAdvTabSheet* ActiveSheet() const;
  // The active folder tab, or null.
  TFolderTab* ActiveFolder() const;
  void ShowActiveView(TUnitView View);
  void StepTab(int By);
  void UpdateTitle();

  QStringList FArguments;
  TFileIndex FFileIndex;
  bool FShown = false;
  std::shared_ptr<TUsedUnits> FLibrary;
};
