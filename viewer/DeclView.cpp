// The Declarations view and the builder of its listing (see DeclView.h).
#include "DeclView.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>
#include <QScrollBar>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

namespace {
// Matches highlighted at most; a filter of one letter can match everywhere.
constexpr int MaxHighlights = 5000;
const QColor MatchBackground(255, 236, 128);
}  // namespace

// ---- builder ----------------------------------------------------------------

struct TDeclListingBuilder::TImpl {
  QTextCursor Cursor;
  QTextCharFormat PlainFmt, KeywordFmt, CommentFmt, NameFmt, LinkFmt;
  bool AtLineStart = true;
  bool FirstLine = true;
};

TDeclListingBuilder::TDeclListingBuilder(QTextDocument* Doc, const QColor& CommentColor)
    : D(std::make_unique<TImpl>()) {
  D->Cursor = QTextCursor(Doc);
  D->Cursor.movePosition(QTextCursor::End);
  D->PlainFmt.setFontWeight(QFont::Normal);
  D->KeywordFmt.setFontWeight(QFont::Bold);
  D->CommentFmt.setFontWeight(QFont::Normal);
  D->CommentFmt.setForeground(CommentColor);
  D->NameFmt.setFontWeight(QFont::Normal);
  D->LinkFmt.setFontWeight(QFont::Normal);
  D->LinkFmt.setForeground(QColor(0, 0, 160));
  D->LinkFmt.setFontUnderline(true);
  D->LinkFmt.setAnchor(true);
}

TDeclListingBuilder::~TDeclListingBuilder() = default;

void TDeclListingBuilder::Plain(const QString& Text) { D->Cursor.insertText(Text, D->PlainFmt); }
void TDeclListingBuilder::Keyword(const QString& Text) { D->Cursor.insertText(Text, D->KeywordFmt); }
void TDeclListingBuilder::Comment(const QString& Text) { D->Cursor.insertText(Text, D->CommentFmt); }

void TDeclListingBuilder::NameDef(const QString& Text, const QString& Anchor) {
  // The place is kept here, not in the text's format: a format of its own
  // for every name would make the document slow to build.
  if (!Anchor.isEmpty() && !FAnchors.contains(Anchor))
    FAnchors.insert(Anchor, {D->Cursor.position(), static_cast<int>(Text.size())});
  D->Cursor.insertText(Text, D->NameFmt);
}

void TDeclListingBuilder::TypeRef(const QString& Text, const QString& Target) {
  if (Target.isEmpty()) {
    Plain(Text);
    return;
  }
  QTextCharFormat F = D->LinkFmt;
  F.setAnchorHref(QLatin1Char('#') + Target);
  D->Cursor.insertText(Text, F);
}

void TDeclListingBuilder::EndLine() { D->Cursor.insertBlock(QTextBlockFormat(), D->PlainFmt); }

// ---- view -------------------------------------------------------------------

TDeclView::TDeclView(QWidget* Parent) : QWidget(Parent) {
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 2, 0, 0);
  Layout->setSpacing(2);

  CreateToolBar(Layout);
  CreateOutlineAndListing(Layout);
  CreateStatusLine(Layout);
  ConnectParts();
  CreateKeys();
}

// The filter box and the Back, Copy and Save buttons above the listing.
void TDeclView::CreateToolBar(QVBoxLayout* Layout) {
  auto* Bar = new QHBoxLayout;
  Bar->setSpacing(4);
  FilterBox = new QLineEdit(this);
  FilterBox->setObjectName(QStringLiteral("FilterBox"));
  FilterBox->setPlaceholderText(tr("Filter (Ctrl+F)"));
  FilterBox->setClearButtonEnabled(true);
  Bar->addWidget(FilterBox, 1);
  auto MakeButton = [&](const QString& Name, const QString& Text, const QString& Tip) {
    auto* B = new QToolButton(this);
    B->setObjectName(Name);
    B->setText(Text);
    B->setToolTip(Tip);
    B->setAutoRaise(true);
    Bar->addWidget(B);
    return B;
  };
  BackButton = MakeButton(QStringLiteral("BackButton"), tr("Back"), tr("Back to where the last jump started (Alt+Left)"));
  CopyButton = MakeButton(QStringLiteral("CopyButton"), tr("Copy"), tr("Copy the whole listing"));
  SaveButton = MakeButton(QStringLiteral("SaveButton"), tr("Save as .pas..."), tr("Save the listing as a Pascal file"));
  BackButton->setEnabled(false);
  Layout->addLayout(Bar);
}

// The outline (over its filter model) beside the listing, a quarter of the
// width to three quarters.
void TDeclView::CreateOutlineAndListing(QVBoxLayout* Layout) {
  FSplitter = new QSplitter(Qt::Horizontal, this);
  FSplitter->setObjectName(QStringLiteral("DeclSplitter"));  // its position is kept by that name
  Outline = new QTreeView(FSplitter);
  Outline->setObjectName(QStringLiteral("Outline"));
  Outline->setHeaderHidden(true);
  Outline->setUniformRowHeights(true);
  Outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
  OutlineModel = new QStandardItemModel(this);
  OutlineFilter = new QSortFilterProxyModel(this);
  OutlineFilter->setSourceModel(OutlineModel);
  OutlineFilter->setFilterCaseSensitivity(Qt::CaseInsensitive);
  OutlineFilter->setRecursiveFilteringEnabled(true);
  Outline->setModel(OutlineFilter);

  Listing = new QTextBrowser(FSplitter);
  Listing->setObjectName(QStringLiteral("Listing"));
  Listing->setOpenLinks(false);
  Listing->setOpenExternalLinks(false);
  Listing->setLineWrapMode(QTextEdit::NoWrap);
  Listing->setFrameShape(QFrame::NoFrame);
  QFont Fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  Fixed.setBold(false);
  Listing->setFont(Fixed);
  FSplitter->addWidget(Outline);
  FSplitter->addWidget(Listing);
  FSplitter->setStretchFactor(0, 1);
  FSplitter->setStretchFactor(1, 3);
  Layout->addWidget(FSplitter, 1);
}

// The line under the listing for matches, jumps that fail and saving;
// hidden until there is something to say.
void TDeclView::CreateStatusLine(QVBoxLayout* Layout) {
  Status = new QLabel(this);
  Status->setObjectName(QStringLiteral("Status"));
  Status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Status->hide();
  Layout->addWidget(Status);
}

void TDeclView::ConnectParts() {
  connect(BackButton, &QToolButton::clicked, this, [this] { Back(); });
  connect(CopyButton, &QToolButton::clicked, this, &TDeclView::CopyListing);
  connect(SaveButton, &QToolButton::clicked, this, [this] { SaveListing(); });
  connect(FilterBox, &QLineEdit::textChanged, this, &TDeclView::SetFilter);
  connect(Listing, &QTextBrowser::anchorClicked, this, &TDeclView::FollowLink);
  // Moving through the outline with the keys or the mouse follows in the
  // listing.
  connect(Outline->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& Index) { OutlineChosen(Index); });
  connect(Outline, &QTreeView::activated, this, &TDeclView::OutlineChosen);
}

// Ctrl+F to the filter box, Alt+Left back, Escape in the filter box clears it.
void TDeclView::CreateKeys() {
  auto* Find = new QShortcut(QKeySequence::Find, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
  connect(Find, &QShortcut::activated, this, [this] {
    FilterBox->setFocus(Qt::ShortcutFocusReason);
    FilterBox->selectAll();
  });
  auto* BackKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Left), this, nullptr, nullptr,
                                Qt::WidgetWithChildrenShortcut);
  connect(BackKey, &QShortcut::activated, this, [this] { Back(); });
  auto* Clear = new QShortcut(QKeySequence(Qt::Key_Escape), FilterBox, nullptr, nullptr, Qt::WidgetShortcut);
  connect(Clear, &QShortcut::activated, FilterBox, &QLineEdit::clear);
}

TDeclView::~TDeclView() {
  // The browser lets go of the document before the document goes.
  Listing->setDocument(nullptr);
}

namespace {
void AddOutlineItems(QStandardItem* Parent, const std::vector<TOutlineEntry>& Entries) {
  for (const TOutlineEntry& E : Entries) {
    auto* Item = new QStandardItem(E.Text);
    Item->setData(E.Anchor, OutlineAnchorRole);
    Item->setData(static_cast<qlonglong>(E.TagOffset), OutlineOffsetRole);
    if (E.TagOffset >= 0) Item->setToolTip(QStringLiteral("0x%1").arg(QString::number(E.TagOffset, 16).toUpper()));
    AddOutlineItems(Item, E.Children);
    Parent->appendRow(Item);
  }
}
}  // namespace

void TDeclView::SetListing(std::unique_ptr<QTextDocument> Doc, const TListingAnchors& Anchors,
                           const std::vector<TOutlineEntry>& OutlineEntries) {
  Doc->setDefaultFont(Listing->font());
  Listing->setDocument(Doc.get());
  FDoc = std::move(Doc);
  FAnchors = Anchors;
  FHistory.clear();
  BackButton->setEnabled(false);
  // The tree is made apart from the model and handed over whole: the filter
  // over the model would otherwise follow every single row added.
  OutlineModel->clear();
  {
    QStandardItem Root;
    AddOutlineItems(&Root, OutlineEntries);
    QList<QStandardItem*> Sections;
    while (Root.rowCount() > 0) Sections << Root.takeRow(0).first();
    for (QStandardItem* S : Sections) OutlineModel->appendRow(S);
  }
  // Sections and kinds open, declarations with members closed.
  for (int I = 0; I < OutlineFilter->rowCount(); ++I) {
    QModelIndex Section = OutlineFilter->index(I, 0);
    Outline->expand(Section);
    for (int K = 0; K < OutlineFilter->rowCount(Section); ++K) Outline->expand(OutlineFilter->index(K, 0, Section));
  }
  Listing->moveCursor(QTextCursor::Start);
  if (!FilterBox->text().isEmpty()) SetFilter(FilterBox->text());
}

void TDeclView::SetMessage(const QString& Text) {
  auto Doc = std::make_unique<QTextDocument>();
  Doc->setPlainText(Text);
  SetListing(std::move(Doc), {}, {});
  FilterBox->setEnabled(false);
  SaveButton->setEnabled(false);
  CopyButton->setEnabled(false);
}

QString TDeclView::ListingText() const { return FDoc ? FDoc->toPlainText() : QString(); }

void TDeclView::ScrollToPosition(int Pos, int Length) {
  QTextCursor C(Listing->document());
  C.setPosition(Pos);
  C.setPosition(std::min(Pos + Length, Listing->document()->characterCount() - 1), QTextCursor::KeepAnchor);
  Listing->setTextCursor(C);
  // The line at the top with a little context above it.
  const QTextBlock B = Listing->document()->findBlock(Pos);
  const qreal Top = Listing->document()->documentLayout()->blockBoundingRect(B).top();
  const int Context = Listing->fontMetrics().height() * 2;
  Listing->verticalScrollBar()->setValue(std::max(0, static_cast<int>(Top) - Context));
  Listing->horizontalScrollBar()->setValue(0);
}

bool TDeclView::JumpTo(const QString& Anchor, bool Record) {
  auto It = FAnchors.constFind(Anchor);
  if (It == FAnchors.constEnd()) return false;
  if (Record) {
    FHistory.push_back({Listing->textCursor().position(), Listing->verticalScrollBar()->value()});
    BackButton->setEnabled(true);
  }
  ScrollToPosition(It->Pos, It->Len);
  return true;
}

void TDeclView::FollowLink(const QUrl& Url) {
  if (!JumpTo(Url.fragment())) ShowStatus(tr("%1 is not declared in this unit").arg(Url.fragment()));
}

bool TDeclView::Back() {
  if (FHistory.empty()) return false;
  const TPlace P = FHistory.back();
  FHistory.pop_back();
  BackButton->setEnabled(!FHistory.empty());
  QTextCursor C(Listing->document());
  C.setPosition(std::min(P.Cursor, Listing->document()->characterCount() - 1));
  Listing->setTextCursor(C);
  Listing->verticalScrollBar()->setValue(P.Scroll);
  return true;
}

void TDeclView::OutlineChosen(const QModelIndex& Index) {
  if (!Index.isValid()) return;
  const QString Anchor = Index.data(OutlineAnchorRole).toString();
  // The outline shows where the listing stands: no Back history for it.
  if (!Anchor.isEmpty()) JumpTo(Anchor, false);
  const qlonglong Offset = Index.data(OutlineOffsetRole).toLongLong();
  if (Offset >= 0) emit DeclarationChosen(Index.data(Qt::DisplayRole).toString(), Offset);
}

void TDeclView::SetFilter(const QString& Text) {
  if (FilterBox->text() != Text) {
    FilterBox->setText(Text);  // comes back here through textChanged
    return;
  }
  OutlineFilter->setFilterFixedString(Text);
  if (!Text.isEmpty()) Outline->expandAll();
  HighlightMatches(Text);
}

void TDeclView::HighlightMatches(const QString& Text) {
  QList<QTextEdit::ExtraSelection> Marks;
  FMatchCount = 0;
  if (!Text.isEmpty() && FDoc) {
    QTextCharFormat F;
    F.setBackground(MatchBackground);
    QTextCursor C(FDoc.get());
    while (Marks.size() < MaxHighlights) {
      C = FDoc->find(Text, C);
      if (C.isNull()) break;
      Marks.append({C, F});
    }
    FMatchCount = static_cast<int>(Marks.size());
    if (!Marks.isEmpty()) ScrollToPosition(Marks.first().cursor.selectionStart(), 0);
  }
  Listing->setExtraSelections(Marks);
  if (Text.isEmpty()) Status->hide();
  else if (FMatchCount == 0) ShowStatus(tr("No match"));
  else if (FMatchCount == 1) ShowStatus(tr("1 match"));
  else if (FMatchCount >= MaxHighlights) ShowStatus(tr("%1 or more matches").arg(MaxHighlights));
  else ShowStatus(tr("%1 matches").arg(FMatchCount));
}

void TDeclView::ShowStatus(const QString& Text, bool Error) {
  Status->setText(Text);
  Status->setStyleSheet(Error ? QStringLiteral("color: #c00000") : QString());
  Status->show();
}

void TDeclView::CopyListing() {
  QApplication::clipboard()->setText(ListingText());
  ShowStatus(tr("Listing copied"));
}

bool TDeclView::SaveListing() {
  if (!FDoc || !AskSaveName) return false;
  QString Name = AskSaveName(SuggestedSaveName);
  if (Name.isEmpty()) return false;
  if (QFileInfo(Name).suffix().isEmpty()) Name += QStringLiteral(".pas");
  QSaveFile F(Name);
  QByteArray Text = ListingText().toUtf8();
  if (!Text.endsWith('\n')) Text += '\n';
  if (!F.open(QIODevice::WriteOnly) || F.write(Text) != Text.size() || !F.commit()) {
    ShowStatus(tr("Cannot write %1: %2").arg(Name, F.errorString()), true);
    return false;
  }
  ShowStatus(tr("Saved %1").arg(Name));
  return true;
}
