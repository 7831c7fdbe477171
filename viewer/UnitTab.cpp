// The file tab: header, view switch and the four views (see UnitTab.h).
#include "UnitTab.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QStackedWidget>
#include <QTextEdit>
#include <QStandardItemModel>
#include <QSortFilterProxyModel>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "BusyCursor.h"
#include "CodeView.h"
#include "LoadHint.h"
#include "FillDeclView.h"
#include "DeclView.h"
#include "HexView.h"
#include "Jx_PanelGradient.h"
#include "ListingView.h"
#include "ParseOffset.h"
#include "UnitPath.h"
#include "UsedUnits.h"

namespace {
const QColor FailMarkColor(255, 128, 128);
const QColor DefMarkColor(255, 200, 96);
const QColor DeclMarkColor(150, 195, 255);
const QColor CodeMarkColor(160, 225, 160);

QString Hex(int64_t Offset) { return QStringLiteral("0x") + QString::number(Offset, 16).toUpper(); }

// The tab font is bold for the captions; the views' own text is not.
void Unbold(QWidget* W) {
  QFont F = W->font();
  F.setBold(false);
  W->setFont(F);
}

// A small square of the mark's colour for the line above the dump.
QString Swatch(const QColor& C) {
  return QStringLiteral("<span style=\"background-color:%1\">&nbsp;&nbsp;&nbsp;</span>&nbsp;").arg(C.name());
}
}  // namespace

TAdvTabSheet::TAdvTabSheet(QWidget* Parent) : QWidget(Parent) {}

void TAdvTabSheet::Build(const QString& Path, const QColor& HeaderBack, int BorderWidth) {
  FPath = Path;
  auto* PageLayout = new QVBoxLayout(this);
  PageLayout->setContentsMargins(BorderWidth, BorderWidth, BorderWidth, BorderWidth);
  PageLayout->setSpacing(0);

  Header = NewPathHeader(this, Path, HeaderBack);
  PageLayout->addWidget(Header);

  FStack = new QStackedWidget(this);
  TextView = new QTextEdit(FStack);
  TextView->setObjectName(QStringLiteral("TextView"));
  TextView->setFrameShape(QFrame::NoFrame);
  TextView->clear();
  TextView->setReadOnly(true);
  TextView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  TextView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  TextView->setLineWrapMode(QTextEdit::WidgetWidth);
  FStack->addWidget(TextView);
  PageLayout->addWidget(FStack, 1);
}

void TAdvTabSheet::showEvent(QShowEvent* Event) {
  if (!FButtons[0]) BuildViewSwitch();
  QWidget::showEvent(Event);
}

// The view switch: one button per view, under the path. Made when the tab is
// first shown: of many files opened at once, most tabs are never looked at.
void TAdvTabSheet::BuildViewSwitch() {
  auto* Bar = new QHBoxLayout;
  Bar->setContentsMargins(0, 2, 0, 2);
  Bar->setSpacing(2);
  static const char* const Names[UnitViewCount] = {QT_TR_NOOP("Summary"), QT_TR_NOOP("Declarations"),
                                                   QT_TR_NOOP("Bytes"), QT_TR_NOOP("Code")};
  for (int I = 0; I < UnitViewCount; ++I) {
    auto* B = new QToolButton(this);
    B->setObjectName(QStringLiteral("View") + QLatin1String(Names[I]));
    B->setText(tr(Names[I]));
    B->setToolTip(tr("%1 (Ctrl+%2)").arg(tr(Names[I])).arg(I + 1));
    B->setCheckable(true);
    B->setAutoExclusive(true);
    B->setAutoRaise(true);
    B->setFocusPolicy(Qt::NoFocus);
    B->setChecked(I == static_cast<int>(FView));
    connect(B, &QToolButton::clicked, this, [this, I] { ShowView(static_cast<TUnitView>(I)); });
    Bar->addWidget(B);
    FButtons[I] = B;
  }
  Bar->addStretch(1);
  FCompareButton = new QToolButton(this);
  FCompareButton->setObjectName(QStringLiteral("CompareWith"));
  FCompareButton->setText(tr("Compare With..."));
  FCompareButton->setToolTip(tr("Compare this unit with another build of it: an open tab or a file"));
  FCompareButton->setAutoRaise(true);
  FCompareButton->setFocusPolicy(Qt::NoFocus);
  FCompareButton->setPopupMode(QToolButton::InstantPopup);
  auto* Menu = new QMenu(FCompareButton);
  connect(Menu, &QMenu::aboutToShow, this, [this, Menu] {
    Menu->clear();
    if (FillCompareMenu) FillCompareMenu(Menu);
  });
  FCompareButton->setMenu(Menu);
  Bar->addWidget(FCompareButton);
  static_cast<QVBoxLayout*>(layout())->insertLayout(1, Bar);
}

void TAdvTabSheet::SetFailure(const QString& Message, int64_t At, int64_t Def) {
  FFailed = true;
  FFailMessage = Message;
  FFailAt = At;
  FFailDef = Def;
  // Beside the message (which the summary shows as it is), the cause in a
  // plain sentence, under the path.
  const std::string Hint = LoadErrorHint(QFile::encodeName(FPath).toStdString(), Message.toStdString());
  if (Hint.empty()) return;
  HintLabel = new QLabel(QString::fromStdString(Hint), this);
  HintLabel->setObjectName(QStringLiteral("LoadHint"));
  HintLabel->setWordWrap(true);
  HintLabel->setStyleSheet(QStringLiteral("QLabel { color: #a00000; padding: 3px 8px; }"));
  static_cast<QVBoxLayout*>(layout())->insertWidget(1, HintLabel);
}

QWidget* TAdvTabSheet::ViewWidget() const { return FStack ? FStack->currentWidget() : nullptr; }

QAbstractButton* TAdvTabSheet::ViewButton(TUnitView View) {
  if (!FButtons[0]) BuildViewSwitch();
  return FButtons[static_cast<int>(View)];
}

void TAdvTabSheet::ShowView(TUnitView View) {
  if (!FStack) return;
  QWidget* W = TextView;
  if (View == TUnitView::Declarations) {
    if (!FDecl) BuildDeclView();
    W = FDecl;
  } else if (View == TUnitView::Bytes) {
    if (!FHex) BuildBytesView();
    W = FBytesPage;
  } else if (View == TUnitView::Code) {
    if (!FCode) BuildCodeView();
    W = FCode;
  }
  if (FButtons[0]) FButtons[static_cast<int>(View)]->setChecked(true);
  FView = View;
  FStack->setCurrentWidget(W);
  if (View == TUnitView::Bytes) FHex->setFocus();
  else if (View == TUnitView::Declarations) FDecl->Listing->setFocus();
  else if (View == TUnitView::Code) FCode->Listing->setFocus();
  else TextView->setFocus();
}

void TAdvTabSheet::BuildDeclView() {
  TBusyCursor Busy;
  FDecl = new TDeclView(FStack);
  FDecl->setObjectName(QStringLiteral("DeclView"));
  Unbold(FDecl);
  FDecl->AskSaveName = [this](const QString& Suggested) {
    return AskSaveName ? AskSaveName(Suggested) : QString();
  };
  const QFileInfo Info(FPath);
  FDecl->SuggestedSaveName = Info.dir().filePath(Info.completeBaseName() + QStringLiteral(".pas"));
  connect(FDecl, &TDeclView::declarationChosen, this, &TAdvTabSheet::MarkDeclaration);
  connect(FDecl, &TDeclView::codeWanted, this, &TAdvTabSheet::ShowCodeOf);
  FDecl->FollowOutside = [this](const QString& Name) {
    const QString File = UsedUnitDeclaring(Name);
    if (File.isEmpty()) return false;
    emit outsideDeclarationWanted(File, Name);
    return true;
  };
  // The values of types of the used units are decoded by them.
  const std::unique_ptr<TUsedTypes> Used =
      Library ? Library->For(UnitFolderOf(QFile::encodeName(FPath).toStdString()),
                             TabFolder.isEmpty() ? std::string() : QFile::encodeName(TabFolder).toStdString())
              : nullptr;
  if (FFailed && !FillPartialDeclView(*FDecl, FPath, CommentColor, Used.get()))
    FDecl->SetMessage(tr("No declarations: the file did not load.\n\n%1\n\n"
                         "The Bytes view shows where reading stopped.")
                          .arg(FFailMessage));
  else if (!FFailed)
    FillDeclView(*FDecl, FPath, CommentColor, Used.get());
  FStack->addWidget(FDecl);
}

void TAdvTabSheet::BuildCodeView() {
  TBusyCursor Busy;
  FCode = new TCodeView(FStack);
  FCode->setObjectName(QStringLiteral("CodeView"));
  Unbold(FCode);
  FCode->Listing->SetCommentColor(CommentColor);
  FCode->ShowDeclaration = [this](int64_t TagOffset) { return ShowDeclarationOf(TagOffset); };
  FCode->FollowOutside = [this](const QString& Name) {
    const QString File = UsedUnitDeclaring(Name);
    if (File.isEmpty()) return false;
    emit outsideDeclarationWanted(File, Name);
    return true;
  };
  FCode->AskSaveFile = [this](const QString& Suggested, const QString& Filter) {
    return AskSaveFile ? AskSaveFile(Suggested, Filter) : QString();
  };
  const QFileInfo Info(FPath);
  FCode->SuggestedSaveBase = Info.dir().filePath(Info.completeBaseName());
  connect(FCode, &TCodeView::itemChosen, this, &TAdvTabSheet::MarkCodeItem);
  if (FFailed && !FCode->OpenPartial(FPath))
    FCode->SetMessage(tr("No code: the file did not load.\n\n%1\n\n"
                         "The Bytes view shows where reading stopped.")
                          .arg(FFailMessage));
  else if (!FFailed)
    FCode->Open(FPath);
  FStack->addWidget(FCode);
}

bool TAdvTabSheet::ShowDeclarationOf(int64_t TagOffset) {
  if (!FDecl) BuildDeclView();
  if (!FDecl->Listing->Text().Place(TagOffset)) return false;
  ShowView(TUnitView::Declarations);
  FDecl->Listing->PushReturn([this] { ShowView(TUnitView::Code); });
  FDecl->JumpTo(TagOffset, false);
  return true;
}

bool TAdvTabSheet::ShowCodeOf(int64_t TagOffset) {
  if (!FCode) BuildCodeView();
  if (!FCode->RoutineAtDecl(TagOffset)) return false;
  FCode->Listing->PushReturn([this] { ShowView(TUnitView::Declarations); });
  FCode->ShowRoutineAtDecl(TagOffset, false);
  ShowView(TUnitView::Code);
  return true;
}

void TAdvTabSheet::BuildBytesView() {
  TBusyCursor Busy;
  CreateBytesPage();
  FStack->addWidget(FBytesPage);
  if (LoadBytes()) {
    // Lay the page out now, so that the dump knows how many rows it shows.
    FStack->setCurrentWidget(FBytesPage);
    if (QLayout* L = FBytesPage->layout()) L->activate();
    UpdateBytesMarks(true);
  }
}

void TAdvTabSheet::CreateBytesPage() {
  FBytesPage = new QWidget(FStack);
  FBytesPage->setObjectName(QStringLiteral("BytesPage"));
  Unbold(FBytesPage);
  auto* Layout = new QVBoxLayout(FBytesPage);
  Layout->setContentsMargins(0, 2, 0, 0);
  Layout->setSpacing(2);
  FBytesInfo = new QLabel(FBytesPage);
  FBytesInfo->setObjectName(QStringLiteral("BytesInfo"));
  FBytesInfo->setWordWrap(true);
  FBytesInfo->setTextFormat(Qt::RichText);
  Layout->addWidget(FBytesInfo);
  FHex = new THexView(FBytesPage);
  FHex->setObjectName(QStringLiteral("HexView"));
  Layout->addWidget(FHex, 1);
  auto* Foot = new QHBoxLayout;
  FPosition = new QLabel(FBytesPage);
  FPosition->setObjectName(QStringLiteral("BytesPosition"));
  FPosition->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Foot->addWidget(FPosition, 1);
  Foot->addWidget(CreateBytesFindBox());
  Foot->addWidget(CreateGoToBox());
  Layout->addLayout(Foot);
  connect(FHex, &THexView::currentChanged, this, &TAdvTabSheet::ShowPosition);
}

// Find bytes (Ctrl+F): hex pairs or text; Enter or F3 the next place after
// the current byte, Shift with them the one before.
QLineEdit* TAdvTabSheet::CreateBytesFindBox() {
  FBytesFind = new QLineEdit(FBytesPage);
  FBytesFind->setObjectName(QStringLiteral("BytesFind"));
  FBytesFind->setPlaceholderText(tr("Find hex or text (Ctrl+F)"));
  FBytesFind->setToolTip(tr("Hex byte pairs (75 54 or 7554), else text; text in \"quotes\" is always text. "
                            "Enter or F3: next; Shift+Enter or Shift+F3: previous"));
  FBytesFind->setClearButtonEnabled(true);
  FBytesFind->setMinimumWidth(FBytesFind->fontMetrics().horizontalAdvance(FBytesFind->placeholderText()) + 48);
  FBytesFind->setMaximumWidth(FBytesFind->minimumWidth());
  connect(FBytesFind, &QLineEdit::returnPressed, this, [this] {
    FindBytes(QGuiApplication::keyboardModifiers() & Qt::ShiftModifier);
  });
  auto Key = [this](QKeySequence Seq, auto Act) {
    auto* K = new QShortcut(Seq, FBytesPage, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(K, &QShortcut::activated, this, Act);
  };
  Key(QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
    FBytesFind->setFocus(Qt::ShortcutFocusReason);
    FBytesFind->selectAll();
  });
  Key(QKeySequence(Qt::Key_F3), [this] { FindBytes(false); });
  Key(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindBytes(true); });
  Key(QKeySequence(Qt::SHIFT | Qt::Key_Return), [this] { FindBytes(true); });
  return FBytesFind;
}

bool TAdvTabSheet::FindBytes(bool Backward) {
  const QByteArray Pattern = ParseBytePattern(FBytesFind->text());
  if (Pattern.isEmpty() || !FHex) return false;
  const int64_t Here = FHex->Current();
  int64_t At = FHex->Find(Pattern, Backward ? Here - 1 : Here + 1, Backward);
  // Round the end (the start) of the file.
  if (At < 0) At = FHex->Find(Pattern, Backward ? FHex->Bytes().size() - 1 : 0, Backward);
  if (At < 0) {
    FHex->SetFound(-1, 0);
    FPosition->setText(tr("Not found: %1").arg(QString::fromLatin1(Pattern.toHex(' ').toUpper())));
    return false;
  }
  FHex->SetFound(At, Pattern.size());
  FHex->GoTo(At);
  ShowPosition(At);
  return true;
}

// Go to an offset: hexadecimal with 0x or $ in front, else decimal (Ctrl+G).
QLineEdit* TAdvTabSheet::CreateGoToBox() {
  auto* GoTo = new QLineEdit(FBytesPage);
  GoTo->setObjectName(QStringLiteral("BytesGoTo"));
  GoTo->setPlaceholderText(tr("Go to offset (Ctrl+G)"));
  GoTo->setMaximumWidth(GoTo->fontMetrics().horizontalAdvance(GoTo->placeholderText()) + 24);
  connect(GoTo, &QLineEdit::returnPressed, this, [this, GoTo] {
    if (const int64_t Ofs = ParseOffset(GoTo->text()); Ofs >= 0) {
      FHex->GoTo(Ofs);
      FHex->setFocus();
    }
  });
  auto* GoToKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), FBytesPage, nullptr, nullptr,
                                Qt::WidgetWithChildrenShortcut);
  connect(GoToKey, &QShortcut::activated, GoTo, [GoTo] {
    GoTo->setFocus(Qt::ShortcutFocusReason);
    GoTo->selectAll();
  });
  return GoTo;
}

// The file is read again now; the tab kept nothing of it. Only a regular
// file: reading a FIFO or a device could wait for ever. False, with the
// reason shown, when it cannot be read.
bool TAdvTabSheet::LoadBytes() {
  QFile File(FPath);
  QString Fault;
  if (!QFileInfo(FPath).isFile()) Fault = tr("not a regular file");
  else if (File.size() > INT32_MAX) Fault = tr("file too large");
  else if (!File.open(QIODevice::ReadOnly)) Fault = File.errorString();
  if (!Fault.isEmpty()) {
    FBytesInfo->setText(tr("Cannot read %1: %2").arg(FPath.toHtmlEscaped(), Fault.toHtmlEscaped()));
    return false;
  }
  FHex->SetBytes(File.readAll());
  ShowPosition(FHex->Current());
  return true;
}

void TAdvTabSheet::UpdateBytesMarks(bool Scroll) {
  if (!FHex) return;
  const int64_t Size = FHex->Bytes().size();
  std::vector<THexView::TMark> Marks;
  QString Info;
  if (FFailed) {
    if (FFailAt >= 0) {
      Marks.push_back({FFailAt, FailMarkColor, tr("Reading stopped here")});
      Info += Swatch(FailMarkColor) + tr("Reading stopped at %1%2").arg(Hex(FFailAt), FFailAt >= Size ? tr(", the end of the file") : QString());
    }
    if (FFailDef >= 0 && FFailDef != FFailAt) {
      Marks.push_back({FFailDef, DefMarkColor, tr("Def: the tag byte read last")});
      Info += QStringLiteral("&nbsp;&nbsp; ") + Swatch(DefMarkColor) + tr("Def: the tag byte read last, at %1").arg(Hex(FFailDef));
    }
    if (FFailAt < 0) Info = tr("The message names no place in the file.");
  } else if (FMarkOffset >= 0 && FMarkIsCode) {
    Marks.push_back({FMarkOffset, CodeMarkColor, FMarkName, FMarkSize});
    Info = Swatch(CodeMarkColor) + tr("Bytes of %1 at %2 (%3)")
                                       .arg(FMarkName.toHtmlEscaped(), Hex(FMarkOffset),
                                            FMarkSize == 1 ? tr("1 byte") : tr("%1 bytes").arg(FMarkSize));
  } else if (FMarkOffset >= 0) {
    Marks.push_back({FMarkOffset, DeclMarkColor, tr("Tag byte of %1").arg(FMarkName)});
    Info = Swatch(DeclMarkColor) + tr("Tag byte of %1 at %2").arg(FMarkName.toHtmlEscaped(), Hex(FMarkOffset));
  } else {
    Info = tr("Choose a declaration in the outline of the Declarations view to mark its tag byte here, "
              "or a line of the Code view to mark its bytes.");
  }
  FHex->SetMarks(std::move(Marks));
  FBytesInfo->setText(Info);
  FBytesInfo->setToolTip(FFailed ? FFailMessage : QString());
  if (!Scroll) return;
  if (FFailed && FFailAt >= 0) FHex->GoTo(FFailAt);
  else if (!FFailed && FMarkOffset >= 0) FHex->GoTo(FMarkOffset);
}

void TAdvTabSheet::MarkDeclaration(const QString& Name, int64_t TagOffset) {
  FMarkName = Name;
  FMarkOffset = TagOffset;
  FMarkSize = 1;
  FMarkIsCode = false;
  UpdateBytesMarks(true);
}

void TAdvTabSheet::MarkCodeItem(const QString& Text, int64_t Offset, int64_t Size) {
  FMarkName = Text;
  FMarkOffset = Offset;
  FMarkSize = std::max<int64_t>(1, Size);
  FMarkIsCode = true;
  UpdateBytesMarks(true);
}

bool TAdvTabSheet::ShowDeclaration(int64_t TagOffset) {
  ShowView(TUnitView::Declarations);
  if (!FDecl || !FDecl->Listing->Text().Place(TagOffset)) return false;
  // Its outline entry chosen (the listing follows it, and the Bytes view
  // marks it); a declaration the outline does not show is found in the
  // listing alone.
  const TOutlineTree& Tree = FDecl->OutlineModel->Tree();
  for (int32_t N = 0; N < Tree.Size(); ++N)
    if (Tree.Anchor(N) == TagOffset) {
      const QModelIndex Entry = FDecl->OutlineModel->IndexOf(N);
      if (!Entry.isValid()) break;
      FDecl->Outline->setCurrentIndex(Entry);
      FDecl->Outline->scrollTo(Entry);
      break;
    }
  return FDecl->JumpTo(TagOffset, false);
}

void TAdvTabSheet::ShowPosition(int64_t Offset) {
  if (!FPosition) return;
  if (Offset < 0 || Offset >= FHex->Bytes().size()) {
    FPosition->setText(tr("%1 bytes").arg(FHex->Bytes().size()));
    return;
  }
  const auto B = static_cast<uint8_t>(FHex->Bytes().at(static_cast<qsizetype>(Offset)));
  FPosition->setText(tr("Offset %1 (%2) of %3 bytes: %4 (%5)")
                         .arg(Hex(Offset))
                         .arg(Offset)
                         .arg(FHex->Bytes().size())
                         .arg(QStringLiteral("0x") + QString::number(B, 16).toUpper().rightJustified(2, u'0'))
                         .arg(B));
}

QString TAdvTabSheet::UsedUnitDeclaring(const QString& Name) {
  if (!Library || !FDecl) return {};
  const std::string Own = QFile::encodeName(FPath).toStdString();
  std::vector<std::string> Folders{UnitFolderOf(Own)};
  if (!TabFolder.isEmpty()) Folders.push_back(QFile::encodeName(TabFolder).toStdString());
  for (const std::string& F : Library->Path()) Folders.push_back(F);
  // A qualified name names its unit first ("Forms.TForm.Create": the unit
  // Forms declares TForm); else every unit used may declare it, and the
  // last one used that does wins.
  QString Type = Name;
  QStringList Units{QStringLiteral("System")};
  if (const qsizetype Dot = Name.indexOf(QLatin1Char('.')); Dot > 0) {
    Units = QStringList{Name.left(Dot)};
    Type = Name.mid(Dot + 1).section(QLatin1Char('.'), 0, 0);
  } else {
    for (const QString& U : FDecl->UsedUnits)
      if (U.compare(QStringLiteral("System"), Qt::CaseInsensitive) != 0) Units << U;
  }
  const std::string TypeName = Type.toStdString();
  for (auto It = Units.crbegin(); It != Units.crend(); ++It) {
    const std::string File = Library->FindUnit(Folders, It->toStdString(), FDecl->UnitVersion);
    if (File.empty() || File == Own) continue;
    if (const TUnitTypes* T = Library->TypesOf(File); T && (T->Find(TypeName) || T->Declares(TypeName)))
      return QFile::decodeName(File.c_str());
  }
  return {};
}
