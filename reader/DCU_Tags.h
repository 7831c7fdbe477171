// The tag table of the unit file format. Every item of a unit file starts
// with a one-byte tag; this one list gives each tag its value, its name and
// the action the declaration-list reader takes for it. The tag constants
// and the dispatch table of ReadDeclList are both generated from it, so the
// format can be read from this single place.
#pragma once

#include <array>
#include <cstdint>

// What ReadDeclList does when it meets a tag inside a declaration list. The
// actions Local to ResString, Export and SetDeftInfo open a record, whose
// class the scope may decide (DeclRecKind, DCU_Stream.h).
enum class TTagAction : uint8_t {
  EndList,        // not part of a declaration list: the list ends here
  Local,          // 0x20: TLocalDecl in procedure/proc-type lists, TVarDecl elsewhere
  Param,          // TLocalDecl with the scope
  Absolute,       // TAbsVarDecl at the top level, TLocalDecl elsewhere
  Const,          // TConstDecl
  TypeP,          // TTypePDecl
  TypedConst,     // TVarCDecl
  Proc,           // TProcDecl, takes the pending embedded list
  SysProc,        // TSysProcDecl
  Type,           // TTypeDecl
  Label,          // TLabelDecl
  Method,         // TMethodDecl with the scope
  Property,       // TDispPropDecl in dispatch interfaces, TPropDecl elsewhere
  ThreadVar,      // TThreadVarDecl
  ResString,      // TResStrDef
  SkipDecl,       // versions 7..99: a skipped named item
  TypeDef,        // a type definition, registered in TypeTable, not linked
  Export,         // TExportDecl
  Embedded,       // an embedded declaration list
  EmbeddedStop,   // ends an embedded list; passed over in procedure lists (V > 3)
  DataBlock,      // the unit's data block (top level only)
  Fixups,         // fixup table
  CallConv,       // calling-convention marker, passed over
  CodeLines,      // code-line table
  LineRanges,     // line-range table
  SkipFiveTable,  // table of five-value entries, skipped
  SkipNestedTable,// nested table, skipped
  LocalVars,      // local-variable table
  SetDeftInfo,    // TSetDeftInfo
  SkipRecord4,    // versions 7..99 and 103: four skipped values
  FirstProcFlag,  // versions 7..99, top level: first-procedure flag
};

// X(name, value, action)
#define UNITPEEK_TAG_TABLE(X)                            \
  X(tagHeaderLong, 0x0F, EndList)                        \
  X(tagLocal, 0x20, Local)                               \
  X(tagValParam, 0x21, Param)                            \
  X(tagVarParam, 0x22, Param)                            \
  X(tagResult, 0x23, Param)                              \
  X(tagAbsolute, 0x24, Absolute)                         \
  X(tagConst, 0x25, Const)                               \
  X(tagTypeP, 0x26, TypeP)                               \
  X(tagTypedConst, 0x27, TypedConst)                     \
  X(tagProc, 0x28, Proc)                                 \
  X(tagSysProc, 0x29, SysProc)                           \
  X(tagType, 0x2A, Type)                                 \
  X(tagLabel, 0x2B, Label)                               \
  X(tagField, 0x2C, Param)                               \
  X(tagMethod, 0x2D, Method)                             \
  X(tagConstructor, 0x2E, Method)                        \
  X(tagDestructor, 0x2F, Method)                         \
  X(tagProperty, 0x30, Property)                         \
  X(tagThreadVar, 0x31, ThreadVar)                       \
  X(tagResString, 0x32, ResString)                       \
  X(tagSkipDecl, 0x34, SkipDecl)                         \
  X(tagDefVoid, 0x40, TypeDef)                           \
  X(tagDefBool, 0x41, TypeDef)                           \
  X(tagDefChar, 0x42, TypeDef)                           \
  X(tagDefEnum, 0x43, TypeDef)                           \
  X(tagDefRange, 0x44, TypeDef)                          \
  X(tagDefPtr, 0x45, TypeDef)                            \
  X(tagDefClass, 0x46, TypeDef)                          \
  X(tagDefObjVMT, 0x47, TypeDef)                         \
  X(tagDefProcType, 0x48, TypeDef)                       \
  X(tagDefFloat, 0x49, TypeDef)                          \
  X(tagDefSet, 0x4A, TypeDef)                            \
  X(tagDefShortStr, 0x4B, TypeDef)                       \
  X(tagDefArray, 0x4C, TypeDef)                          \
  X(tagDefRecord, 0x4D, TypeDef)                         \
  X(tagDefObject, 0x4E, TypeDef)                         \
  X(tagDefFile, 0x4F, TypeDef)                           \
  X(tagDefText, 0x50, TypeDef)                           \
  X(tagDefWideChar, 0x51, TypeDef)                       \
  X(tagDefStringR, 0x52, TypeDef)                        \
  X(tagDefVariant, 0x53, TypeDef)                        \
  X(tagDefInterface, 0x54, TypeDef)                      \
  X(tagDefStringU, 0x55, TypeDef)                        \
  X(tagDefRangeV, 0x56, TypeDef)                         \
  X(tagStop, 0x63, EndList)                              \
  X(tagUsesIntf, 0x64, EndList)                          \
  X(tagUsesImpl, 0x65, EndList)                          \
  X(tagImpType, 0x66, EndList)                           \
  X(tagImpAddr, 0x67, EndList)                           \
  X(tagUsesDLL, 0x68, EndList)                           \
  X(tagExport, 0x69, Export)                             \
  X(tagEmbedded, 0x6A, Embedded)                         \
  X(tagEmbeddedStop, 0x6B, EmbeddedStop)                 \
  X(tagDataBlock, 0x6C, DataBlock)                       \
  X(tagFixups, 0x6D, Fixups)                             \
  X(tagImpTypeDef, 0x6E, EndList)                        \
  X(tagSrcFile, 0x70, EndList)                           \
  X(tagObjFile, 0x71, EndList)                           \
  X(tagResFile, 0x72, EndList)                           \
  X(tagAsmFile, 0x73, EndList)                           \
  X(tagCdecl, 0x81, CallConv)                            \
  X(tagPascal, 0x82, CallConv)                           \
  X(tagStdcall, 0x83, CallConv)                          \
  X(tagSafecall, 0x84, CallConv)                         \
  X(tagCodeLines, 0x90, CodeLines)                       \
  X(tagLineRanges, 0x91, LineRanges)                     \
  X(tagSkipFiveTable, 0x92, SkipFiveTable)               \
  X(tagSkipNestedTable, 0x93, SkipNestedTable)           \
  X(tagLocalVars, 0x94, LocalVars)                       \
  X(tagHeaderExtra, 0x96, EndList)                       \
  X(tagSetDeftInfo, 0x9A, SetDeftInfo)                   \
  X(tagSkipRecord4, 0x9C, SkipRecord4)                   \
  X(tagFirstProcFlag, 0x9E, FirstProcFlag)

#define UNITPEEK_TAG_CONST(Name, Value, Action) inline constexpr uint8_t Name = Value;
UNITPEEK_TAG_TABLE(UNITPEEK_TAG_CONST)
#undef UNITPEEK_TAG_CONST

// The dispatch of declaration lists covers the tags from tagFirstListTag to
// tagLastListTag; every byte outside that range ends a list without a lookup.
inline constexpr uint8_t tagFirstListTag = 0x20;
inline constexpr uint8_t tagLastListTag = 0x9E;

// Which kind of list ReadDeclList is reading.
enum TDeclScope : uint8_t {
  dsUnit = 0,
  dsProcLocals = 2,
  dsProcTypeParams = 3,
  dsEmbedded = 4,
  dsRecord = 5,
  dsClass = 6,
  dsInterface = 7,
  dsDispInterface = 8,
};

// The list action of every byte value (EndList for a byte that is no tag of
// the format).
inline constexpr std::array<TTagAction, 256> TagActionTable = [] {
  std::array<TTagAction, 256> T{};
  T.fill(TTagAction::EndList);
#define UNITPEEK_TAG_ACTION(Name, Value, Action) T[Value] = TTagAction::Action;
  UNITPEEK_TAG_TABLE(UNITPEEK_TAG_ACTION)
#undef UNITPEEK_TAG_ACTION
  return T;
}();

// Action of a tag inside a declaration list.
constexpr TTagAction TagAction(uint8_t Tag) {
  if (Tag < tagFirstListTag || Tag > tagLastListTag) return TTagAction::EndList;
  return TagActionTable[Tag];
}
