// Units for folder report tests (see FolderUnits.h).
#include "FolderUnits.h"

#include <cstdint>

#include "UnitBuilder.h"

namespace unitbuilder {

std::vector<uint8_t> FolderUnit(const std::string& Name, int Version, const std::vector<TUseSpec>& Uses,
                                const std::vector<TDeclSpec>& Decls) {
  UnitBuilder B(Version);
  B.Header().SourceFile(Name + ".pas");
  for (const TUseSpec& U : Uses) {
    B.Uses(U.List, U.Unit);
    for (const TImportSpec& I : U.Names) {
      if (I.Kind == 'T')
        B.ImpType(I.Name, I.Stamp);
      else if (I.Kind == 'n')
        B.ImpTypeDef(I.Name, 0, I.Stamp);
      else
        B.ImpAddr(I.Name, I.Stamp);
    }
    B.EndEntry();
  }
  B.DataBlock(0).TrivialFixups();
  for (const TDeclSpec& D : Decls) {
    if (D.Stamped)
      B.FHead(0x20, D.Name, 0x40, D.Stamp).PackedUInt(0).PackedUInt(0);  // variable of type 0
    else
      B.Byte(0x29).Name(D.Name).PackedUInt(1).PackedInt(0);  // built-in routine
  }
  B.Stop();
  return B.Finish();
}

std::vector<uint8_t> MembersUnit(const std::string& Name, const std::string& ClassName,
                                 const std::vector<TUseSpec>& Uses) {
  UnitBuilder B(7);
  B.Header().SourceFile(Name + ".pas");
  B.Uses(0x64, "System").ImpType("Integer").EndEntry();  // type 1
  for (const TUseSpec& U : Uses) {
    B.Uses(U.List, U.Unit);
    for (const TImportSpec& I : U.Names) B.ImpAddr(I.Name, I.Stamp);
    B.EndEntry();
  }
  // The class (2): no parent, no interfaces.
  B.TypeDefHead(0x46, 0, 8).PackedUInt(0).PackedUInt(0).PackedInt(8).PackedUInt(0).PackedUInt(0);
  B.PackedUInt(0).PackedUInt(0).Byte(0).PackedInt(0);
  B.Local(0x2C, "FCount", 1, 4);
  B.Byte(0x2D).Name("GetCount").PackedUInt(0).PackedUInt(0).PackedUInt(0).PackedUInt(0);
  B.Byte(0x2E).Name("Create").PackedUInt(0).PackedUInt(0).PackedUInt(0).PackedUInt(0);
  B.Byte(0x30).Name("Count").PackedInt(0).PackedUInt(1).PackedInt(0).PackedInt(INT32_MIN);
  B.PackedUInt(0).PackedUInt(0).PackedUInt(0).PackedInt(INT32_MIN);
  B.Stop().TypeDecl(ClassName, 2);
  // The record (3).
  B.TypeDefHead(0x4D).Byte(0).Local(0x2C, "X", 1).Local(0x2C, "Count", 1, 4).Stop().TypeDecl("TPoint", 3);
  B.VarDecl("Current", 2);
  B.ProcStart("Twice", 0x10, 0x40, 1).Local(0x21, "X", 1).Stop();
  B.ProcStart(ClassName + ".GetCount", 4, 0x40, 1).Local(0x21, "Self", 2).Stop();
  B.ProcStart("Helper", 4, 0).Stop();
  B.DataBlock(0).TrivialFixups().Stop();
  return B.Finish();
}

}  // namespace unitbuilder
