// The outline by names alone (TDeclOutlineOptions::NamesOnly): each entry
// with its kind, name and offset, a type with the kind of its definition
// and its members, a routine as procedure or function; no texts. The
// entries are placed by Build as in the whole outline.
#include "DeclBuilder.h"

void TOutlineBuilder::NameEntry(TNameDecl* D, TDeclKind Kind, TDeclEntry& E) {
  E.Kind = Kind;
  E.Name = DeclDisplayName(NameView(D->GetName()));
  E.Offset = OffsetOf(U, D->DefPos);
  if (auto* T = RecCast<TTypeDecl>(D)) {
    const TBaseDef* Def = U.GetTypeDef(T->TypeIndex);
    if (!Def || !RecCast<TTypeDef>(Def)) {
      E.TypeKind = Def ? TDeclTypeKind::Alias : TDeclTypeKind::Unknown;
      return;
    }
    E.TypeKind = TypeKindOf(Def);
    if (auto* RB = RecCast<TRecBaseDef>(Def); RB && !RecCast<TProcTypeDef>(Def)) Members(*RB, E.Members);
  } else if (auto* P = RecCast<TProcDecl>(D)) {
    E.Kind = ReturnsValue(P->ResultType) ? TDeclKind::Function : TDeclKind::Procedure;
  } else if (RecCast<TSysProcDecl>(D)) {
    E.SystemProc = true;
  } else if (RecCast<TVarCDecl>(D) && !RecCast<TResStrDef>(D)) {
    E.Typed = true;
  } else if (RecCast<TAbsVarDecl>(D)) {
    E.Absolute = true;
  }
}

// The kinds WriteStructure and the functions it calls answer, without the text.
TDeclTypeKind TOutlineBuilder::TypeKindOf(const TBaseDef* D) const {
  using K = TDeclTypeKind;
  switch (D ? D->RecKind() : TRecKind::BaseDef) {
    case TRecKind::EnumDef: return static_cast<const TEnumDef*>(D)->NameList ? K::Enum : K::Subrange;
    case TRecKind::RangeDef: return K::Subrange;
    case TRecKind::FloatDef: return K::Float;
    case TRecKind::PtrDef: {
      // A dynamic array (see WriteStructure).
      const uint32_t Base = static_cast<const TPtrDef*>(D)->BaseType;
      return DefName(U.GetTypeDef(Base)).empty() && OpenArrayOf(Base) ? K::Array : K::Pointer;
    }
    case TRecKind::TextDef:
    case TRecKind::FileDef: return K::File;
    case TRecKind::SetDef: return K::Set;
    case TRecKind::ShortStrDef: return K::String;
    case TRecKind::StringDef: return TagAt(D->DefPos) == tagDefStringU ? K::String : K::Array;
    case TRecKind::ArrayDef: return K::Array;
    case TRecKind::VariantDef: return K::Variant;
    case TRecKind::ObjVMTDef: return K::ClassRef;
    case TRecKind::VoidDef: return K::Void;
    case TRecKind::ProcTypeDef: return K::ProcType;
    case TRecKind::RecDef: return K::Record;
    case TRecKind::ObjDef: return K::Object;
    case TRecKind::ClassDef: return K::Class;
    case TRecKind::InterfaceDef:
      return static_cast<const TInterfaceDef*>(D)->IsDispInterface() ? K::DispInterface : K::Interface;
    default: return K::Unknown;
  }
}
