// The outline's sections, blocks and entries: which declarations of a unit
// it shows, in which section, and what each entry holds by its kind.
#include <algorithm>

#include "DeclBuilder.h"

namespace {

// The part of a qualified name after its last dot ("TList.Get" -> "Get").
std::string_view LastPart(std::string_view N) {
  size_t Dot = N.rfind('.');
  return Dot == std::string_view::npos || Dot + 1 >= N.size() ? N : N.substr(Dot + 1);
}

}  // namespace

TDeclString TOutlineBuilder::DeclName(uint32_t DeclNo, bool LastPartOnly) {
  const TDCURec* R = U.GetDecl(DeclNo);
  if (!R) return TDeclString(Unresolved(DeclNo));
  std::string_view N = NameView(R->GetName());
  if (auto* I = RecCast<TImpTypeDefRec>(R)) N = I->TypeName ? NameView(I->TypeName) : N;
  return DeclDisplayName(LastPartOnly ? LastPart(N) : N);
}

void TOutlineBuilder::TypeEntry(const TTypeDecl* T, TDeclEntry& E) {
  E.Kind = TDeclKind::Type;
  const TBaseDef* D = U.GetTypeDef(T->TypeIndex);
  // A name for an imported type, or for a number that resolves to nothing.
  if (!D || !RecCast<TTypeDef>(D)) {
    E.TypeKind = D ? TDeclTypeKind::Alias : TDeclTypeKind::Unknown;
    E.Type = TypeRef(T->TypeIndex);
    std::string Unit = UnitOf(T->TypeIndex);
    if (Unit.empty()) return;
    // A name for a type of the same name in another unit names it with its
    // unit ("DWORD = Types.DWORD"), never itself.
    if (E.Type.Text.size() == E.Name.size() && CompareNamesNoCase(E.Type.Text, E.Name) == 0) {
      TDeclText Q = NewText();
      Q.Plain(Unit + ".");
      Q.Append(E.Type);
      E.Type = std::move(Q);
    }
    E.SetMore().TypeUnit = std::move(Unit);
    return;
  }
  E.Type = Structure(T->TypeIndex, D, 0, &E.TypeKind);
  if (auto* En = RecCast<TEnumDef>(D); En && En->NameList)
    for (const TConstDecl* C : *En->NameList) E.SetMore().Values.push_back(DeclDisplayName(NameView(C->GetName())));
  if (auto* RB = RecCast<TRecBaseDef>(D); RB && !RecCast<TProcTypeDef>(D)) {
    Members(*RB, E.Members);
    if (auto* I = RecCast<TInterfaceDef>(D); I && I->GUID) E.SetMore().Guid = GuidText(I->GUID);
  }
  if (auto* PT = RecCast<TProcTypeDef>(D)) E.SetRoutine() = ProcTypeRoutine(PT, 0);
}

// Routines the compiler marks as interface that no interface section can
// declare: method bodies (qualified names), and the routines named after the
// unit and "Finalization" (names no declaration may take).
bool TOutlineBuilder::ToImplementation(const TNameDecl* D, std::string_view Name) const {
  if (!RecCast<TProcDecl>(D)) return false;
  if (Name.find('.') != std::string_view::npos) return true;
  return CompareNamesNoCase(Name, U.UnitName) == 0 || CompareNamesNoCase(Name, "Finalization") == 0;
}

std::optional<TDeclKind> TOutlineBuilder::EntryKind(const TNameDecl* D) const {
  if (IsCompilerName(NameView(D->GetName())) || RecCast<TTypePDecl>(D) || RecCast<TSetDeftInfo>(D)) return {};
  if (RecCast<TTypeDecl>(D)) return TDeclKind::Type;
  if (RecCast<TResStrDef>(D)) return TDeclKind::ResourceString;
  if (RecCast<TVarCDecl>(D)) return TDeclKind::Const;
  if (RecCast<TAbsVarDecl>(D)) return TDeclKind::Var;
  if (RecCast<TThreadVarDecl>(D)) return TDeclKind::ThreadVar;
  if (RecCast<TVarDecl>(D)) return TDeclKind::Var;
  if (RecCast<TConstDecl>(D)) return TDeclKind::Const;
  if (RecCast<TProcDecl>(D) || RecCast<TSysProcDecl>(D)) return TDeclKind::Procedure;
  if (RecCast<TLabelDecl>(D)) return TDeclKind::Label;
  if (RecCast<TExportDecl>(D)) return TDeclKind::Exports;
  return {};
}

void TOutlineBuilder::MakeEntry(TNameDecl* D, TDeclKind Kind, TDeclEntry& E) {
  if (NamesOnly) return NameEntry(D, Kind, E);
  std::string_view N = NameView(D->GetName());
  E.Kind = Kind;
  E.Name = DeclDisplayName(N);
  E.Offset = OffsetOf(U, D->DefPos);
  auto SetType = [&](uint32_t N) {
    E.Type = TypeRef(N);
    if (std::string Unit = UnitOf(N); !Unit.empty()) E.SetMore().TypeUnit = std::move(Unit);
  };
  if (auto* T = RecCast<TTypeDecl>(D)) {
    TypeEntry(T, E);
  } else if (auto* RS = RecCast<TResStrDef>(D)) {
    SetType(RS->TypeIndex);
    E.DataSize = RS->MemSize;
    SetValue(ResStringValue(U, *RS), E, nullptr, 0);
  } else if (auto* TC = RecCast<TVarCDecl>(D)) {
    E.Typed = true;
    SetType(TC->TypeIndex);
    E.DataSize = TC->MemSize;
    // The block's bytes stand for a value not decoded.
    const bool InData = U.DataBlock && TC->Ofs >= 0 && TC->MemSize >= 0 &&
                        int64_t(TC->Ofs) + TC->MemSize <= int64_t(U.DataSize);
    SetValue(TypedConstValue(U, *TC, Used), E, InData ? U.DataBlock + TC->Ofs : nullptr,
             InData ? static_cast<size_t>(TC->MemSize) : 0);
  } else if (auto* A = RecCast<TAbsVarDecl>(D)) {
    E.Absolute = true;
    SetType(A->TypeIndex);
    E.SetMore().AbsoluteTarget = DeclName(static_cast<uint32_t>(A->Ofs), false);
  } else if (auto* V = RecCast<TVarDecl>(D)) {
    SetType(V->TypeIndex);  // also thread variables
  } else if (auto* C = RecCast<TConstDecl>(D)) {
    SetType(C->TypeIndex);
    SetValue(::ConstValue(U, *C, Used), E, nullptr, 0);
  } else if (auto* P = RecCast<TProcDecl>(D)) {
    TDeclRoutine& R = E.SetRoutine() = ProcRoutine(P, N.find('.') != std::string_view::npos, 0);
    E.Kind = R.IsFunction ? TDeclKind::Function : TDeclKind::Procedure;
    if (auto It = MethodHeads.find(P->DeclIndex); It != MethodHeads.end()) {
      R.Head = It->second.Head;
      R.ClassMethod = It->second.ClassMethod;
      R.Abstract = It->second.Abstract;
    }
    RoutineParts(*P, N, E);
  } else if (RecCast<TSysProcDecl>(D)) {
    E.SystemProc = true;
  } else if (auto* X = RecCast<TExportDecl>(D)) {
    TDeclEntryParts& Parts = E.SetMore();
    Parts.ExportTarget = DeclName(X->ExportedDecl, false);
    Parts.ExportIndex = X->ExportIndex;
  }
}

// Owners first: a type may be used before its declaration.
// One pointer per type number: the table is as long as the unit's type table
// (a type declaration names a number of it or none that resolves).
void TOutlineBuilder::FindOwners() {
  if (!NamesOnly) FindMethodHeads();
  Owners.assign(U.TypeTable.size(), nullptr);
  for (int Pass = 0; Pass < 2; ++Pass)
    for (TDCURec* R = U.Decls; R; R = R->Next) {
      auto* T = RecCast<TTypeDecl>(R);
      if (!T || IsCompilerName(NameView(T->GetName())) || OwnerOf(T->TypeIndex)) continue;
      auto* D = RecCast<TTypeDef>(U.GetTypeDef(T->TypeIndex));
      if (!D || (Pass == 0 && DefName(D) != NameView(T->GetName()))) continue;
      Owners[T->TypeIndex - 1] = T;  // GetTypeDef answered: 1 <= TypeIndex <= size
    }
}

// The routines that implement the methods of the unit's classes and
// objects, by declaration number: what heads them.
void TOutlineBuilder::FindMethodHeads() {
  for (const TBaseDef* D : U.TypeTable) {
    if (!RecCast<TClassDef>(D) && !RecCast<TObjDef>(D)) continue;
    const auto& Owner = static_cast<const TRecBaseDef&>(*D);
    for (TDCURec* R = Owner.Fields; R; R = R->Next) {
      auto* Me = RecCast<TMethodDecl>(R);
      if (!Me || Me->InInterface || Me->Ofs <= 0) continue;
      const uint8_t Tag = TagAt(Me->DefPos);
      TMethodHead H;
      H.Head = Tag == tagConstructor ? TRoutineHead::Constructor
               : Tag == tagDestructor ? TRoutineHead::Destructor
                                      : TRoutineHead::Plain;
      const TMemberFacts F = ::MemberFacts(U, *Me, &Owner);
      H.ClassMethod = F.ClassMethod;
      H.Abstract = F.Abstract;
      MethodHeads.emplace(Me->Ofs, H);
    }
  }
}

TDeclOutline TOutlineBuilder::Build() {
  TDeclOutline O;
  O.UnitName = DeclDisplayText(U.UnitName);
  O.Version = U.Version;
  FindOwners();
  if (!NamesOnly) UnitParts(O);
  // Where each entry goes first, so that each block is made with room for
  // its entries and each entry is made in place (an entry has many parts
  // to move). Consecutive entries of one kind in a section form a block.
  struct TPlace {
    TNameDecl* D;
    uint32_t Block;
    TDeclKind Kind;
    bool Intf;
  };
  std::vector<TPlace> Places;
  std::vector<size_t> Counts[2];  // entries by block: implementation, interface
  for (TDCURec* R = U.Decls; R; R = R->Next) {
    auto* D = RecCast<TNameDecl>(R);
    std::optional<TDeclKind> Kind = D ? EntryKind(D) : std::nullopt;
    if (!Kind) continue;
    bool Intf;
    if (auto* F = RecCast<TNameFDecl>(D))
      Intf = (F->Flags & IsInterfaceFlag) != 0 && !ToImplementation(D, NameView(D->GetName()));
    else
      Intf = RecCast<TSysProcDecl>(D) != nullptr;
    TDeclSection& S = Intf ? O.Interface : O.Implementation;
    std::vector<size_t>& C = Counts[Intf];
    if (S.Blocks.empty() || S.Blocks.back().Kind != *Kind) {
      S.Blocks.emplace_back().Kind = *Kind;
      C.push_back(0);
    }
    ++C.back();
    Places.push_back(TPlace{D, static_cast<uint32_t>(S.Blocks.size() - 1), *Kind, Intf});
  }
  for (int I = 0; I < 2; ++I) {
    TDeclSection& S = I ? O.Interface : O.Implementation;
    for (size_t B = 0; B < S.Blocks.size(); ++B) S.Blocks[B].Entries.reserve(Counts[I][B]);
  }
  for (const TPlace& P : Places) {
    TDeclSection& S = P.Intf ? O.Interface : O.Implementation;
    MakeEntry(P.D, P.Kind, S.Blocks[P.Block].Entries.emplace_back());
  }
  return O;
}

// The uses clauses and the resource files.
void TOutlineBuilder::UnitParts(TDeclOutline& O) const {
  for (const auto& Used : U.UsedUnits) {
    if (Used->UseKind == DllImports) continue;
    std::string_view N = NameView(Used->NamePos);
    if (CompareNamesNoCase(N, "System") == 0 || CompareNamesNoCase(N, "SysInit") == 0) continue;
    (Used->UseKind == InterfaceUses ? O.InterfaceUses : O.ImplementationUses).push_back(DeclDisplayText(N));
  }
  for (const TSourceFileRec* F = U.SourceFiles.get(); F; F = F->Next.get())
    if (F->Kind() == tagResFile) O.Resources.push_back(DeclDisplayText(NameView(F->NamePos())));
}

// What only a routine of the unit carries: whether it is the unit's
// initialization or finalization, the DLL entry an external routine jumps
// to (a fixup at the head of its few bytes of code names the import), and
// its local variables.
void TOutlineBuilder::RoutineParts(const TProcDecl& P, std::string_view Name, TDeclEntry& E) {
  if (CompareNamesNoCase(Name, U.UnitName) == 0) E.Part = TUnitPart::Initialization;
  else if (CompareNamesNoCase(Name, "Finalization") == 0) E.Part = TUnitPart::Finalization;
  if (P.MemOfs >= 0 && P.CodeSize <= 8) {
    auto It = std::lower_bound(U.Fixups.begin(), U.Fixups.end(), static_cast<uint32_t>(P.MemOfs),
                               [](const TFixupRec& F, uint32_t Ofs) { return F.FixupOfs < Ofs; });
    for (; It != U.Fixups.end() && It->FixupOfs < uint32_t(P.MemOfs) + P.CodeSize; ++It) {
      auto* Imp = RecCast<TImpDef>(U.GetDecl(It->FixupDecl));
      if (!Imp || RecCast<TImpTypeDefRec>(Imp) || Imp->UnitIndex < 0 ||
          static_cast<size_t>(Imp->UnitIndex) >= U.UsedUnits.size())
        continue;
      const TUsedUnitRec& Dll = *U.UsedUnits[static_cast<size_t>(Imp->UnitIndex)];
      if (Dll.UseKind != DllImports) continue;
      E.SetMore().ExternalDll = DeclDisplayText(NameView(Dll.NamePos));
      E.SetMore().ExternalName = DeclDisplayText(NameView(Imp->GetName()));
      break;
    }
  }
  for (TDCURec* R = P.Locals; R; R = R->Next) {
    auto* L = RecCast<TLocalDecl>(R);
    if (!L || TagAt(L->DefPos) != tagLocal || IsCompilerName(NameView(L->GetName()))) continue;
    TDeclParam& V = E.SetMore().Locals.emplace_back();
    V.Name = DeclDisplayName(NameView(L->GetName()));
    V.Type = TypeRef(L->TypeIndex);
  }
}

TDeclOutline BuildDeclOutline(const TUnit& U) { return BuildDeclOutline(U, TDeclOutlineOptions()); }

// An outline in an arena of its own: the builder, its caches among what it
// makes, lives in the arena too.
TDeclOutline BuildDeclOutline(const TUnit& U, const TDeclOutlineOptions& Options) {
  if (!Options.OwnArena) return TOutlineBuilder(U, Options.KeepSpans, Options.NamesOnly, Options.Used).Build();
  auto Memory = std::make_unique<TDeclArena>();
  TDeclOutline O;
  {
    const TDeclArenaScope Scope(Memory.get());
    O = TOutlineBuilder(U, Options.KeepSpans, Options.NamesOnly, Options.Used).Build();
  }
  O.Memory = std::move(Memory);
  return O;
}
