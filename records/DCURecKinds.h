// The kinds of records, from one list of the record classes. Every record
// holds the kind of its own class in a byte (TDCURec::RecKind), given to it
// by the constructor of that class. The list follows the class tree,
// so each class stands for one closed range of kinds, those of its own
// records and of the classes below it, and "is a" is two comparisons (IsA,
// DCURecs.h). From the list come the kind constants, their names, the
// ranges of the classes and the checks that the list and the classes agree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

// The record classes, depth first: each class before the classes below it,
// and those before its next sibling. K(Kind, Class): a class whose records
// are of a kind of their own; G(Class): a class that only groups the classes
// below it.
#define UNITPEEK_RECORD_CLASSES(K, G) \
  G(TDCURec)                          \
  K(BaseDef, TBaseDef)                \
  K(ImpDef, TImpDef)                  \
  K(ImpTypeDef, TImpTypeDefRec)       \
  K(DLLImp, TDLLImpRec)               \
  G(TTypeDef)                         \
  G(TRangeBaseDef)                    \
  K(RangeDef, TRangeDef)              \
  K(EnumDef, TEnumDef)                \
  K(FloatDef, TFloatDef)              \
  K(PtrDef, TPtrDef)                  \
  K(TextDef, TTextDef)                \
  K(FileDef, TFileDef)                \
  K(SetDef, TSetDef)                  \
  K(ArrayDef, TArrayDef)              \
  K(ShortStrDef, TShortStrDef)        \
  K(StringDef, TStringDef)            \
  K(VariantDef, TVariantDef)          \
  K(ObjVMTDef, TObjVMTDef)            \
  K(VoidDef, TVoidDef)                \
  G(TRecBaseDef)                      \
  K(RecDef, TRecDef)                  \
  K(ProcTypeDef, TProcTypeDef)        \
  K(ObjDef, TObjDef)                  \
  K(ClassDef, TClassDef)              \
  K(InterfaceDef, TInterfaceDef)      \
  G(TNameDecl)                        \
  G(TNameFDecl)                       \
  K(TypeDecl, TTypeDecl)              \
  K(VarDecl, TVarDecl)                \
  K(AbsVarDecl, TAbsVarDecl)          \
  K(ThreadVarDecl, TThreadVarDecl)    \
  K(VarCDecl, TVarCDecl)              \
  K(TypePDecl, TTypePDecl)            \
  K(ResStrDef, TResStrDef)            \
  G(TConstDeclBase)                   \
  K(ConstDecl, TConstDecl)            \
  K(ProcDecl, TProcDecl)              \
  K(LabelDecl, TLabelDecl)            \
  K(ExportDecl, TExportDecl)          \
  K(SetDeftInfo, TSetDeftInfo)        \
  K(LocalDecl, TLocalDecl)            \
  K(MethodDecl, TMethodDecl)          \
  K(DispPropDecl, TDispPropDecl)      \
  K(PropDecl, TPropDecl)              \
  K(SysProcDecl, TSysProcDecl)

#define UNITPEEK_REC_NONE(Class)
#define UNITPEEK_REC_FORWARD_K(Kind, Class) class Class;
#define UNITPEEK_REC_FORWARD_G(Class) class Class;
UNITPEEK_RECORD_CLASSES(UNITPEEK_REC_FORWARD_K, UNITPEEK_REC_FORWARD_G)
#undef UNITPEEK_REC_FORWARD_K
#undef UNITPEEK_REC_FORWARD_G

// What a record is, in the order of the list.
enum class TRecKind : uint8_t {
#define UNITPEEK_REC_ENUM(Kind, Class) Kind,
  UNITPEEK_RECORD_CLASSES(UNITPEEK_REC_ENUM, UNITPEEK_REC_NONE)
#undef UNITPEEK_REC_ENUM
};

inline constexpr size_t RecKindCount = 0
#define UNITPEEK_REC_COUNT(Kind, Class) +1
    UNITPEEK_RECORD_CLASSES(UNITPEEK_REC_COUNT, UNITPEEK_REC_NONE)
#undef UNITPEEK_REC_COUNT
    ;

// Name of a kind ("VarDecl"); empty for a value that is no kind.
constexpr std::string_view RecKindName(TRecKind K) {
  constexpr std::array<std::string_view, RecKindCount> Names = {
#define UNITPEEK_REC_NAME(Kind, Class) #Kind,
      UNITPEEK_RECORD_CLASSES(UNITPEEK_REC_NAME, UNITPEEK_REC_NONE)
#undef UNITPEEK_REC_NAME
  };
  const auto I = static_cast<size_t>(K);
  return I < RecKindCount ? Names[I] : std::string_view();
}

// The class whose records are of kind K.
template <TRecKind K>
struct TRecKindClass;
#define UNITPEEK_REC_CLASS_OF(Kind, Class) \
  template <>                              \
  struct TRecKindClass<TRecKind::Kind> {   \
    using Type = Class;                    \
  };
UNITPEEK_RECORD_CLASSES(UNITPEEK_REC_CLASS_OF, UNITPEEK_REC_NONE)
#undef UNITPEEK_REC_CLASS_OF

// The kinds that class C stands for, taken from the classes themselves: a
// kind belongs to C when its class is C or a class below it. Used only once
// every record class is defined (DCURecs.h).
template <class C>
struct TRecKindRange {
  static constexpr std::array<bool, RecKindCount> Below = {
#define UNITPEEK_REC_BELOW(Kind, Class) std::is_base_of_v<C, Class>,
      UNITPEEK_RECORD_CLASSES(UNITPEEK_REC_BELOW, UNITPEEK_REC_NONE)
#undef UNITPEEK_REC_BELOW
  };
  static constexpr size_t FirstIndex = [] {
    size_t I = 0;
    while (I < RecKindCount && !Below[I]) ++I;
    return I;
  }();
  static constexpr size_t LastIndex = [] {
    size_t I = RecKindCount;
    while (I > 0 && !Below[I - 1]) --I;
    return I - 1;
  }();
  static_assert(FirstIndex < RecKindCount, "a record class without any kind below it");
  static constexpr TRecKind First = static_cast<TRecKind>(FirstIndex);
  static constexpr TRecKind Last = static_cast<TRecKind>(LastIndex);
  // No kind of another class lies between First and Last.
  static constexpr bool Closed = [] {
    for (size_t I = FirstIndex; I <= LastIndex; ++I)
      if (!Below[I]) return false;
    return true;
  }();
};

// In the body of a class whose records are of kind Kind: OwnKind, the kind
// that its constructors give their records. The class must be the one the
// list gives for Kind.
#define UNITPEEK_RECORD_KIND(Kind)                                                                   \
  static constexpr TRecKind OwnKind = TRecKind::Kind;                                                \
  void CheckOwnKind() const {                                                                        \
    static_assert(std::is_same_v<std::remove_cvref_t<decltype(*this)>, TRecKindClass<TRecKind::Kind>::Type>, \
                  "the list of record classes gives kind " #Kind " to another class");               \
  }

// A class that differs from its base only in the kind of its records; it
// takes the constructors of its base (those that take the kind first).
#define UNITPEEK_KIND_ONLY_CLASS(Kind, Class, Base)                   \
  class Class : public Base {                                        \
   public:                                                           \
    UNITPEEK_RECORD_KIND(Kind)                                       \
    template <class... TArgs>                                        \
    explicit Class(TArgs... Args) : Base(OwnKind, Args...) {}        \
  };
