// Visibility and method directives of members (see DeclMemberFacts.h).
#include "DeclMemberFacts.h"


#include "DCURecs.h"
#include "DeclValues.h"
#include "DCU_Unit.h"

namespace {

constexpr uint32_t ClassMethodBit = 0x01;
constexpr uint32_t VisibilityBits = 0x0E;
constexpr uint32_t OverrideBit = 0x20;
constexpr uint32_t VirtualBit = 0x40;
constexpr uint32_t DynamicBit = 0x80;
constexpr uint32_t DeprecatedBit = 0x200;
constexpr uint32_t PlatformBit = 0x400;
// In the flag word of the routine that implements a method.
constexpr uint32_t AbstractRoutineBit = 0x40;
constexpr uint32_t OverloadRoutineBit = 0x1000;
// With the overload bit: an ancestor has methods of that name too. An
// override of such a method carries both bits although its source states
// no overload.
constexpr uint32_t InheritedOverloadBit = 0x2000;

// A stored procedure name without a body part (the rule of the reader,
// taken with this unit's version).
bool NoBodyName(const uint8_t* Name, int32_t V) {
  const uint8_t Len = Name[0];
  if (Len == 0 || (Len == 1 && Name[1] == '.')) return true;
  if (V >= 6 && V < 100 && Len == 2 && Name[1] == '.' && Name[2] == '.') return true;
  return IsFurtherFormat(V) && Name[1] == '.';
}

bool IsClassLike(const TRecBaseDef* Owner) {
  return RecCast<TClassDef>(Owner) != nullptr || RecCast<TObjDef>(Owner) != nullptr;
}

TVisibility VisibilityOf(uint32_t Flags) {
  switch (Flags & VisibilityBits) {
    case 0x00: return TVisibility::Private;
    case 0x04: return TVisibility::Protected;
    case 0x02: return TVisibility::Public;
    case 0x0A: return TVisibility::Published;
    default: return TVisibility::Unknown;
  }
}

}  // namespace

std::optional<uint32_t> RoutineFlags(const TUnit& U, const TProcDecl& P) {
  if (U.Version <= 2 || !P.DefPos || !U.Image) return std::nullopt;
  const uint8_t* Image = U.Image.get();
  const uint8_t* End = Image + U.ImageSize;
  const uint8_t* At = P.DefPos;
  if (At < Image || At + 2 > End) return std::nullopt;
  const uint8_t* Name = At + 1;
  if (End - Name <= Name[0]) return std::nullopt;
  if (NoBodyName(Name, U.Version)) return std::nullopt;
  At = Name + 1 + Name[0];
  // Flags (and the stamp after them), procedure info, code size, flag word.
  int64_t Flags = 0, Skipped = 0, Result = 0;
  if (!ReadPackedAt(At, End, U.Version, false, Flags)) return std::nullopt;
  if (Flags & IsInterfaceFlag) {
    if (End - At < 4) return std::nullopt;
    At += 4;
  }
  if (!ReadPackedAt(At, End, U.Version, false, Skipped) || !ReadPackedAt(At, End, U.Version, false, Skipped) ||
      !ReadPackedAt(At, End, U.Version, false, Result))
    return std::nullopt;
  return static_cast<uint32_t>(Result);
}

TMemberFacts MemberFacts(const TUnit& U, const TNameDecl& M, const TRecBaseDef* Owner) {
  TMemberFacts F;
  const TLocalDecl* L = RecCast<TLocalDecl>(&M);
  const TPropDecl* P = RecCast<TPropDecl>(&M);
  if (L)
    F.Flags = L->Flags;
  else if (P)
    F.Flags = static_cast<uint32_t>(P->Flags);
  else
    return F;
  // Members of records and interfaces are all public; the file marks them
  // so, and no source gives them a section.
  if (!Owner || IsClassLike(Owner)) F.Visibility = VisibilityOf(F.Flags);
  F.Deprecated = (F.Flags & DeprecatedBit) != 0;
  F.Platform = (F.Flags & PlatformBit) != 0;
  if (P) {
    F.DefaultProperty = (F.Flags & OverrideBit) != 0;
    return F;
  }
  // Interface methods carry the virtual bit and their slot; the binding
  // is no directive there.
  auto* Me = RecCast<TMethodDecl>(&M);
  if (!Me || Me->InInterface || RecCast<TInterfaceDef>(Owner)) return F;
  F.ClassMethod = (F.Flags & ClassMethodBit) != 0;
  const uint32_t Bind = F.Flags & (VirtualBit | DynamicBit);
  if (Bind == (VirtualBit | DynamicBit)) {
    F.Binding = TBinding::Message;
    // Message numbers are kept as 16-bit values sign-extended into the
    // packed number's width.
    F.Message = Me->TypeIndex & 0xFFFF;
  } else if (Bind) {
    F.Binding = Bind == VirtualBit ? TBinding::Virtual : TBinding::Dynamic;
    F.Override = (F.Flags & OverrideBit) != 0;
    F.Slot = Me->TypeIndex;
  }
  if (!Me->InInterface && Me->Ofs > 0) {
    auto* R = RecCast<TProcDecl>(U.GetDecl(static_cast<uint32_t>(Me->Ofs)));
    if (std::optional<uint32_t> RF = R ? RoutineFlags(U, *R) : std::nullopt) {
      F.Abstract = (*RF & AbstractRoutineBit) != 0;
      F.Overload = (*RF & OverloadRoutineBit) != 0 && !(F.Override && (*RF & InheritedOverloadBit));
    }
  }
  return F;
}

std::vector<std::string> TMemberFacts::Directives() const {
  std::vector<std::string> D;
  if (Overload) D.emplace_back("overload");
  switch (Binding) {
    case TBinding::Static: break;
    case TBinding::Virtual: D.emplace_back(Override ? "override" : "virtual"); break;
    case TBinding::Dynamic: D.emplace_back(Override ? "override" : "dynamic"); break;
    case TBinding::Message: D.emplace_back("message " + std::to_string(Message)); break;
  }
  if (Abstract) D.emplace_back("abstract");
  if (Deprecated) D.emplace_back("deprecated");
  if (Platform) D.emplace_back("platform");
  return D;
}

std::string_view VisibilityName(TVisibility V) {
  switch (V) {
    case TVisibility::Private: return "private";
    case TVisibility::Protected: return "protected";
    case TVisibility::Public: return "public";
    case TVisibility::Published: return "published";
    default: return {};
  }
}
