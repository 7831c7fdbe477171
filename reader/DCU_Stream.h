// Which record a tag opens in a declaration list: the rule of the record
// factory of ReadDeclList (DCU_Stream.cpp). A tag of a record action opens
// a record in a list of any scope; the scope decides the class for locals,
// absolute variables and properties.
#pragma once

#include <array>
#include <cstddef>

#include "DCURecKinds.h"
#include "DCU_Tags.h"

// Stands for "no record": the tag opens a type definition, a table, a
// skipped item, or ends the list.
inline constexpr TRecKind NoRecord = static_cast<TRecKind>(RecKindCount);

// The kind of record that a tag of Action opens in a list of Scope.
constexpr TRecKind DeclRecKind(TTagAction Action, TDeclScope Scope) {
  const bool ProcList = Scope == dsProcLocals || Scope == dsProcTypeParams;
  switch (Action) {
    case TTagAction::Local: return ProcList ? TRecKind::LocalDecl : TRecKind::VarDecl;
    case TTagAction::Param: return TRecKind::LocalDecl;
    case TTagAction::Absolute: return Scope == dsUnit ? TRecKind::AbsVarDecl : TRecKind::LocalDecl;
    case TTagAction::Const: return TRecKind::ConstDecl;
    case TTagAction::TypeP: return TRecKind::TypePDecl;
    case TTagAction::TypedConst: return TRecKind::VarCDecl;
    case TTagAction::Proc: return TRecKind::ProcDecl;
    case TTagAction::SysProc: return TRecKind::SysProcDecl;
    case TTagAction::Type: return TRecKind::TypeDecl;
    case TTagAction::Label: return TRecKind::LabelDecl;
    case TTagAction::Method: return TRecKind::MethodDecl;
    case TTagAction::Property: return Scope == dsDispInterface ? TRecKind::DispPropDecl : TRecKind::PropDecl;
    case TTagAction::ThreadVar: return TRecKind::ThreadVarDecl;
    case TTagAction::ResString: return TRecKind::ResStrDef;
    case TTagAction::Export: return TRecKind::ExportDecl;
    case TTagAction::SetDeftInfo: return TRecKind::SetDeftInfo;
    default: return NoRecord;
  }
}

// DeclRecKind of every tag byte, a row per scope: one look-up per item of a
// list.
inline constexpr auto DeclRecTable = [] {
  std::array<std::array<TRecKind, 256>, dsDispInterface + 1> T{};
  for (size_t S = 0; S < T.size(); ++S)
    for (size_t Tag = 0; Tag < 256; ++Tag)
      T[S][Tag] = DeclRecKind(TagAction(static_cast<uint8_t>(Tag)), static_cast<TDeclScope>(S));
  return T;
}();
