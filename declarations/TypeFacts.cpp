// Taking a unit's type facts (see TypeFacts.h).
#include "TypeFacts.h"

#include <algorithm>

#include "DCURecs.h"
#include "DCU_Text.h"
#include "DCU_TextRules.h"
#include "DCU_Unit.h"
#include "TypeViews.h"

namespace {

// Most names of one enumeration taken (a damaged file may claim more).
constexpr int64_t MaxEnumNames = 1 << 16;

class TFactTaker {
 public:
  TFactTaker(const TUnit& U, TUnitTypes& Out) : U(U), Ty(U, nullptr), Out(Out), Memo(U.TypeTable.size() + 1, -1) {}

  TTypeLink Take(uint32_t N, int Depth = 0) {
    const TBaseDef* D = U.GetTypeDef(N);
    if (!D) return {};
    if (auto* I = RecCast<TImpTypeDefRec>(D)) return Imported(I->OwnerUnit, I->TypeName);
    if (auto* I = RecCast<TImpDef>(D)) return I->Kind == 'T' ? Imported(I->UnitIndex, I->Name) : TTypeLink();
    if (N < Memo.size() && Memo[N] >= 0) return {Memo[N], {}, {}};
    if (N >= Memo.size() || Depth > MaxTypeDepth) return {};
    const auto Index = static_cast<int32_t>(Out.Types.size());
    Memo[N] = Index;
    Out.Types.emplace_back();
    TTypeFact F = Fact(N, D, Depth);
    Out.Types[static_cast<size_t>(Index)] = std::move(F);
    return {Index, {}, {}};
  }

 private:
  const TUnit& U;
  const TTypeViews Ty;
  TUnitTypes& Out;
  std::vector<int32_t> Memo;  // by type number: the index taken, or -1

  TTypeLink Imported(int32_t UnitNo, TPos Name) const {
    TTypeLink L;
    if (UnitNo >= 0 && static_cast<size_t>(UnitNo) < U.UsedUnits.size())
      L.Unit = std::string(NameView(U.UsedUnits[static_cast<size_t>(UnitNo)]->NamePos));
    L.Name = std::string(NameView(Name));
    return L;
  }

  TTypeFact Fact(uint32_t N, const TBaseDef* D, int Depth) {
    const TView V = Ty.Of(N);
    TTypeFact F;
    static_cast<TTypeBasics&>(F) = V;
    if (V.Shape == TShape::Enum)
      for (int64_t I = 0; I < MaxEnumNames; ++I) {
        const std::optional<std::string_view> Name = Ty.EnumName(V, I);
        if (!Name) break;
        F.EnumNames.emplace_back(*Name);
      }
    if (auto* S = RecCast<TSetDef>(D)) {
      F.SetFirst = Ty.SetFirst(V);
      F.Base = Take(S->BaseType, Depth + 1);
    } else if (auto* A = RecCast<TArrayDef>(D)) {
      F.Index = Take(A->IndexType, Depth + 1);
      F.Elem = Take(A->ElemType, Depth + 1);
    } else if (auto* R = RecCast<TRecBaseDef>(D)) {
      Members(R, V.Shape == TShape::Record, F, Depth);
    } else if (auto* G = RecCast<TRangeBaseDef>(D); G && V.Shape == TShape::Int && G->BaseType && U.GetTypeDef(G->BaseType) != D) {
      // A subrange of another unit's type (an enumeration there): its base,
      // which that unit tells.
      F.Base = Take(G->BaseType, Depth + 1);
    }
    return F;
  }

  // A record's fields; a class's ancestor and properties.
  void Members(const TRecBaseDef* R, bool Record, TTypeFact& F, int Depth) {
    if (auto* C = RecCast<TClassDef>(R)) F.Parent = Take(C->ParentType, Depth + 1);
    else if (auto* O = RecCast<TObjDef>(R)) F.Parent = Take(O->ParentType, Depth + 1);
    for (const TDCURec* M = R->Fields; M; M = M->Next) {
      if (auto* L = RecCast<TLocalDecl>(M); L && Record && *L->DefPos == tagField)
        F.Fields.push_back({std::string(NameView(L->GetName())), L->Ofs, Take(L->TypeIndex, Depth + 1)});
      else if (auto* P = RecCast<TPropDecl>(M); P && !Record)
        F.Props.push_back({std::string(NameView(P->GetName())), P->TypeIndex ? Take(P->TypeIndex, Depth + 1) : TTypeLink()});
    }
  }
};

}  // namespace

const TTypeFact* TUnitTypes::Find(std::string_view Name) const {
  auto It = Names.find(LowerName(Name));
  return It == Names.end() ? nullptr : &Types[static_cast<size_t>(It->second)];
}

bool TUnitTypes::Declares(std::string_view Name) const { return Declared.count(LowerName(Name)) != 0; }

TUnitTypes TakeUnitTypes(const TUnit& U) {
  TUnitTypes Out;
  Out.Unit = U.UnitName;
  Out.Version = U.Version;
  // Room for every type of the unit: the facts are large, and moving them
  // as the table grows costs more than taking them.
  Out.Types.reserve(U.TypeTable.size() + 1);
  TFactTaker Taker(U, Out);
  for (const TDCURec* R = U.Decls; R; R = R->Next) {
    auto* D = RecCast<TNameDecl>(R);
    const std::string_view Name = D ? NameView(D->GetName()) : std::string_view();
    if (Name.empty() || Name[0] == '.' || Name[0] == '@') continue;
    Out.Declared.insert(LowerName(Name));
    auto* T = RecCast<TTypeDecl>(R);
    if (!T) continue;
    TTypeLink L = Taker.Take(T->TypeIndex);
    if (L.Index < 0 && !L.Name.empty()) {
      // Another name of a type of another unit (GLfloat = Single).
      TTypeFact Alias;
      Alias.Alias = std::move(L);
      L = {static_cast<int32_t>(Out.Types.size()), {}, {}};
      Out.Types.push_back(std::move(Alias));
    }
    // The first declaration of a name counts (the interface's comes first).
    if (L.Index >= 0) Out.Names.emplace(LowerName(Name), L.Index);
  }
  return Out;
}
