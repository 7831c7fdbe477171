// The Code view: the routines' outline, a routine's listing at a time, its
// links, find across routines and the bytes of the item chosen (see CodeView.h).
#include "CodeView.h"

#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QMenu>
#include <QRegularExpression>
#include <QTreeView>
#include <algorithm>
#include <exception>

#include "BusyCursor.h"
#include "CodeListing.h"
#include "CodeSourceCheck.h"
#include "CodeText.h"
#include "DCU_Unit.h"
#include "ListingView.h"
#include "OutlineModel.h"
#include "SaveText.h"
#include "UnitLoad.h"
#include "UnitSummary.h"

namespace {

// Writes a routine's listing into a listing text. Anchors are file offsets,
// so that they never meet: a label the offset of the byte it stands at (in
// the data block), a routine or another declaration the offset of its
// record's tag byte. The heading is the routine's own place and leads to its
// declaration.
class TCodeListingSink : public TCodeSink {
 public:
  TCodeListingSink(TListingText& To, std::vector<qsizetype>& ItemLines, uint32_t Base)
      : To(To), ItemLines(ItemLines), Base(Base) {}

  void Run(TCodeRunKind Kind, std::string_view Text, int64_t Anchor) override {
    switch (Kind) {
      case TCodeRunKind::Heading: To.AddUtf8(TRunStyle::NameLink, Text, Anchor); break;
      case TCodeRunKind::LabelDef: To.AddUtf8(TRunStyle::Name, Text, Base + Anchor); break;
      case TCodeRunKind::LabelRef: To.AddUtf8(TRunStyle::Link, Text, Base + Anchor); break;
      case TCodeRunKind::RoutineRef:
      case TCodeRunKind::DeclRef:
        To.AddUtf8(Anchor == NoCodeAnchor ? TRunStyle::Plain : TRunStyle::Link, Text, Anchor);
        break;
      case TCodeRunKind::ImportRef: To.AddUtf8(TRunStyle::Link, Text, OutsideAnchor); break;
      case TCodeRunKind::Marker:
      case TCodeRunKind::Source: To.AddUtf8(TRunStyle::Comment, Text); break;
      default: To.AddUtf8(TRunStyle::Plain, Text); break;
    }
  }
  void EndLine() override { To.EndLine(); }
  void BeginItem(const TCodeRoutine&, size_t Index) override {
    if (ItemLines.size() <= Index) ItemLines.resize(Index + 1);
    ItemLines[Index] = To.LineCount() - 1;
  }

 private:
  TListingText& To;
  std::vector<qsizetype>& ItemLines;
  const uint32_t Base;
};

QString Utf8(std::string_view S) { return QString::fromUtf8(S.data(), static_cast<qsizetype>(S.size())); }

}  // namespace

struct TCodeView::TData {
  std::unique_ptr<TUnit> Unit;
  std::unique_ptr<TCodeLister> Lister;  // reads from Unit
  std::vector<TCodeRoutineHead> Heads;
  std::vector<int32_t> NodeOfRoutine;   // its entry in the outline
  std::optional<size_t> ShownIndex;
  TCodeRoutine Shown;
  std::vector<qsizetype> ItemLines;     // the line where each item of Shown starts
};

TCodeView::TCodeView(QWidget* Parent)
    : TListingPane(QStringLiteral("CodeSplitter"), tr("Find (Ctrl+F)"), Parent), D(std::make_unique<TData>()) {
  CopyButton->setToolTip(tr("Copy the listing of the routine shown"));
  SaveCodeButton = AddButton(QStringLiteral("SaveCodeButton"), tr("Save..."), tr("Save the listing to a text file"));
  auto* SaveMenu = new QMenu(SaveCodeButton);
  SaveMenu->addAction(tr("This routine..."), this, [this] { SaveRoutine(); });
  SaveMenu->addAction(tr("All routines of the unit..."), this, [this] { SaveAllRoutines(); });
  SaveCodeButton->setMenu(SaveMenu);
  SaveCodeButton->setPopupMode(QToolButton::InstantPopup);
  SaveCodeButton->setEnabled(false);
  FOutlineModel = new TOutlineModel(this);
  Outline->setModel(FOutlineModel);
  Listing->PageWanted = [this](int64_t Page) {
    if (Page >= 0 && static_cast<size_t>(Page) < RoutineCount()) ShowListingOf(static_cast<size_t>(Page));
  };
  connect(Listing, &TListingView::linkOutside, this, &TCodeView::LinkOutside);
  connect(Listing, &TListingView::cursorMoved, this, [this] { CaretMoved(); });
  connect(Outline->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& Index) { OutlineChosen(Index); });
  connect(Outline, &QTreeView::activated, this, &TCodeView::OutlineChosen);
}

TCodeView::~TCodeView() = default;

bool TCodeView::Open(const QString& Path) {
  TUnitLoad Failure;
  std::unique_ptr<TUnit> Unit = TryLoadUnitKept(QFile::encodeName(Path).toStdString(), Failure);
  if (!Unit) {
    SetMessage(tr("No code: the file did not load.\n\n%1").arg(QString::fromStdString(DisplayText(Failure.Error))));
    return false;
  }
  return ShowUnit(std::move(Unit));
}

bool TCodeView::OpenPartial(const QString& Path) {
  TUnitLoad Failure;
  std::unique_ptr<TUnit> Unit = TryLoadUnitPartial(QFile::encodeName(Path).toStdString(), Failure);
  if (!Unit || !Unit->ReadFailure || !ShowUnit(std::move(Unit)) || D->Heads.empty()) return false;
  std::string Stop = PartialStopLine(Failure);
  Stop.pop_back();
  ShowNote(tr("The file is damaged: these are the routines whose code was read before reading stopped. %1 %2")
               .arg(QString::fromStdString(DisplayText(Stop)), QString::fromStdString(DisplayText(Failure.Error))));
  return true;
}

bool TCodeView::ShowUnit(std::unique_ptr<TUnit> Unit) {
  try {
    auto Lister = std::make_unique<TCodeLister>(*Unit);
    D->Heads = Lister->AllHeads();
    D->Lister = std::move(Lister);
    D->Unit = std::move(Unit);
  } catch (const std::exception& E) {
    SetMessage(tr("No code: %1").arg(QString::fromUtf8(E.what())));
    return false;
  }
  if (D->Heads.empty()) {
    SetMessage(tr("No code: no routine of this unit owns a piece of its data block."));
    return true;
  }
  ShowSourceCheck();
  SaveCodeButton->setEnabled(true);
  FillOutline();
  ShowRoutine(0, false);
  if (D->Lister->Arch() != TCodeArch::X86_32)
    ShowStatus(tr("The code of format version %1 is not known to be 32-bit x86: its pieces are shown as data.")
                   .arg(D->Unit->Version));
  return true;
}

// A source file beside the unit that is not the one it was compiled from
// would put unrelated lines into the routines: the listing gives the line
// numbers alone, and the note above it says why.
void TCodeView::ShowSourceCheck() {
  const TSourceCheck& C = D->Lister->SourceCheck();
  if (!C.Found || C.Matches) return;
  ShowNote(tr("The source file %1 is not the one this unit was compiled from: %2 "
              "The listing shows its line numbers without their text.")
               .arg(QFile::decodeName(QByteArray::fromStdString(C.Path)), Utf8(C.Why)));
}

void TCodeView::ShowNote(const QString& Text) {
  if (!SourceNote) {
    SourceNote = new QLabel(this);
    SourceNote->setObjectName(QStringLiteral("SourceNote"));
    SourceNote->setWordWrap(true);
    SourceNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SourceNote->setStyleSheet(QStringLiteral("QLabel { color: #a00000; padding: 2px 4px; }"));
    if (auto* L = qobject_cast<QVBoxLayout*>(layout())) L->insertWidget(1, SourceNote);
  }
  SourceNote->setText(SourceNote->text().isEmpty() ? Text : SourceNote->text() + "\n" + Text);
  SourceNote->show();
}

bool TCodeView::SaveRoutine() {
  const TCodeRoutine* R = Shown();
  if (!R) return false;
  std::string Text = Listing->PlainText().toStdString();
  if (!Text.empty() && Text.back() != '\n') Text += '\n';
  QString Name = QString::fromStdString(R->Head.QualifiedName);
  Name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
  return SaveText(SuggestedSaveBase + QLatin1Char('.') + Name + QStringLiteral(".txt"), Text);
}

bool TCodeView::SaveAllRoutines() {
  if (!D->Lister) return false;
  TBusyCursor Busy;
  std::string Text;
  bool First = true;
  D->Lister->ForEach([&](const TCodeRoutine& R) {
    if (!First) Text += '\n';
    First = false;
    WriteRoutineText(R, Text);
  });
  return SaveText(SuggestedSaveBase + QStringLiteral(".code.txt"), Text);
}

bool TCodeView::SaveText(const QString& Suggested, const std::string& Text) {
  if (!AskSaveFile) return false;
  const QString Name = AskSaveFile(Suggested, tr("Text (*.txt);;All files (*)"));
  if (Name.isEmpty()) return false;
  QString Error;
  if (!SaveWholeFile(Name, QByteArray::fromStdString(Text), Error)) {
    ShowStatus(tr("Cannot write %1: %2").arg(Name, Error), true);
    return false;
  }
  ShowStatus(tr("Saved %1").arg(Name));
  return true;
}

void TCodeView::SetMessage(const QString& Text) {
  Listing->SetPlainText(Text);
  FOutlineModel->SetTree({});
  FilterBox->setEnabled(false);
  CopyButton->setEnabled(false);
}

// Nested routines under the routine they are declared in, the rest in the
// order of their pieces.
void TCodeView::FillOutline() {
  const size_t N = D->Heads.size();
  std::vector<std::vector<size_t>> Below(N + 1);  // slot N: the top
  for (size_t I = 0; I < N; ++I) {
    const TCodeRoutineHead& H = D->Heads[I];
    std::optional<size_t> Owner;
    if (H.OwnerDeclOffset >= 0) Owner = RoutineAtDecl(H.OwnerDeclOffset);
    Below[Owner && *Owner != I ? *Owner : N].push_back(I);
  }
  TOutlineTree Tree;
  D->NodeOfRoutine.assign(N, -1);
  // Depth first, each routine once (a chain of owners that loops is cut).
  std::vector<std::pair<size_t, int32_t>> Todo;  // routine, parent entry
  for (auto It = Below[N].rbegin(); It != Below[N].rend(); ++It) Todo.push_back({*It, TOutlineTree::Top});
  while (!Todo.empty()) {
    const auto [I, Parent] = Todo.back();
    Todo.pop_back();
    if (D->NodeOfRoutine[I] >= 0) continue;
    const TCodeRoutineHead& H = D->Heads[I];
    const std::string Text = Parent == TOutlineTree::Top ? DefaultRoutineHeading(H) : H.Name;
    D->NodeOfRoutine[I] = Tree.AddUtf8(Parent, Text, static_cast<int64_t>(I), H.Offset);
    for (auto It = Below[I].rbegin(); It != Below[I].rend(); ++It) Todo.push_back({*It, D->NodeOfRoutine[I]});
  }
  // Routines no owner chain reached from the top.
  for (size_t I = 0; I < N; ++I)
    if (D->NodeOfRoutine[I] < 0)
      D->NodeOfRoutine[I] = Tree.AddUtf8(TOutlineTree::Top, DefaultRoutineHeading(D->Heads[I]), static_cast<int64_t>(I),
                                         D->Heads[I].Offset);
  FOutlineModel->SetTree(std::move(Tree));
}

size_t TCodeView::RoutineCount() const { return D->Heads.size(); }

const TCodeRoutineHead& TCodeView::Head(size_t I) const { return D->Heads[I]; }

const TCodeRoutine* TCodeView::Shown() const { return D->ShownIndex ? &D->Shown : nullptr; }

std::optional<size_t> TCodeView::ShownIndex() const { return D->ShownIndex; }

std::optional<size_t> TCodeView::RoutineAtDecl(int64_t DeclOffset) const {
  if (!D->Lister || DeclOffset < 0 || DeclOffset > UINT32_MAX) return std::nullopt;
  return D->Lister->RoutineAtDecl(static_cast<uint32_t>(DeclOffset));
}

// Disassembles routine I and shows its listing as the page I.
void TCodeView::ShowListingOf(size_t I) {
  TListingText Text;
  D->ItemLines.clear();
  try {
    D->Shown = D->Lister->Routine(I);
    TCodeListingSink Sink(Text, D->ItemLines, D->Shown.Head.Offset);
    WriteRoutineListing(D->Shown, Sink);
  } catch (const std::exception& E) {
    D->Shown = {};
    D->Shown.Head = D->Heads[I];
    D->ItemLines.clear();
    Text = TListingText::FromPlain(tr("%1: cannot be listed: %2").arg(Utf8(D->Heads[I].QualifiedName), QString::fromUtf8(E.what())));
  }
  D->ShownIndex = I;
  FLastItem = -1;
  Listing->ReplaceText(std::move(Text), static_cast<int64_t>(I));
  SelectInOutline(I);
}

bool TCodeView::ShowRoutine(size_t I, bool Record) {
  if (I >= RoutineCount()) return false;
  if (Record && D->ShownIndex) Listing->PushPlace();
  if (D->ShownIndex != I) ShowListingOf(I);
  else {
    Listing->SetCursorPosition(0);
    Listing->SetTopLine(0);
  }
  return true;
}

bool TCodeView::ShowRoutineAtDecl(int64_t DeclOffset, bool Record) {
  const std::optional<size_t> I = RoutineAtDecl(DeclOffset);
  return I && ShowRoutine(*I, Record);
}

void TCodeView::SelectInOutline(size_t I) {
  if (I >= D->NodeOfRoutine.size()) return;
  const QModelIndex Index = FOutlineModel->IndexOf(D->NodeOfRoutine[I]);
  if (!Index.isValid() || Outline->currentIndex() == Index) return;
  FSelecting = true;
  Outline->setCurrentIndex(Index);
  Outline->scrollTo(Index);
  FSelecting = false;
}

void TCodeView::OutlineChosen(const QModelIndex& Index) {
  if (FSelecting || !Index.isValid()) return;
  const qlonglong I = Index.data(TOutlineModel::AnchorRole).toLongLong();
  // The outline shows where the listing stands: no Back history for it.
  if (I >= 0) ShowRoutine(static_cast<size_t>(I), false);
}

void TCodeView::LinkOutside(int64_t Anchor, const QString& Text) {
  if (Anchor == OutsideAnchor) {
    if (!FollowOutside || !FollowOutside(Text)) ShowStatus(tr("%1 is not declared in a unit at hand").arg(Text));
    return;
  }
  const TListingRun* Place = Listing->Text().Place(Anchor);
  const bool Heading = Place && Place->Style == TRunStyle::NameLink;
  if (!Heading) {
    if (const std::optional<size_t> I = RoutineAtDecl(Anchor)) {
      ShowRoutine(*I, true);
      Listing->JumpTo(Anchor, false);
      return;
    }
  }
  if (!ShowDeclaration || !ShowDeclaration(Anchor))
    ShowStatus(tr("%1 is not listed in the Declarations view").arg(Text));
}

int TCodeView::CurrentItem() const {
  const qsizetype Line = Listing->CurrentLine();
  auto It = std::upper_bound(D->ItemLines.begin(), D->ItemLines.end(), Line);
  return It == D->ItemLines.begin() ? -1 : static_cast<int>(It - D->ItemLines.begin()) - 1;
}

qsizetype TCodeView::ItemLine(size_t I) const { return I < D->ItemLines.size() ? D->ItemLines[I] : -1; }

void TCodeView::CaretMoved() {
  const int Item = CurrentItem();
  if (Item == FLastItem) return;
  FLastItem = Item;
  if (Item < 0 || static_cast<size_t>(Item) >= D->Shown.Items.size()) return;
  const TCodeItem& It = D->Shown.Items[static_cast<size_t>(Item)];
  emit itemChosen(Utf8(D->Shown.ItemText(It)), static_cast<int64_t>(D->Shown.Head.Offset) + It.Offset, It.Size);
}

void TCodeView::FilterChanged(const QString& Text) {
  const int N = Listing->SetFindText(Text);
  if (Text.isEmpty()) {
    Status->hide();
    return;
  }
  if (N > 0) {
    Listing->SetCursorPosition(0);
    Listing->FindNext();
  }
  if (N == 0) ShowStatus(tr("No match in this routine; Enter looks in the routines after it"));
  else if (N == 1) ShowStatus(tr("1 match in this routine"));
  else ShowStatus(tr("%1 matches in this routine").arg(N));
}

// The next match in the routine shown, else in the routines after it (before
// it, Backward), each disassembled to be searched, else from the routine's
// other end.
bool TCodeView::NextMatch(bool Backward) {
  const QString Find = Listing->FindText();
  if (Find.isEmpty() || !D->ShownIndex) return false;
  if (Listing->FindNext(Backward, false)) return true;
  const size_t N = RoutineCount(), From = *D->ShownIndex;
  TBusyCursor Busy;
  for (size_t Step = 1; Step < N; ++Step) {
    const size_t J = Backward ? (From + N - Step) % N : (From + Step) % N;
    std::string Text;
    try {
      WriteRoutineText(D->Lister->Routine(J), Text);
    } catch (const std::exception&) {
      continue;
    }
    if (!Utf8(Text).contains(Find, Qt::CaseInsensitive)) continue;
    ShowRoutine(J, true);
    Listing->SetCursorPosition(Backward ? Listing->PlainText().size() : 0);
    Listing->FindNext(Backward, false);
    ShowStatus(tr("%1 in %2").arg(Listing->FindCount() == 1 ? tr("1 match") : tr("%1 matches").arg(Listing->FindCount()),
                                  Utf8(D->Heads[J].QualifiedName)));
    return true;
  }
  if (Listing->FindNext(Backward, true)) {
    ShowStatus(tr("No match in the other routines"));
    return true;
  }
  ShowStatus(tr("No match"));
  return false;
}
