// Units for folder report tests (see FolderUnits.h).
#include "FolderUnits.h"

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

}  // namespace unitbuilder
