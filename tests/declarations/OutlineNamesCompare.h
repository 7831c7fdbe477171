// Comparing the outline by names alone with the whole outline of the same
// unit (the tests of TDeclOutlineOptions::NamesOnly).
#pragma once

#include <string>

#include "DeclOutline.h"

namespace outlinetest {

// Differences between the two outlines, as text; empty when they agree.
inline std::string CompareNamesOnly(const TDeclOutline& Whole, const TDeclOutline& Names) {
  std::string Out;
  auto Differ = [&](const std::string& Where) { Out += Where + "\n"; };
  for (int S = 0; S < 2; ++S) {
    const TDeclSection& A = S ? Whole.Implementation : Whole.Interface;
    const TDeclSection& B = S ? Names.Implementation : Names.Interface;
    if (A.Blocks.size() != B.Blocks.size()) {
      Differ("blocks of section " + std::to_string(S));
      continue;
    }
    for (size_t K = 0; K < A.Blocks.size(); ++K) {
      const TDeclBlock& BA = A.Blocks[K];
      const TDeclBlock& BB = B.Blocks[K];
      if (BA.Kind != BB.Kind || BA.Entries.size() != BB.Entries.size()) {
        Differ("block " + std::to_string(K));
        continue;
      }
      for (size_t E = 0; E < BA.Entries.size(); ++E) {
        const TDeclEntry& EA = BA.Entries[E];
        const TDeclEntry& EB = BB.Entries[E];
        if (EA.Kind != EB.Kind || EA.Name != EB.Name || EA.Offset != EB.Offset || EA.TypeKind != EB.TypeKind ||
            EA.SystemProc != EB.SystemProc || EA.Typed != EB.Typed || EA.Absolute != EB.Absolute ||
            EA.Members.size() != EB.Members.size()) {
          Differ("entry " + EA.Name);
          continue;
        }
        for (size_t M = 0; M < EA.Members.size(); ++M)
          if (EA.Members[M].Kind != EB.Members[M].Kind || EA.Members[M].Name != EB.Members[M].Name ||
              EA.Members[M].Offset != EB.Members[M].Offset)
            Differ("member " + EA.Name + "." + EA.Members[M].Name);
        // Names only: no texts.
        if (!EB.Type.Empty() || !EB.Value().Empty() || !EB.Routine().Params.empty()) Differ("texts of " + EB.Name);
      }
    }
  }
  return Out;
}

}  // namespace outlinetest
