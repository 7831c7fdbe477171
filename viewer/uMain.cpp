// The main window (see uMain.h).
#include "uMain.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QCloseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

#include "BusyCursor.h"
#include "CompareTab.h"
#include "DeclView.h"
#include "ListingView.h"
#include "FolderTab.h"
#include "JX_FormAbout.h"
#include "JX_hotButton.h"
#include "LibraryFoldersDialog.h"
#include "UsedUnits.h"
#include "Jx_PanelDropFile.h"
#include "Jx_PanelGradient.h"
#include "UnitSummary.h"
#include "ViewerSettings.h"
#include "jx_richEdit.h"

bool TFileIndexLess::operator()(const QString& A, const QString& B) const {
  int C = QString::localeAwareCompare(QLocale().toLower(A), QLocale().toLower(B));
  if (C != 0) return C < 0;
  return A < B;
}

namespace {
constexpr int SheetBorderWidth = 4;

// Turns the drop target off for as long as it lives, then back to what it
// was, also when building the tab fails.
class TDropTargetOff {
 public:
  explicit TDropTargetOff(TJx_PanelDropFile* Panel) : Panel(Panel), Was(Panel->Accept()) {
    Panel->SetAccept(false);
  }
  ~TDropTargetOff() {
    try {
      Panel->SetAccept(Was);
    } catch (const EJxDropError&) {
      // Only possible without a handler, and then it was off before.
    }
  }
  TDropTargetOff(const TDropTargetOff&) = delete;
  TDropTargetOff& operator=(const TDropTargetOff&) = delete;

 private:
  TJx_PanelDropFile* Panel;
  bool Was;
};

QFont ViewerFont(const QString& Family, int Points) {
  QFont F(Family);
  F.setPointSize(Points);
  return F;
}
}  // namespace

TfrmJXUnitPeek::TfrmJXUnitPeek(const QStringList& Arguments, QWidget* Parent)
    : QMainWindow(Parent), FArguments(Arguments) {
  Q_INIT_RESOURCE(unitpeek);
  setObjectName(QStringLiteral("frmJXUnitPeek"));
  setFont(ViewerFont(QStringLiteral("Verdana"), 8));
  resize(FirstRunSize(QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry().size()
                                                         : QSize()));
  if (QScreen* S = QGuiApplication::primaryScreen()) {
    QRect Area = S->availableGeometry();
    move(Area.center() - QPoint(width() / 2, height() / 2));
  }

  auto* Central = new QWidget(this);
  auto* Layout = new QVBoxLayout(Central);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  setCentralWidget(Central);

  CreateToolBar(Layout);
  CreateTabs(Layout);
  CreateWelcomeTab();
  CreateOpenDialog();
  CreateActions();
  CreateRecentMenus();
  SplitterMemory = new TSplitterMemory(this);

  FormCreate();
  RestoreGeometry();
}

// The size of a first run: room for the views' columns (the Code view's
// bytes and instructions, a folder's units table), within nine tenths of the
// screen; never below the window's old size where the screen has room.
QSize TfrmJXUnitPeek::FirstRunSize(const QSize& Available) {
  if (!Available.isValid() || Available.isEmpty()) return {1000, 720};
  const int W = std::min(1000, Available.width() * 9 / 10), H = std::min(720, Available.height() * 9 / 10);
  return {std::max(W, std::min(409, Available.width())), std::max(H, std::min(450, Available.height()))};
}

// Size and position of the last run, when there was one; else the window
// keeps its first size, centred.
void TfrmJXUnitPeek::RestoreGeometry() {
  const QByteArray Geometry = viewersettings::WindowGeometry();
  if (!Geometry.isEmpty()) restoreGeometry(Geometry);
}

void TfrmJXUnitPeek::closeEvent(QCloseEvent* Event) {
  viewersettings::SetWindowGeometry(saveGeometry());
  QMainWindow::closeEvent(Event);
}

// The toolbar strip with the Open, Open Folder, About and Close buttons; the
// first two carry a menu (their arrow) of the recent files and folders.
void TfrmJXUnitPeek::CreateToolBar(QVBoxLayout* Layout) {
  pnlButtons = new QWidget(centralWidget());
  pnlButtons->setObjectName(QStringLiteral("pnlButtons"));
  pnlButtons->setFixedHeight(25);
  pnlButtons->setAutoFillBackground(true);
  pnlButtons->setBackgroundRole(QPalette::Base);
  Layout->addWidget(pnlButtons);

  jxhOpen = new TJX_hotButton(QStringLiteral(":/unitpeek/open.png"), tr("Open"), true, pnlButtons);
  jxhOpen->setObjectName(QStringLiteral("jxhOpen"));
  jxhOpen->setGeometry(8, 3, 34, 19);
  jxhAbout = new TJX_hotButton(QStringLiteral(":/unitpeek/about.png"), tr("About"), true, pnlButtons);
  jxhAbout->setObjectName(QStringLiteral("jxhAbout"));
  jxhAbout->setGeometry(82, 3, 22, 19);
  jxhClose = new TJX_hotButton(QStringLiteral(":/unitpeek/close.png"), tr("Close"), false, pnlButtons);
  jxhClose->setObjectName(QStringLiteral("jxhClose"));
  jxhClose->setGeometry(111, 3, 22, 19);
  connect(jxhOpen, &QToolButton::clicked, this, &TfrmJXUnitPeek::jxhOpenClick);
  connect(jxhAbout, &QToolButton::clicked, this, &TfrmJXUnitPeek::jxhAboutClick);
  connect(jxhClose, &QToolButton::clicked, this, &TfrmJXUnitPeek::jxhCloseClick);
  jxhOpenFolder = new TJX_hotButton(QStringLiteral(":/unitpeek/openfolder.png"), tr("Open Folder..."), true,
                                    pnlButtons);
  jxhOpenFolder->setObjectName(QStringLiteral("jxhOpenFolder"));
  jxhOpenFolder->setGeometry(45, 3, 34, 19);
  connect(jxhOpenFolder, &QToolButton::clicked, this, &TfrmJXUnitPeek::jxhOpenFolderClick);
}

// The drop target around the tab control; off until the window is shown.
void TfrmJXUnitPeek::CreateTabs(QVBoxLayout* Layout) {
  jxnBack = new TJx_PanelDropFile(centralWidget());
  jxnBack->setObjectName(QStringLiteral("jxnBack"));
  jxnBack->setAutoFillBackground(true);
  jxnBack->setBackgroundRole(QPalette::Base);
  jxnBack->OnDropFiles = [this](const QStringList& Names) { jxnBackDropFiles(Names); };
  auto* BackLayout = new QVBoxLayout(jxnBack);
  BackLayout->setContentsMargins(4, 4, 4, 4);
  Layout->addWidget(jxnBack, 1);

  advPageControl = new QTabWidget(jxnBack);
  advPageControl->setObjectName(QStringLiteral("advPageControl"));
  advPageControl->setFont(ViewerFont(QStringLiteral("Tahoma"), 8));
  advPageControl->setTabsClosable(true);
  advPageControl->setMovable(false);
  advPageControl->setDocumentMode(false);
  advPageControl->setFocusPolicy(Qt::NoFocus);
  advPageControl->tabBar()->setFocusPolicy(Qt::NoFocus);
  advPageControl->setTabShape(QTabWidget::Rounded);
  BackLayout->addWidget(advPageControl);
  connect(advPageControl, &QTabWidget::tabCloseRequested, this,
          [this](int Index) { advTabSheetInfoClose(advPageControl->widget(Index)); });
  connect(advPageControl, &QTabWidget::currentChanged, this, &TfrmJXUnitPeek::UpdateTitle);
}

// The welcome tab with the welcome text; it has no close button.
void TfrmJXUnitPeek::CreateWelcomeTab() {
  advTabSheetInfo = new QWidget;
  advTabSheetInfo->setObjectName(QStringLiteral("advTabSheetInfo"));
  auto* InfoLayout = new QVBoxLayout(advTabSheetInfo);
  InfoLayout->setContentsMargins(SheetBorderWidth, SheetBorderWidth, SheetBorderWidth,
                                 SheetBorderWidth);
  reInfo = new QTextBrowser(advTabSheetInfo);
  reInfo->setObjectName(QStringLiteral("reInfo"));
  reInfo->setFrameShape(QFrame::NoFrame);
  reInfo->setReadOnly(true);
  reInfo->setOpenLinks(false);
  reInfo->setOpenExternalLinks(false);
  InfoLayout->addWidget(reInfo);
  int InfoIndex = advPageControl->addTab(advTabSheetInfo, tr("Program Info"));
  for (auto Side : {QTabBar::LeftSide, QTabBar::RightSide}) {
    if (QWidget* B = advPageControl->tabBar()->tabButton(InfoIndex, Side)) {
      advPageControl->tabBar()->setTabButton(InfoIndex, Side, nullptr);
      B->deleteLater();
    }
  }
  advPageControl->setCurrentIndex(InfoIndex);
  connect(reInfo, &QTextBrowser::anchorClicked, this, &TfrmJXUnitPeek::reInfoURLClick);
  connect(reInfo, &QTextEdit::selectionChanged, this, &TfrmJXUnitPeek::reInfoSelectionChange);
}

// The multi-select dialog of the Open button.
void TfrmJXUnitPeek::CreateOpenDialog() {
  openDialog = new QFileDialog(this);
  openDialog->setObjectName(QStringLiteral("openDialog"));
  openDialog->setFileMode(QFileDialog::ExistingFiles);
  openDialog->setAcceptMode(QFileDialog::AcceptOpen);
  openDialog->setNameFilter(QStringLiteral("Delphi Compiled Unit (*.dcu)"));
  openDialog->setDefaultSuffix(QStringLiteral("dcu"));
  openDialog->setSizeGripEnabled(true);
}

// The window's keys; they work wherever the focus is inside the window.
void TfrmJXUnitPeek::CreateActions() {
  auto Make = [this](QAction*& Action, const QString& Name, const QString& Text,
                     const QList<QKeySequence>& Keys, auto Slot) {
    Action = new QAction(Text, this);
    Action->setObjectName(Name);
    Action->setShortcuts(Keys);
    Action->setShortcutContext(Qt::WindowShortcut);
    connect(Action, &QAction::triggered, this, Slot);
    addAction(Action);
  };
  Make(actOpen, QStringLiteral("actOpen"), tr("Open..."), {QKeySequence(Qt::CTRL | Qt::Key_O)},
       [this] { jxhOpenClick(); });
  Make(actOpenFolder, QStringLiteral("actOpenFolder"), tr("Open Folder..."),
       {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}, [this] { jxhOpenFolderClick(); });
  Make(actCloseTab, QStringLiteral("actCloseTab"), tr("Close Tab"), {QKeySequence(Qt::CTRL | Qt::Key_W)},
       [this] { advTabSheetInfoClose(advPageControl->currentWidget()); });
  Make(actNextTab, QStringLiteral("actNextTab"), tr("Next Tab"), {QKeySequence(Qt::CTRL | Qt::Key_Tab)},
       [this] { StepTab(1); });
  Make(actPrevTab, QStringLiteral("actPrevTab"), tr("Previous Tab"),
       {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)},
       [this] { StepTab(-1); });
  Make(actAbout, QStringLiteral("actAbout"), tr("About"), {QKeySequence(Qt::Key_F1)}, [this] { jxhAboutClick(); });
  Make(actShowSummary, QStringLiteral("actShowSummary"), tr("Summary"), {QKeySequence(Qt::CTRL | Qt::Key_1)},
       [this] { ShowActiveView(TUnitView::Summary); });
  Make(actShowDeclarations, QStringLiteral("actShowDeclarations"), tr("Declarations"),
       {QKeySequence(Qt::CTRL | Qt::Key_2)}, [this] { ShowActiveView(TUnitView::Declarations); });
  Make(actShowBytes, QStringLiteral("actShowBytes"), tr("Bytes"), {QKeySequence(Qt::CTRL | Qt::Key_3)},
       [this] { ShowActiveView(TUnitView::Bytes); });
  Make(actShowCode, QStringLiteral("actShowCode"), tr("Code"), {QKeySequence(Qt::CTRL | Qt::Key_4)},
       [this] { ShowActiveView(TUnitView::Code); });
  Make(actFind, QStringLiteral("actFind"), tr("Find in Folder"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)},
       [this] {
         if (TFolderTab* F = ActiveFolder()) F->StartFind();
       });
  Make(actRescan, QStringLiteral("actRescan"), tr("Rescan Folder"), {QKeySequence(Qt::Key_F5)}, [this] {
    if (TFolderTab* F = ActiveFolder()) F->Rescan();
  });
  Make(actLibraryFolders, QStringLiteral("actLibraryFolders"), tr("Library Folders..."), {},
       [this] { EditLibraryFolders(); });
}

// The menus of the Open and Open Folder buttons, filled from the settings
// each time one opens (another window may have opened something meanwhile).
void TfrmJXUnitPeek::CreateRecentMenus() {
  mnuRecentFiles = new QMenu(this);
  mnuRecentFiles->setObjectName(QStringLiteral("mnuRecentFiles"));
  mnuRecentFolders = new QMenu(this);
  mnuRecentFolders->setObjectName(QStringLiteral("mnuRecentFolders"));
  connect(mnuRecentFiles, &QMenu::aboutToShow, this, [this] { FillRecentMenu(mnuRecentFiles, false); });
  connect(mnuRecentFolders, &QMenu::aboutToShow, this, [this] { FillRecentMenu(mnuRecentFolders, true); });
  for (auto [Button, Menu] : {std::pair{jxhOpen, mnuRecentFiles}, std::pair{jxhOpenFolder, mnuRecentFolders}}) {
    Button->setMenu(Menu);
    Button->setPopupMode(QToolButton::MenuButtonPopup);
  }
  FillRecentMenu(mnuRecentFiles, false);
  FillRecentMenu(mnuRecentFolders, true);
}

void TfrmJXUnitPeek::FillRecentMenu(QMenu* Menu, bool Folders) {
  using namespace viewersettings;
  const TRecentKind Kind = Folders ? TRecentKind::Folders : TRecentKind::Files;
  Menu->clear();
  const QStringList Paths = Recent(Kind);
  if (Paths.isEmpty()) Menu->addAction(Folders ? tr("No recent folders") : tr("No recent files"))->setEnabled(false);
  for (int I = 0; I < Paths.size(); ++I) {
    const QString Path = Paths[I];
    QString Shown = QDir::toNativeSeparators(Path);
    Shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* A = Menu->addAction(QStringLiteral("&%1  %2").arg((I + 1) % 10).arg(Shown));
    connect(A, &QAction::triggered, this, [this, Path, Folders] {
      if (Folders) OpenFolder(Path);
      else OpenUnitFile(Path);
    });
  }
  Menu->addSeparator();
  QAction* Clear = Menu->addAction(tr("Clear List"));
  Clear->setEnabled(!Paths.isEmpty());
  connect(Clear, &QAction::triggered, this, [Kind] { ClearRecent(Kind); });
  if (Folders) {
    Menu->addSeparator();
    Menu->addAction(actLibraryFolders);
  }
}

TfrmJXUnitPeek::~TfrmJXUnitPeek() = default;

void TfrmJXUnitPeek::FormCreate() {
  FFileIndex.clear();
  setWindowTitle(QGuiApplication::applicationDisplayName());
  CommentColor = QColor(::CommentColor.R, ::CommentColor.G, ::CommentColor.B);
  // Bold tab captions; the pages, headers and summary views inherit the font.
  QFont F = advPageControl->font();
  F.setBold(true);
  advPageControl->setFont(F);
  // The welcome text sets its own weights.
  QFont InfoFont = ViewerFont(QStringLiteral("Tahoma"), 8);
  reInfo->setFont(InfoFont);
  QFile Welcome(QStringLiteral(":/unitpeek/welcome.html"));
  if (Welcome.open(QIODevice::ReadOnly)) reInfo->setHtml(QString::fromUtf8(Welcome.readAll()));
}

void TfrmJXUnitPeek::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (!FShown) {
    FShown = true;
    FormShow();
  }
}

void TfrmJXUnitPeek::FormShow() {
  for (const QString& A : FArguments) OpenPath(A);
  jxnBack->SetAccept(true);
}

void TfrmJXUnitPeek::resizeEvent(QResizeEvent* Event) {
  QMainWindow::resizeEvent(Event);
  if (TAdvTabSheet* S = ActiveSheet(); S && S->View() != TUnitView::Summary) S->ViewWidget()->update();
  else if (QTextEdit* V = ActiveView()) V->viewport()->update();
}

QTextEdit* TfrmJXUnitPeek::ActiveView() const {
  if (auto* Sheet = qobject_cast<TAdvTabSheet*>(advPageControl->currentWidget()))
    if (Sheet->TextView) return Sheet->TextView;
  return reInfo;
}

TAdvTabSheet* TfrmJXUnitPeek::MakeFileTab(const QString& Path, const QString& TabFolder) {
  auto* Page = new TAdvTabSheet;
  Page->Library = Library();
  Page->TabFolder = TabFolder;
  // Added first so that the header and the views inherit the tab font.
  advPageControl->addTab(Page, QFileInfo(Path).fileName());
  Page->Build(Path, advPageControl->palette().color(QPalette::Window), SheetBorderWidth);
  UpdateCaptions();
  Page->CommentColor = CommentColor;
  Page->FillCompareMenu = [this, Path](QMenu* Menu) { FillCompareMenu(Menu, Path); };
  connect(Page, &TAdvTabSheet::outsideDeclarationWanted, this,
          [this, Page](const QString& File, const QString& Name) { OpenOutsideDeclaration(Page, File, Name); });
  Page->AskSaveName = [this](const QString& Suggested) { return RunSaveDialog(Suggested); };
  Page->AskSaveFile = [this](const QString& Suggested, const QString& Filter) {
    return RunExportDialog(Suggested, Filter);
  };
  return Page;
}

TAdvTabSheet* TfrmJXUnitPeek::ActiveSheet() const {
  return qobject_cast<TAdvTabSheet*>(advPageControl->currentWidget());
}

TFolderTab* TfrmJXUnitPeek::ActiveFolder() const {
  return qobject_cast<TFolderTab*>(advPageControl->currentWidget());
}

void TfrmJXUnitPeek::ShowActiveView(TUnitView View) {
  if (TAdvTabSheet* S = ActiveSheet()) S->ShowView(View);
}

void TfrmJXUnitPeek::StepTab(int By) {
  const int N = advPageControl->count();
  if (N > 1) advPageControl->setCurrentIndex((advPageControl->currentIndex() + By + N) % N);
}

void TfrmJXUnitPeek::UpdateTitle() {
  const QString App = QGuiApplication::applicationDisplayName();
  QString Name;
  if (TAdvTabSheet* S = ActiveSheet()) Name = QFileInfo(S->Path()).fileName();
  else if (advPageControl->currentWidget() != advTabSheetInfo) Name = advPageControl->tabText(advPageControl->currentIndex());
  setWindowTitle(Name.isEmpty() ? App : Name + QStringLiteral(" \u2014 ") + App);
}

void TfrmJXUnitPeek::OpenUnitFile(const QString& Path, const QString& TabFolder) {
  const QString Key = QLocale().toLower(Path);
  if (QFileInfo(Path).isFile()) viewersettings::AddRecent(viewersettings::TRecentKind::Files, Path);
  auto Known = FFileIndex.find(Key);
  if (Known != FFileIndex.end()) {
    advPageControl->setCurrentWidget(Known->second);
    return;
  }

  TDropTargetOff NoDrops(jxnBack);
  TBusyCursor Busy;
  TAdvTabSheet* Page = MakeFileTab(Path, TabFolder);
  FFileIndex.emplace(Key, Page);

  TJX_RichEditSink Sink(Page->TextView);
  if (OnTabBuilding) OnTabBuilding();
  // Loads, writes the summary (or the error block) and releases the unit.
  TSummaryOutcome Outcome = LoadAndSummarize(QFile::encodeName(Path).toStdString(), Sink);
  if (!Outcome.Loaded || !Outcome.Written) Page->SetFailure(QString::fromStdString(Outcome.Error), Outcome.FailOffset, Outcome.DefOffset);
  // In front also when the file failed: the error is what was asked for.
  advPageControl->setCurrentWidget(Page);
}

void TfrmJXUnitPeek::OpenPath(const QString& Path) {
  if (QFileInfo(Path).isDir()) OpenFolder(Path);
  else OpenUnitFile(Path);
}

TAdvTabSheet* TfrmJXUnitPeek::OpenDeclaration(const QString& Path, int64_t Offset, const QString& TabFolder) {
  OpenUnitFile(Path, TabFolder);
  TAdvTabSheet* Sheet = SheetOf(Path);
  if (Sheet) Sheet->ShowDeclaration(Offset);
  return Sheet;
}

TAdvTabSheet* TfrmJXUnitPeek::OpenOutsideDeclaration(TAdvTabSheet* From, const QString& File, const QString& Name) {
  const QPointer<TAdvTabSheet> Origin(From);
  OpenUnitFile(File, From ? From->TabFolder : QString());
  TAdvTabSheet* To = SheetOf(File);
  if (!To || To == From) return To;
  To->ShowView(TUnitView::Declarations);
  if (!To->DeclView()) return To;
  // "Unit.Name" or "Unit.TClass.Method": the name after the unit, or its
  // type.
  QString Key = Name;
  if (const qsizetype Dot = Name.indexOf(QLatin1Char('.')); Dot > 0) Key = Name.mid(Dot + 1);
  int64_t At = To->DeclView()->Declaration(Key);
  if (At < 0) At = To->DeclView()->Declaration(Key.section(QLatin1Char('.'), 0, 0));
  if (At < 0) At = To->DeclView()->Declaration(Name.mid(Name.lastIndexOf(QLatin1Char('.')) + 1));
  if (At >= 0) To->ShowDeclaration(At);
  // Back returns to the tab left, to the view that was left.
  const TUnitView Left = From ? From->View() : TUnitView::Declarations;
  To->DeclView()->Listing->PushReturn([this, Origin, Left] {
    if (!Origin) return;
    advPageControl->setCurrentWidget(Origin);
    Origin->ShowView(Left);
  });
  return To;
}

void TfrmJXUnitPeek::FillCompareMenu(QMenu* Menu, const QString& Path) {
  for (int I = 0; I < advPageControl->count(); ++I) {
    auto* S = qobject_cast<TAdvTabSheet*>(advPageControl->widget(I));
    if (!S || S->Path() == Path) continue;
    QString Shown = QDir::toNativeSeparators(S->Path());
    Shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    const QString Other = S->Path();
    connect(Menu->addAction(Shown), &QAction::triggered, this, [this, Path, Other] { CompareUnits(Path, Other); });
  }
  if (Menu->isEmpty()) Menu->addAction(tr("No other unit open"))->setEnabled(false);
  Menu->addSeparator();
  connect(Menu->addAction(tr("Other File...")), &QAction::triggered, this, [this, Path] {
    if (const QString Other = RunCompareFileDialog(Path); !Other.isEmpty()) CompareUnits(Path, Other);
  });
}

QString TfrmJXUnitPeek::RunCompareFileDialog(const QString& Path) {
  return QFileDialog::getOpenFileName(this, tr("Compare With"), QFileInfo(Path).path(),
                                      tr("Delphi Compiled Unit (*.dcu);;All files (*)"));
}

TCompareTab* TfrmJXUnitPeek::CompareUnits(const QString& PathA, const QString& PathB) {
  for (int I = 0; I < advPageControl->count(); ++I) {
    auto* Tab = qobject_cast<TCompareTab*>(advPageControl->widget(I));
    if (Tab && Tab->PathA() == PathA && Tab->PathB() == PathB) {
      Tab->Refresh();
      advPageControl->setCurrentWidget(Tab);
      return Tab;
    }
  }
  auto* Tab = new TCompareTab(PathA, PathB, Library());
  const int Index = advPageControl->addTab(Tab, TCompareTab::Caption(PathA, PathB));
  advPageControl->setTabToolTip(Index, PathA + QLatin1Char('\n') + PathB);
  advPageControl->setCurrentIndex(Index);
  return Tab;
}

TAdvTabSheet* TfrmJXUnitPeek::SheetOf(const QString& Path) const {
  const auto It = FFileIndex.find(QLocale().toLower(Path));
  return It != FFileIndex.end() ? qobject_cast<TAdvTabSheet*>(It->second) : nullptr;
}

std::shared_ptr<TUsedUnits> TfrmJXUnitPeek::Library() {
  if (!FLibrary) {
    std::vector<std::string> Folders;
    for (const QString& F : viewersettings::LibraryFolders()) Folders.push_back(QFile::encodeName(F).toStdString());
    FLibrary = std::make_shared<TUsedUnits>(std::move(Folders));
  }
  return FLibrary;
}

bool TfrmJXUnitPeek::EditLibraryFolders() {
  const QStringList Old = viewersettings::LibraryFolders();
  QStringList Folders = Old;
  if (!RunLibraryFoldersDialog(Folders)) return false;
  viewersettings::SetLibraryFolders(Folders);
  if (viewersettings::LibraryFolders() == Old) return false;
  // The tabs open keep the library they were opened with.
  FLibrary.reset();
  return true;
}

bool TfrmJXUnitPeek::RunLibraryFoldersDialog(QStringList& Folders) {
  TLibraryFoldersDialog Dialog(Folders, this);
  if (Dialog.exec() != QDialog::Accepted) return false;
  Folders = Dialog.Folders();
  return true;
}

TFolderTab* TfrmJXUnitPeek::OpenFolder(const QString& Path) {
  if (QFileInfo(Path).isDir()) viewersettings::AddRecent(viewersettings::TRecentKind::Folders, Path);
  for (int I = 0; I < advPageControl->count(); ++I) {
    auto* Tab = qobject_cast<TFolderTab*>(advPageControl->widget(I));
    if (Tab && QFileInfo(Tab->Path()) == QFileInfo(Path)) {
      advPageControl->setCurrentWidget(Tab);
      return Tab;
    }
  }
  std::vector<std::string> UnitPath;
  for (const QString& F : viewersettings::LibraryFolders()) UnitPath.push_back(QFile::encodeName(F).toStdString());
  auto* Tab = new TFolderTab(Path, nullptr, std::move(UnitPath));
  connect(Tab, &TFolderTab::unitRequested, this, [this, Tab](const QString& File) { OpenUnitFile(File, Tab->Path()); });
  Tab->AskSaveFile = [this](const QString& Suggested, const QString& Filter) {
    return RunExportDialog(Suggested, Filter);
  };
  connect(Tab, &TFolderTab::compareRequested, this, &TfrmJXUnitPeek::CompareUnits);
  connect(Tab, &TFolderTab::declarationRequested, this,
          [this, Tab](const QString& File, qint64 Offset) { OpenDeclaration(File, Offset, Tab->Path()); });
  QString Caption = QFileInfo(QDir::cleanPath(Path)).fileName();
  if (Caption.isEmpty()) Caption = Path;
  advPageControl->setCurrentIndex(advPageControl->addTab(Tab, Caption + QLatin1Char('/')));
  UpdateCaptions();
  return Tab;
}

void TfrmJXUnitPeek::jxhOpenClick() {
  for (const QString& F : RunOpenDialog()) OpenUnitFile(F);
}

QStringList TfrmJXUnitPeek::RunOpenDialog() {
  if (openDialog->exec() != QDialog::Accepted) return {};
  return openDialog->selectedFiles();
}

void TfrmJXUnitPeek::jxhOpenFolderClick() {
  const QString Folder = RunOpenFolderDialog();
  if (!Folder.isEmpty()) OpenFolder(Folder);
}

QString TfrmJXUnitPeek::RunOpenFolderDialog() {
  return QFileDialog::getExistingDirectory(this, tr("Open Folder"));
}

QString TfrmJXUnitPeek::RunExportDialog(const QString& Suggested, const QString& Filter) {
  return QFileDialog::getSaveFileName(this, tr("Export"), Suggested, Filter);
}

QString TfrmJXUnitPeek::RunSaveDialog(const QString& Suggested) {
  return QFileDialog::getSaveFileName(this, tr("Save as .pas"), Suggested,
                                      tr("Pascal source (*.pas);;All files (*)"));
}

void TfrmJXUnitPeek::jxhAboutClick() { ShowAboutBox(); }

void TfrmJXUnitPeek::ShowAboutBox() {
  TJX_FormAbout About(this);
  About.exec();
}

// The toolbar's Close ends the program: with tabs of files or folders open,
// only once the user says so (the tabs have close buttons of their own).
void TfrmJXUnitPeek::jxhCloseClick() {
  const int Open = advPageControl->count() - 1;
  if (Open > 0 && !ConfirmQuit(Open)) return;
  close();
}

bool TfrmJXUnitPeek::ConfirmQuit(int OpenTabs) {
  return QMessageBox::question(this, tr("Quit UnitPeek"),
                               OpenTabs == 1 ? tr("Quit UnitPeek and close its open tab?")
                                             : tr("Quit UnitPeek and close its %1 open tabs?").arg(OpenTabs),
                               QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Yes;
}

// Tabs of files (or folders) of the same name are told apart by the folder
// they are in: "ProjA/Unit1.dcu", "ProjB/Unit1.dcu".
void TfrmJXUnitPeek::UpdateCaptions() {
  QHash<QString, int> Count;
  std::vector<std::pair<int, QString>> Paths;
  for (int I = 0; I < advPageControl->count(); ++I) {
    QString Path;
    if (auto* S = qobject_cast<TAdvTabSheet*>(advPageControl->widget(I))) Path = S->Path();
    else if (auto* F = qobject_cast<TFolderTab*>(advPageControl->widget(I))) Path = F->Path();
    if (Path.isEmpty()) continue;
    Paths.emplace_back(I, Path);
    ++Count[TabCaption(Path, false)];
  }
  for (const auto& [I, Path] : Paths) {
    advPageControl->setTabText(I, TabCaption(Path, Count.value(TabCaption(Path, false)) > 1));
    advPageControl->setTabToolTip(I, Path);
  }
}

// A file's name, a folder's with a slash; WithFolder: after the name of the
// folder it is in.
QString TfrmJXUnitPeek::TabCaption(const QString& Path, bool WithFolder) {
  const QFileInfo Info(QDir::cleanPath(Path));
  QString Name = Info.fileName().isEmpty() ? Path : Info.fileName();
  if (Info.isDir()) Name += QLatin1Char('/');
  if (!WithFolder) return Name;
  const QString Parent = QFileInfo(Info.path()).fileName();
  return Parent.isEmpty() ? Name : Parent + QLatin1Char('/') + Name;
}

void TfrmJXUnitPeek::jxnBackDropFiles(const QStringList& FileNames) {
  for (const QString& F : FileNames)
    if (!F.isEmpty()) OpenPath(F);
}

void TfrmJXUnitPeek::advTabSheetInfoClose(QWidget* Sender) {
  if (!Sender || Sender == advTabSheetInfo) return;  // the welcome tab stays
  int Index = advPageControl->indexOf(Sender);
  if (Index < 0) return;
  for (auto It = FFileIndex.begin(); It != FFileIndex.end(); ++It) {
    if (It->second == Sender) {
      FFileIndex.erase(It);
      break;
    }
  }
  bool WasActive = advPageControl->currentIndex() == Index;
  advPageControl->removeTab(Index);
  UpdateCaptions();
  // The next page after the closed one becomes active, wrapping around.
  if (WasActive && advPageControl->count() > 0)
    advPageControl->setCurrentIndex(Index < advPageControl->count() ? Index : 0);
  // Nothing refers to the page any more.
  Sender->deleteLater();
}

void TfrmJXUnitPeek::reInfoURLClick(const QUrl& Url) {
  // The desktop's answer is of no interest.
  QDesktopServices::openUrl(Url);
}

void TfrmJXUnitPeek::reInfoSelectionChange() {
  QTextCursor C = reInfo->textCursor();
  if (!C.hasSelection() || C.selectionEnd() - C.selectionStart() != 1) return;
  if (C.selectedText() != QString(QChar::ObjectReplacementCharacter)) return;
  // A selection of just the embedded picture collapses to its start.
  int Start = C.selectionStart();
  C.setPosition(Start);
  reInfo->setTextCursor(C);
}
