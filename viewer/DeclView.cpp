// The Declarations view: outline, listing, filter, links, Copy and Save (see DeclView.h).
#include "DeclView.h"

#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>
#include <QToolButton>
#include <QTreeView>

#include "ListingView.h"

TDeclView::TDeclView(QWidget* Parent)
    : TListingPane(QStringLiteral("DeclSplitter"), tr("Filter (Ctrl+F)"), Parent) {
  SaveButton = AddButton(QStringLiteral("SaveButton"), tr("Save as .pas..."), tr("Save the unit's skeleton as a Pascal file a compiler takes"));
  OutlineModel = new TOutlineModel(this);
  Outline->setModel(OutlineModel);

  connect(SaveButton, &QToolButton::clicked, this, [this] { SaveListing(); });
  connect(Listing, &TListingView::linkOutside, this, &TDeclView::LinkOutside);
  // Moving through the outline with the keys or the mouse follows in the
  // listing.
  connect(Outline->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& Index) { OutlineChosen(Index); });
  connect(Outline, &QTreeView::activated, this, &TDeclView::OutlineChosen);
}

void TDeclView::SetListing(TListingText Text, TOutlineTree OutlineTree) {
  Listing->SetText(std::move(Text));
  OutlineModel->SetTree(std::move(OutlineTree));
  if (!FilterBox->text().isEmpty()) SetFilter(FilterBox->text());
  else ExpandSectionsAndKinds();
}

void TDeclView::ExpandSectionsAndKinds() {
  for (int I = 0; I < OutlineModel->rowCount(); ++I) {
    const QModelIndex Section = OutlineModel->index(I, 0);
    Outline->expand(Section);
    for (int K = 0; K < OutlineModel->rowCount(Section); ++K) Outline->expand(OutlineModel->index(K, 0, Section));
  }
}

void TDeclView::SetMessage(const QString& Text) {
  SetListing(TListingText::FromPlain(Text), {});
  FilterBox->setEnabled(false);
  SaveButton->setEnabled(false);
  CopyButton->setEnabled(false);
}

QString TDeclView::ListingText() const { return Listing->PlainText(); }

bool TDeclView::JumpTo(int64_t Anchor, bool Record) { return Listing->JumpTo(Anchor, Record); }

void TDeclView::LinkOutside(int64_t Anchor, const QString& Text) {
  const TListingRun* Place = Listing->Text().Place(Anchor);
  if (Place && Place->Style == TRunStyle::NameLink) emit codeWanted(Anchor);
  else if (Anchor == OutsideAnchor && FollowOutside && FollowOutside(Text)) return;
  else ShowStatus(tr("%1 is not declared in this unit").arg(Text));
}

void TDeclView::OutlineChosen(const QModelIndex& Index) {
  if (!Index.isValid()) return;
  const qlonglong Anchor = Index.data(OutlineAnchorRole).toLongLong();
  // The outline shows where the listing stands: no Back history for it.
  if (Anchor != NoListingAnchor) JumpTo(Anchor, false);
  const qlonglong Offset = Index.data(OutlineOffsetRole).toLongLong();
  if (Offset >= 0) emit declarationChosen(Index.data(Qt::DisplayRole).toString(), Offset);
}

void TDeclView::FilterChanged(const QString& Text) {
  OutlineModel->SetFilter(Text);
  if (!Text.isEmpty()) Outline->expandAll();
  else ExpandSectionsAndKinds();
  // The listing goes to the first match.
  if (Listing->SetFindText(Text) > 0) {
    Listing->SetCursorPosition(0);
    Listing->FindNext();
  }
  ShowMatchCount();
}

bool TDeclView::SaveListing() {
  if (!AskSaveName || !SaveButton->isEnabled()) return false;
  QString Name = AskSaveName(SuggestedSaveName);
  if (Name.isEmpty()) return false;
  if (QFileInfo(Name).suffix().isEmpty()) Name += QStringLiteral(".pas");
  QSaveFile F(Name);
  QByteArray Text = (Skeleton.isEmpty() ? ListingText() : Skeleton).toUtf8();
  if (!Text.endsWith('\n')) Text += '\n';
  if (!F.open(QIODevice::WriteOnly) || F.write(Text) != Text.size() || !F.commit()) {
    ShowStatus(tr("Cannot write %1: %2").arg(Name, F.errorString()), true);
    return false;
  }
  ShowStatus(tr("Saved %1").arg(Name));
  return true;
}
