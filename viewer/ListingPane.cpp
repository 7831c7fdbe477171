// The tool bar, outline, listing and status line that the Declarations and
// the Code view share (see ListingPane.h).
#include "ListingPane.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QSplitter>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "ListingView.h"

namespace {
// Enter and Shift+Enter in the filter box: the next and the previous match.
class TFindKeys : public QObject {
 public:
  TFindKeys(TListingPane* Pane) : QObject(Pane), Pane(Pane) {}

 protected:
  bool eventFilter(QObject* Watched, QEvent* E) override {
    if (E->type() == QEvent::KeyPress) {
      auto* K = static_cast<QKeyEvent*>(E);
      if (K->key() == Qt::Key_Return || K->key() == Qt::Key_Enter) {
        Pane->NextMatch(K->modifiers() & Qt::ShiftModifier);
        return true;
      }
    }
    return QObject::eventFilter(Watched, E);
  }

 private:
  TListingPane* Pane;
};
}  // namespace

TListingPane::TListingPane(const QString& SplitterName, const QString& FilterHint, QWidget* Parent)
    : QWidget(Parent) {
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 2, 0, 0);
  Layout->setSpacing(2);
  CreateToolBar(Layout, FilterHint);
  CreateOutlineAndListing(Layout, SplitterName);
  CreateStatusLine(Layout);
  ConnectParts();
  CreateKeys();
}

QToolButton* TListingPane::AddButton(const QString& Name, const QString& Text, const QString& Tip) {
  auto* B = new QToolButton(this);
  B->setObjectName(Name);
  B->setText(Text);
  B->setToolTip(Tip);
  B->setAutoRaise(true);
  FBar->addWidget(B);
  return B;
}

// The filter box and the match, Back and Copy buttons above the listing.
void TListingPane::CreateToolBar(QVBoxLayout* Layout, const QString& FilterHint) {
  FBar = new QHBoxLayout;
  FBar->setSpacing(4);
  FilterBox = new QLineEdit(this);
  FilterBox->setObjectName(QStringLiteral("FilterBox"));
  FilterBox->setPlaceholderText(FilterHint);
  FilterBox->setClearButtonEnabled(true);
  FBar->addWidget(FilterBox, 1);
  PreviousButton = AddButton(QStringLiteral("PreviousButton"), QString(QChar(0x25B2)),
                             tr("Previous match (Shift+F3, Shift+Enter in the box)"));
  NextButton = AddButton(QStringLiteral("NextButton"), QString(QChar(0x25BC)), tr("Next match (F3, Enter in the box)"));
  BackButton = AddButton(QStringLiteral("BackButton"), tr("Back"), tr("Back to where the last jump started (Alt+Left)"));
  CopyButton = AddButton(QStringLiteral("CopyButton"), tr("Copy"), tr("Copy the whole listing"));
  BackButton->setEnabled(false);
  Layout->addLayout(FBar);
}

// The outline beside the listing, a quarter of the width to three quarters.
void TListingPane::CreateOutlineAndListing(QVBoxLayout* Layout, const QString& SplitterName) {
  Splitter = new QSplitter(Qt::Horizontal, this);
  Splitter->setObjectName(SplitterName);
  Outline = new QTreeView(Splitter);
  Outline->setObjectName(QStringLiteral("Outline"));
  Outline->setHeaderHidden(true);
  Outline->setUniformRowHeights(true);
  Outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Listing = new TListingView(Splitter);
  Listing->setObjectName(QStringLiteral("Listing"));
  Listing->setFrameShape(QFrame::NoFrame);
  Splitter->addWidget(Outline);
  Splitter->addWidget(Listing);
  Splitter->setStretchFactor(0, 1);
  Splitter->setStretchFactor(1, 3);
  Layout->addWidget(Splitter, 1);
}

// The line under the listing for matches, jumps that fail and saving;
// hidden until there is something to say.
void TListingPane::CreateStatusLine(QVBoxLayout* Layout) {
  Status = new QLabel(this);
  Status->setObjectName(QStringLiteral("Status"));
  Status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Status->hide();
  Layout->addWidget(Status);
}

void TListingPane::ConnectParts() {
  connect(BackButton, &QToolButton::clicked, this, [this] { Back(); });
  connect(CopyButton, &QToolButton::clicked, this, [this] { CopyListing(); });
  connect(PreviousButton, &QToolButton::clicked, this, [this] { NextMatch(true); });
  connect(NextButton, &QToolButton::clicked, this, [this] { NextMatch(false); });
  connect(FilterBox, &QLineEdit::textChanged, this, &TListingPane::SetFilter);
  connect(Listing, &TListingView::historyChanged, BackButton, &QToolButton::setEnabled);
  FilterBox->installEventFilter(new TFindKeys(this));
}

void TListingPane::CreateKeys() {
  auto Key = [this](const QKeySequence& Seq, QWidget* On, Qt::ShortcutContext Context, auto Slot) {
    auto* S = new QShortcut(Seq, On, nullptr, nullptr, Context);
    connect(S, &QShortcut::activated, this, Slot);
  };
  Key(QKeySequence::Find, this, Qt::WidgetWithChildrenShortcut, [this] {
    FilterBox->setFocus(Qt::ShortcutFocusReason);
    FilterBox->selectAll();
  });
  Key(QKeySequence(Qt::ALT | Qt::Key_Left), this, Qt::WidgetWithChildrenShortcut, [this] { Back(); });
  Key(QKeySequence(Qt::Key_F3), this, Qt::WidgetWithChildrenShortcut, [this] { NextMatch(false); });
  Key(QKeySequence(Qt::SHIFT | Qt::Key_F3), this, Qt::WidgetWithChildrenShortcut, [this] { NextMatch(true); });
  Key(QKeySequence(Qt::Key_Escape), FilterBox, Qt::WidgetShortcut, [this] { FilterBox->clear(); });
}

void TListingPane::SetFilter(const QString& Text) {
  if (FilterBox->text() != Text) {
    FilterBox->setText(Text);  // comes back here through textChanged
    return;
  }
  FilterChanged(Text);
}

void TListingPane::FilterChanged(const QString& Text) {
  Listing->SetFindText(Text);
  ShowMatchCount();
}

bool TListingPane::NextMatch(bool Backward) {
  const bool Found = Listing->FindNext(Backward);
  if (!Found && !Listing->FindText().isEmpty()) ShowStatus(tr("No match"));
  return Found;
}

void TListingPane::ShowMatchCount() {
  const int N = Listing->FindCount();
  if (Listing->FindText().isEmpty()) Status->hide();
  else if (N == 0) ShowStatus(tr("No match"));
  else if (N == 1) ShowStatus(tr("1 match"));
  else if (N >= TListingView::MaxFindCount) ShowStatus(tr("%1 or more matches").arg(N));
  else ShowStatus(tr("%1 matches").arg(N));
}

int TListingPane::MatchCount() const { return Listing->FindCount(); }

bool TListingPane::Back() { return Listing->Back(); }

bool TListingPane::CanGoBack() const { return Listing->CanGoBack(); }

void TListingPane::CopyListing() {
  QApplication::clipboard()->setText(Listing->PlainText());
  ShowStatus(tr("Listing copied"));
}

void TListingPane::ShowStatus(const QString& Text, bool Error) {
  Status->setText(Text);
  Status->setStyleSheet(Error ? QStringLiteral("color: #c00000") : QString());
  Status->show();
}
