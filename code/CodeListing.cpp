// The routines of a loaded unit, their pieces of the data block, the fixups
// and line markers that fall inside them.
#include "CodeListing.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "CodeDisasm.h"
#include "CodeFixupKinds.h"
#include "CodeSource.h"
#include "CodeSourceCheck.h"
#include "DCURecs.h"
#include "DCU_Text.h"
#include "DCU_TextRules.h"
#include "DCU_Unit.h"

namespace {

// A compiler-made name ".TName": the class table of class TName.
bool IsClassTableName(std::string_view Name) {
  return Name.size() > 1 && Name[0] == '.' && !(Name[1] >= '0' && Name[1] <= '9') && Name[1] != '.';
}

std::string UnitNameOf(const TUnit& U, int32_t Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= U.UsedUnits.size()) return "?";
  return DisplayUtf8(NameView(U.UsedUnits[static_cast<size_t>(Index)]->NamePos));
}

}  // namespace

TCodeArch CodeArchOf(int32_t Version) {
  // Versions 2 to 7 hold 32-bit x86 code. No unit of the further formats was
  // at hand to confirm what their code is; they are shown as data.
  return Version >= 2 && Version <= 7 ? TCodeArch::X86_32 : TCodeArch::Unknown;
}

std::string_view RoutineRoleName(TRoutineRole R) {
  switch (R) {
    case TRoutineRole::Routine: return "routine";
    case TRoutineRole::Nested: return "nested";
    case TRoutineRole::Initialization: return "initialization";
    case TRoutineRole::Finalization: return "finalization";
  }
  return "routine";
}

bool RoutineNameMatches(const TCodeRoutineHead& H, std::string_view Name) {
  return SameNameNoCase(H.Name, Name) || SameNameNoCase(H.QualifiedName, Name);
}

namespace {

std::string_view BareName(std::string_view Name) {
  const size_t Dot = Name.rfind('.');
  return Dot == std::string_view::npos || Dot + 1 >= Name.size() ? Name : Name.substr(Dot + 1);
}

}  // namespace

bool RoutinePatternMatches(const TCodeRoutineHead& H, std::string_view Pattern) {
  for (std::string_view Name : {std::string_view(H.QualifiedName), std::string_view(H.Name), BareName(H.QualifiedName)})
    if (WildcardMatch(Pattern, Name)) return true;
  return false;
}

// Sixteen bytes a routine (a unit of a hundred thousand routines keeps them
// all while it is listed).
struct TCodeLister::TPlaced {
  const TProcDecl* Proc = nullptr;
  uint32_t Start = 0;          // in the data block
  uint32_t PieceSize : 30 = 0; // at most MaxPiece
  uint32_t Role : 2 = static_cast<uint32_t>(TRoutineRole::Routine);
  static constexpr uint32_t MaxPiece = (1u << 30) - 1;
};


// A fixup target: its name and what the name refers to.
struct TCodeTarget {
  std::string Name;
  TCodeSpan Ref;
};

// The names a listing shows: of routines (nested ones after the routines
// they are declared in) and of fixup targets.
class TTargetNames {
 public:
  // RoutineIndex gives a placed routine's index in the listing, -1 for a
  // procedure that has none.
  TTargetNames(const TUnit& U, std::function<int64_t(const TProcDecl*)> RoutineIndex)
      : U(U), RoutineIndex(std::move(RoutineIndex)) {}

  // Nested routine P is declared in Owner.
  void SetOwner(const TProcDecl* P, const TProcDecl* Owner) { OwnerOf[P] = Owner; }
  const TProcDecl* Owner(const TProcDecl* P) const {
    auto It = OwnerOf.find(P);
    return It == OwnerOf.end() ? nullptr : It->second;
  }
  static std::string RoutineName(const TProcDecl* P) {
    std::string Name = DisplayUtf8(NameView(P->GetName()));
    return Name.empty() ? "#" + std::to_string(P->DeclIndex) : Name;
  }
  std::string QualifiedName(const TProcDecl* P) const { return QualifiedName(P, RoutineName(P)); }
  // The same, P's own name given.
  std::string QualifiedName(const TProcDecl* P, std::string Name) const {
    // Owners from the file: a chain that comes back to itself stops.
    size_t Depth = 0;
    for (const TProcDecl* O = Owner(P); O && Depth < 64; O = Owner(O), ++Depth) Name = RoutineName(O) + "." + Name;
    return Name;
  }

  // The name of declaration N; it stays where it is until Trim.
  const TCodeTarget& Of(uint32_t N) {
    // Declaration numbers by a table (up to MaxSlots of them, a quarter of a
    // megabyte), any others (a very large unit's, a damaged file's) by a map.
    uint32_t* Slot = nullptr;
    if (N <= U.DeclTable.size() && N < MaxSlots) {
      if (Slots.empty()) Slots.assign(std::min<size_t>(U.DeclTable.size() + 1, MaxSlots), 0);
      Slot = &Slots[N];
      if (*Slot) return Made[*Slot - 1];
    } else if (auto It = Others.find(N); It != Others.end()) {
      return Made[It->second - 1];
    }
    const TDCURec* R = U.GetDecl(N);
    TCodeTarget& T = Made.emplace_back();
    T.Name = Make(R, N);
    T.Ref = RefOf(R);
    const auto Index = static_cast<uint32_t>(Made.size());
    if (Slot) *Slot = Index;
    else Others.emplace(N, Index);
    Numbers.push_back(N);
    return T;
  }
  // Keeps the names made so far from growing without bound: called between
  // routines, when no name is in use.
  void Trim() {
    if (Made.size() <= 4096) return;
    for (uint32_t N : Numbers)
      if (N < Slots.size()) Slots[N] = 0;
    Others.clear();
    Made.clear();
    Numbers.clear();
  }

 private:
  const TUnit& U;
  std::function<int64_t(const TProcDecl*)> RoutineIndex;
  std::unordered_map<const TProcDecl*, const TProcDecl*> OwnerOf;
  // The names made: Slots[N] (or Others[N]) is 1 + the place of declaration
  // N's in Made (a deque: a name stays where it is); Numbers lists the N.
  static constexpr uint32_t MaxSlots = 1u << 16;
  std::vector<uint32_t> Slots;
  std::unordered_map<uint32_t, uint32_t> Others;
  std::deque<TCodeTarget> Made;
  std::vector<uint32_t> Numbers;
  // The unit's type declarations by name (made when a class table is first
  // named): the class of a class table ".TName" is the type TName.
  std::unordered_map<std::string_view, uint32_t> TypeDecls;
  bool TypeDeclsMade = false;

  uint32_t OffsetOf(TPos P) const { return P ? PosOffset(P, U.Image.get()) : NoCodeDecl; }

  uint32_t ClassTypeDecl(std::string_view ClassName) {
    if (!TypeDeclsMade) {
      TypeDeclsMade = true;
      for (const TDCURec* R = U.Decls; R; R = R->Next)
        if (const auto* T = RecCast<TTypeDecl>(R)) TypeDecls.try_emplace(NameView(T->GetName()), OffsetOf(T->DefPos));
    }
    auto It = TypeDecls.find(ClassName);
    return It == TypeDecls.end() ? NoCodeDecl : It->second;
  }

  // What the name of declaration R refers to: a routine of the listing,
  // another declaration of the unit, a name of another unit.
  TCodeSpan RefOf(const TDCURec* R) {
    TCodeSpan Ref;
    if (!R) return Ref;  // unresolved
    if (const auto* B = RecCast<TBaseDef>(R)) {
      Ref.Kind = TCodeRefKind::Import;
      if (B->UnitIndex < 0) {
        Ref.Kind = TCodeRefKind::Decl;
        Ref.DeclOffset = OffsetOf(B->DefPos);
      }
      return Ref;
    }
    const auto* D = RecCast<TNameDecl>(R);
    if (!D) return Ref;
    Ref.Kind = TCodeRefKind::Decl;
    Ref.DeclOffset = OffsetOf(D->DefPos);
    if (const auto* P = RecCast<TProcDecl>(R)) {
      const int64_t I = RoutineIndex(P);
      if (I >= 0) {
        Ref.Kind = TCodeRefKind::Routine;
        Ref.Target = static_cast<uint32_t>(I);
      }
    } else if (RecCast<TTypePDecl>(R) && IsClassTableName(NameView(R->GetName()))) {
      const uint32_t Class = ClassTypeDecl(NameView(R->GetName()).substr(1));
      if (Class != NoCodeDecl) Ref.DeclOffset = Class;
    }
    return Ref;
  }

  std::string Make(const TDCURec* R, uint32_t N) const {
    if (!R) return "#" + std::to_string(N);
    if (const auto* T = RecCast<TImpTypeDefRec>(R))
      return "TypeInfo(" + UnitNameOf(U, T->OwnerUnit) + "." + DisplayUtf8(NameView(T->TypeName)) + ")";
    if (const auto* B = RecCast<TBaseDef>(R)) {
      const std::string Unit = UnitNameOf(U, B->UnitIndex);
      if (B->UnitIndex >= 0 && static_cast<size_t>(B->UnitIndex) < U.UsedUnits.size() &&
          U.UsedUnits[static_cast<size_t>(B->UnitIndex)]->UnitDef.get() == R)
        return Unit;
      const std::string_view Raw = NameView(B->GetName());
      const auto* I = RecCast<TImpDef>(R);
      if (I && I->Kind == 'T') return "TypeInfo(" + Unit + "." + DisplayUtf8(Raw) + ")";
      if (IsClassTableName(Raw)) return Unit + "." + DisplayUtf8(Raw.substr(1));
      return Unit + "." + DisplayUtf8(Raw);
    }
    if (const auto* P = RecCast<TProcDecl>(R)) return QualifiedName(P);
    const std::string_view Raw = NameView(R->GetName());
    if (RecCast<TTypeDecl>(R)) return "TypeInfo(" + DisplayUtf8(Raw) + ")";
    if (RecCast<TTypePDecl>(R) && IsClassTableName(Raw)) return DisplayUtf8(Raw.substr(1));
    if (Raw.empty()) return "#" + std::to_string(N);
    return DisplayUtf8(Raw);
  }
};

TCodeLister::TCodeLister(const TUnit& U, const TCodeOptions& Options)
    : Unit(U), Options(Options), ArchOfUnit(CodeArchOf(U.Version)),
      Sources(std::make_unique<TCodeSourceFiles>(U, Options)),
      Names(std::make_unique<TTargetNames>(U, [this](const TProcDecl* P) { return IndexOf(P); })) {
  FindRoutines();
}

TCodeLister::~TCodeLister() = default;

std::string TCodeLister::SourcePath() const { return Sources->MainPath(); }

// What the walk over a unit's routines needs: the block boundaries, the
// declarations whose blocks the fixup table ends, and which routines it has
// placed.
struct TCodeLister::TRoutineWalk {
  uint32_t DataSize = 0;
  // The block boundaries: where the fixup table starts a piece, and the end.
  std::vector<uint32_t> Bounds;
  // The declarations whose blocks the table ends (sorted, for lookups):
  // a unit may have one for each routine, which a hash set would keep in
  // a node each.
  std::vector<uint32_t> InitDecls;
  // Each routine once: marked by its declaration number (a number beyond
  // the table, which the file cannot give but a moved entry may have, by
  // the record).
  std::vector<bool> SeenNo;
  std::unordered_set<const TProcDecl*> SeenOther;

  TRoutineWalk(const TUnit& U, uint32_t DataSize) : DataSize(DataSize), SeenNo(U.DeclTable.size() + 2) {
    const TFixupKindInfo* Kinds = FixupKindTable(U.Version);
    auto IsBound = [&](const TFixupRec& F) {
      const TFixupUse Use = Kinds[F.FixupKind].Use;
      return Use == TFixupUse::BlockStart || Use == TFixupUse::BlockEnd;
    };
    // Counted first: a list grown by doubling leaves the copies it outgrew.
    Bounds.reserve(static_cast<size_t>(std::count_if(U.Fixups.begin(), U.Fixups.end(), IsBound)) + 1);
    for (const TFixupRec& F : U.Fixups) {
      if (IsBound(F)) Bounds.push_back(F.FixupOfs);
      if (Kinds[F.FixupKind].Use == TFixupUse::BlockEnd) InitDecls.push_back(F.FixupDecl);
    }
    std::sort(InitDecls.begin(), InitDecls.end());
    Bounds.push_back(DataSize);
    std::sort(Bounds.begin(), Bounds.end());
  }

  bool FirstTime(const TProcDecl* P) {
    if (P->DeclIndex >= 0 && static_cast<size_t>(P->DeclIndex) < SeenNo.size()) {
      if (SeenNo[static_cast<size_t>(P->DeclIndex)]) return false;
      SeenNo[static_cast<size_t>(P->DeclIndex)] = true;
      return true;
    }
    return SeenOther.insert(P).second;
  }
};

void TCodeLister::FindRoutines() {
  static_assert(sizeof(void*) != 8 || sizeof(TPlaced) == 16);
  const TUnit& U = Unit;
  if (!U.DataBlock || U.DataSize <= 0) return;
  TRoutineWalk W(U, static_cast<uint32_t>(U.DataSize));
  size_t Count = 0;
  for (const TDCURec* R : U.DeclTable)
    if (const auto* P = RecCast<TProcDecl>(R)) Count += P->MemOfs >= 0;
  Placed.reserve(Count + 8);
  WalkDecls(W);
  // Routines the walk does not reach (a numbered record in no chain the walk
  // follows).
  for (const TDCURec* R : U.DeclTable)
    if (const auto* P = RecCast<TProcDecl>(R))
      if (P->MemOfs >= 0) PlaceRoutine(W, P, nullptr);

  // Stable: routines that share a place stay in the order the walk found
  // them (its buffer, half the list, is given back before the listing).
  std::stable_sort(Placed.begin(), Placed.end(), [](const TPlaced& A, const TPlaced& B) { return A.Start < B.Start; });
}

// Nested routines are the embedded declarations of the routine they are
// declared in (and, should a file put them there, its locals). The walk
// keeps its own stack: nesting depth comes from the file.
void TCodeLister::WalkDecls(TRoutineWalk& W) {
  struct TLevel {
    const TDCURec* Next;
    const TProcDecl* Owner;
  };
  std::vector<TLevel> Stack{{Unit.Decls, nullptr}};
  while (!Stack.empty()) {
    TLevel& L = Stack.back();
    const TDCURec* R = L.Next;
    if (!R) {
      Stack.pop_back();
      continue;
    }
    L.Next = R->Next;
    const auto* P = RecCast<TProcDecl>(R);
    if (!P) continue;
    const TProcDecl* Owner = L.Owner;
    if (P->MemOfs >= 0) PlaceRoutine(W, P, Owner);
    if (P->Locals) Stack.push_back({P->Locals, P});
    if (P->Embedded) Stack.push_back({P->Embedded, P});
  }
}

void TCodeLister::PlaceRoutine(TRoutineWalk& W, const TProcDecl* P, const TProcDecl* Owner) {
  const TUnit& U = Unit;
  if (!W.FirstTime(P)) return;
  TPlaced X;
  X.Proc = P;
  TRoutineRole Role = TRoutineRole::Routine;
  if (Owner) {
    Role = TRoutineRole::Nested;
    Names->SetOwner(P, Owner);
  } else if (std::binary_search(W.InitDecls.begin(), W.InitDecls.end(), static_cast<uint32_t>(P->DeclIndex)) ||
             (!U.DeclTable.empty() && U.DeclTable[0] == P)) {
    Role = TRoutineRole::Initialization;
  } else if (SameNameNoCase(NameView(P->GetName()), "Finalization")) {
    Role = TRoutineRole::Finalization;
  }
  X.Role = static_cast<uint32_t>(Role) & 3;
  const uint32_t DataSize = W.DataSize;
  X.Start = std::min(static_cast<uint32_t>(P->MemOfs), DataSize);
  const uint32_t BlockEnd = *std::upper_bound(W.Bounds.begin(), W.Bounds.end(), X.Start);
  const uint32_t Room = (X.Start < DataSize ? BlockEnd : DataSize) - X.Start;
  // A piece is listed up to 1 GiB (the format's offsets could go further,
  // no unit does).
  X.PieceSize = std::min(static_cast<int32_t>(P->CodeSize) >= 0 ? std::min(P->CodeSize, Room) : Room, TPlaced::MaxPiece);
  Placed.push_back(X);
}

size_t TCodeLister::RoutineCount() const { return Placed.size(); }

int64_t TCodeLister::IndexOf(const TProcDecl* P) const {
  if (!P || P->MemOfs < 0 || !Unit.DataBlock || Unit.DataSize <= 0) return -1;
  const uint32_t Start = std::min(static_cast<uint32_t>(P->MemOfs), static_cast<uint32_t>(Unit.DataSize));
  auto It = std::lower_bound(Placed.begin(), Placed.end(), Start,
                             [](const TPlaced& X, uint32_t V) { return X.Start < V; });
  for (; It != Placed.end() && It->Start == Start; ++It)
    if (It->Proc == P) return It - Placed.begin();
  return -1;
}

std::optional<size_t> TCodeLister::RoutineAtDecl(uint32_t DeclOffset) const {
  const TPos Image = Unit.Image.get();
  for (size_t I = 0; I < Placed.size(); ++I)
    if (PosOffset(Placed[I].Proc->DefPos, Image) == DeclOffset) return I;
  return std::nullopt;
}

TCodeRoutineHead TCodeLister::Head(size_t I) const {
  const TPlaced& X = Placed[I];
  const TProcDecl* P = X.Proc;
  const TPos Image = Unit.Image.get();
  TCodeRoutineHead H;
  H.Name = TTargetNames::RoutineName(P);
  H.QualifiedName = Names->QualifiedName(P, H.Name);
  H.Role = static_cast<TRoutineRole>(X.Role);
  H.BlockOffset = X.Start;
  H.Offset = PosOffset(Unit.DataBlock, Image) + X.Start;
  H.Size = P->CodeSize;
  H.PieceSize = X.PieceSize;
  H.DeclOffset = PosOffset(P->DefPos, Image);
  H.DeclIndex = P->DeclIndex;
  if (const TProcDecl* Owner = Names->Owner(P)) H.OwnerDeclOffset = PosOffset(Owner->DefPos, Image);
  return H;
}

std::vector<TCodeRoutineHead> TCodeLister::AllHeads() const {
  std::vector<TCodeRoutineHead> All;
  All.reserve(Placed.size());
  for (size_t I = 0; I < Placed.size(); ++I) All.push_back(Head(I));
  return All;
}

TCodeRoutine TCodeLister::Routine(size_t I) const {
  TCodeRoutine R;
  Fill(I, R);
  return R;
}

void TCodeLister::Fill(size_t I, TCodeRoutine& R) const {
  const TUnit& U = Unit;
  R.Head = Head(I);
  const TCodeRoutineHead& H = R.Head;
  R.Bytes.assign(U.DataBlock + H.BlockOffset, U.DataBlock + H.BlockOffset + H.PieceSize);
  const uint32_t Start = H.BlockOffset, End = H.BlockOffset + H.PieceSize;

  Names->Trim();
  if (!Disasm) StartDisassembling();
  FixupsIn(Start, End);
  TPieceInput& In = *Input;
  In.Bytes = R.Bytes;
  In.SelfName = H.QualifiedName;
  In.SelfIndex = static_cast<uint32_t>(I);
  In.SelfDecl = H.DeclOffset;
  In.Arch = ArchOfUnit;
  PieceFixups(Placed[I].Proc, Start, In.Fixups);
  Disasm->Run(In, R);
  LineMarkers(Start, End, R);
}

void TCodeLister::StartDisassembling() const {
  const TUnit& U = Unit;
  Disasm = std::make_unique<TPieceDisassembler>();
  // The input's buffers are kept from routine to routine.
  Input = std::make_unique<TPieceInput>();
  // The table is in offset order (its offsets are deltas) unless offsets
  // past 16 MiB lost their upper bits; then an order is made for it.
  const bool Sorted = std::is_sorted(U.Fixups.begin(), U.Fixups.end(), [](const TFixupRec& A, const TFixupRec& B) {
    return A.FixupOfs < B.FixupOfs;
  });
  if (!Sorted) {
    FixupOrder.resize(U.Fixups.size());
    for (uint32_t K = 0; K < FixupOrder.size(); ++K) FixupOrder[K] = K;
    std::stable_sort(FixupOrder.begin(), FixupOrder.end(),
                     [&](uint32_t A, uint32_t B) { return U.Fixups[A].FixupOfs < U.Fixups[B].FixupOfs; });
  }
}

void TCodeLister::FixupsIn(uint32_t Start, uint32_t End) const {
  const TUnit& U = Unit;
  std::vector<uint32_t>& InPiece = InPieceFixups;
  InPiece.clear();
  if (FixupOrder.empty()) {
    auto First = std::lower_bound(U.Fixups.begin(), U.Fixups.end(), Start,
                                  [](const TFixupRec& F, uint32_t V) { return F.FixupOfs < V; });
    for (auto It = First; It != U.Fixups.end() && It->FixupOfs < End; ++It)
      InPiece.push_back(static_cast<uint32_t>(It - U.Fixups.begin()));
  } else {
    auto First = std::lower_bound(FixupOrder.begin(), FixupOrder.end(), Start,
                                  [&](uint32_t K, uint32_t V) { return U.Fixups[K].FixupOfs < V; });
    for (auto It = First; It != FixupOrder.end() && U.Fixups[*It].FixupOfs < End; ++It) InPiece.push_back(*It);
  }
}

void TCodeLister::PieceFixups(const TProcDecl* Self, uint32_t Start, std::vector<TPieceFixup>& Out) const {
  const TUnit& U = Unit;
  Out.clear();
  Out.reserve(InPieceFixups.size());
  const TFixupKindInfo* Kinds = FixupKindTable(U.Version);
  for (uint32_t K : InPieceFixups) {
    const TFixupRec& F = U.Fixups[K];
    TPieceFixup P;
    P.Offset = F.FixupOfs - Start;
    P.Kind = static_cast<uint8_t>(F.FixupKind);
    P.Info = Kinds[P.Kind];
    const TDCURec* T = U.GetDecl(F.FixupDecl);
    P.Self = T == Self;
    const TCodeTarget& Target = Names->Of(F.FixupDecl);
    P.Target = Target.Name;
    P.Ref = Target.Ref;
    if (T && (RecCast<TTypePDecl>(T) || RecCast<TImpDef>(T)) && IsClassTableName(NameView(T->GetName())))
      P.Rebase = ClassRefOffset(U.Version);
    if (T) {
      const std::string_view Raw = NameView(T->GetName());
      if (!Raw.empty() && Raw[0] == '@') P.Helper = FlowHelperOf(Raw);
    }
    Out.push_back(std::move(P));
  }
}

// Line markers: the code-line table's lines are numbered through all the
// line ranges in turn (the unit's own file, its include files); a range
// maps its numbers to the lines of one source file.
void TCodeLister::LineMarkers(uint32_t Start, uint32_t End, TCodeRoutine& R) const {
  const TUnit& U = Unit;
  auto FirstLine = std::lower_bound(U.CodeLines.begin(), U.CodeLines.end(), Start,
                                    [](const TCodeLineRec& L, uint32_t V) { return L.LineOfs < V; });
  const TSourceFileRec* Main = U.SourceFiles.get();
  const bool MainFits = SourceCheck().Matches;
  size_t Count = 0;
  for (auto It = FirstLine; It != U.CodeLines.end() && It->LineOfs < End; ++It) {
    // The lines of the routine before keep their strings' room.
    if (Count == R.Lines.size()) R.Lines.emplace_back();
    TCodeLine& L = R.Lines[Count++];
    L.Offset = It->LineOfs - Start;
    const TSourceFileRec* File = LineOf(*It, L.Line);
    L.File.clear();
    if (File && File != Main) L.File = DisplayUtf8(BareFileName(NameView(File->NamePos())));
    L.HasSource = (File != Main || MainFits) && Sources->LineText(File, L.Line, L.Source);
    if (!L.HasSource) L.Source.clear();
  }
  R.Lines.resize(Count);
}

// The code-line table's lines are numbered through all the line ranges in
// turn (the unit's own file, its include files); a range maps its numbers to
// the lines of one source file.
const TSourceFileRec* TCodeLister::LineOf(const TCodeLineRec& L, int32_t& Line) const {
  Line = L.LineNum;
  const TSourceFileRec* File = Unit.SourceFiles.get();
  if (Unit.LineRanges.empty()) return File;
  const uint32_t G = static_cast<uint32_t>(L.LineNum);
  auto Range = std::lower_bound(Unit.LineRanges.begin(), Unit.LineRanges.end(), G,
                                [](const TLineRangeRec& X, uint32_t V) { return X.LineBase + X.LineCount < V; });
  if (Range != Unit.LineRanges.end() && G > Range->LineBase) {
    Line = static_cast<int32_t>(Range->FirstLine + (G - Range->LineBase - 1));
    File = Range->SrcFile;
  }
  return File;
}

const TSourceCheck& TCodeLister::SourceCheck() const {
  if (Check) return *Check;
  Check = std::make_unique<TSourceCheck>();
  const std::string* Text = Sources->MainText();
  if (!Text) return *Check;
  Check->Found = true;
  Check->Path = Sources->MainPath();
  // Each routine's first and last line in the unit's own file.
  std::vector<TSourceCheckRoutine> Rs(Placed.size());
  const TSourceFileRec* Main = Unit.SourceFiles.get();
  for (size_t I = 0; I < Placed.size(); ++I) {
    const TPlaced& X = Placed[I];
    TSourceCheckRoutine& R = Rs[I];
    if (static_cast<TRoutineRole>(X.Role) == TRoutineRole::Routine ||
        static_cast<TRoutineRole>(X.Role) == TRoutineRole::Nested) {
      R.Name = TTargetNames::RoutineName(X.Proc);
      if (!R.Name.empty() && R.Name[0] == '@') R.Name.clear();  // made by the compiler
    }
    if (const TProcDecl* Owner = Names->Owner(X.Proc)) R.Owner = IndexOf(Owner);
    auto It = std::lower_bound(Unit.CodeLines.begin(), Unit.CodeLines.end(), X.Start,
                               [](const TCodeLineRec& L, uint32_t V) { return L.LineOfs < V; });
    for (; It != Unit.CodeLines.end() && It->LineOfs < X.Start + X.PieceSize; ++It) {
      int32_t Line = 0;
      if (LineOf(*It, Line) != Main || Line <= 0) continue;
      if (R.FirstLine == 0) R.FirstLine = Line;
      R.LastLine = std::max(R.LastLine, Line);
    }
  }
  CheckSourceText(*Text, Rs, *Check);
  return *Check;
}

void TCodeLister::ForEach(const std::function<void(const TCodeRoutine&)>& Visit) const {
  TCodeRoutine R;
  for (size_t I = 0; I < Placed.size(); ++I) {
    Fill(I, R);
    Visit(R);
  }
}

size_t TCodeLister::ForEach(const std::function<bool(const TCodeRoutineHead&)>& Want,
                            const std::function<void(const TCodeRoutine&)>& Visit) const {
  size_t Visited = 0;
  TCodeRoutine R;
  for (size_t I = 0; I < Placed.size(); ++I)
    if (!Want || Want(Head(I))) {
      Fill(I, R);
      Visit(R);
      ++Visited;
    }
  return Visited;
}

std::span<const TCodeSpan> TCodeRoutine::ItemSpans(const TCodeItem& It) const {
  auto First = std::lower_bound(Spans.begin(), Spans.end(), It.TextStart,
                                [](const TCodeSpan& S, uint32_t V) { return S.Start < V; });
  auto Last = First;
  while (Last != Spans.end() && Last->Start < It.TextStart + It.TextSize) ++Last;
  return {Spans.data() + (First - Spans.begin()), static_cast<size_t>(Last - First)};
}

std::vector<TCodeRoutine> BuildCodeListing(const TUnit& U, const TCodeOptions& Options) {
  TCodeLister L(U, Options);
  std::vector<TCodeRoutine> All;
  All.reserve(L.RoutineCount());
  for (size_t I = 0; I < L.RoutineCount(); ++I) All.push_back(L.Routine(I));
  return All;
}
