// Unit-level tables: the data block, fixups (which divide the data block
// among declarations), code lines, line ranges and local variables, and the
// slices of the local-variable table that belong to each procedure.
#include <algorithm>

#include "DCU_Cursor.h"
#include "DCU_Unit.h"
#include "DCURecs.h"

namespace {

// Room for a table of Count entries at once, each taking at least MinBytes
// of the file: a count beyond what the window holds fails while the entries
// are read and must not reserve memory first.
template <class T>
void ReserveEntries(std::vector<T>& Table, uint32_t Count, uint32_t MinBytes) {
  Table.reserve(static_cast<size_t>(std::min<uint64_t>(Count, WindowLeft() / MinBytes)));
}

}  // namespace

void TUnit::ReadDataBlock() {
  if (DataBlock) RaiseReadError("2nd Data block");
  DataSize = static_cast<int32_t>(GetPackedUInt());
  DataBlock = TakeBytes(DataSize);
}

void TUnit::ReadFixups() {
  if (!Fixups.empty()) RaiseReadError("2nd fixup");
  uint32_t N = GetPackedUInt();
  FixupCount = N;
  ReserveEntries(Fixups, N, 3);
  uint32_t Ofs = 0;
  {
    TReadCursor In;
    for (uint32_t I = 0; I < N; ++I) {
      Ofs += In.PackedUInt();
      if (In.LastHigh() != 0 || Ofs > static_cast<uint32_t>(DataSize)) {
        In.Sync();
        RaiseReadErrorFmt("Fixup offset 0x%x>Block size = 0x%x", {Ofs, DataSize});
      }
      TFixupRec F{};
      F.FixupOfs = Ofs & 0xFFFFFF;
      F.FixupKind = In.Byte();
      F.FixupDecl = In.PackedUInt();
      Fixups.push_back(F);
    }
  }
  int32_t PendingDecl = 0;
  int32_t PendingOfs = 0;
  for (const TFixupRec& F : Fixups) {
    if (F.FixupKind != BlockFixupKindA && F.FixupKind != BlockFixupKindB) continue;
    int32_t Ofs = static_cast<int32_t>(F.FixupOfs);
    if (PendingDecl > 0) AssignDeclMem(PendingDecl, PendingOfs, Ofs - PendingOfs);
    PendingDecl = static_cast<int32_t>(F.FixupDecl);
    PendingOfs = Ofs;
  }
}

void TUnit::ReadCodeLines() {
  if (!CodeLines.empty()) RaiseReadError("2nd Code Lines table");
  uint32_t N = GetPackedUInt();
  CodeLineCount = N;
  ReserveEntries(CodeLines, N, 2);
  uint32_t Line = 0;
  uint32_t Ofs = 0;
  TReadCursor In;
  for (uint32_t I = 0; I < N; ++I) {
    Line += static_cast<uint32_t>(In.PackedInt());
    Ofs += In.PackedUInt();
    if (In.LastHigh() != 0 || Ofs > static_cast<uint32_t>(DataSize)) {
      In.Sync();
      RaiseReadErrorFmt("Code line offset 0x%x>Block size = 0x%x", {Ofs, DataSize});
    }
    CodeLines.push_back(TCodeLineRec{Ofs, static_cast<int32_t>(Line)});
  }
}

void TUnit::ReadLineRanges() {
  if (!LineRanges.empty()) RaiseReadError("2nd Line Ranges table");
  uint32_t N = GetPackedUInt();
  LineRangeCount = N;
  uint32_t Total = 0;
  // The source files by number, made once: walking the chain for every
  // entry takes time quadratic in the file size on a unit with many source
  // files and many ranges.
  std::vector<const TSourceFileRec*> Files;
  if (N > 0)
    for (const TSourceFileRec* S = SourceFiles.get(); S; S = S->Next.get()) Files.push_back(S);
  ReserveEntries(LineRanges, N, 3);
  for (uint32_t I = 0; I < N; ++I) {
    TLineRangeRec R{};
    R.FirstLine = GetPackedUInt();
    R.LineCount = GetPackedUInt();
    R.LineBase = Total;
    Total += R.LineCount;
    uint32_t Num = GetPackedUInt();
    R.SrcFile = Num < Files.size() ? Files[Num] : nullptr;
    if (!R.SrcFile) RaiseReadErrorFmt("Source file number %d is out of range", {Num});
    LineRanges.push_back(R);
  }
}

void TUnit::ReadLocalVars() {
  if (!LocalVars.empty()) RaiseReadError("2nd Local Vars table");
  uint32_t N = GetPackedUInt();
  LocalVarCount = N;
  ReserveEntries(LocalVars, N, 3);
  TReadCursor In;
  for (uint32_t I = 0; I < N; ++I) {
    TLocalVarRec R{};
    R.VarDecl = In.PackedUInt();
    R.VarCodeOfs = In.PackedUInt();
    R.VarLocation = In.PackedInt();
    LocalVars.push_back(R);
  }
}

void TUnit::AttachLocalVars() {
  if (LocalVars.empty()) return;
  TProcDecl* Cur = nullptr;
  size_t S = 0;
  bool Skip = false;
  auto Close = [&](size_t K) {
    if (!Cur) return;
    Cur->LocalVarSlice = &LocalVars[S];
    Cur->LocalVarSliceLen = static_cast<int32_t>(K - S);
  };
  for (size_t I = 0; I < LocalVars.size(); ++I) {
    if (Skip) {
      Skip = false;
      continue;
    }
    uint32_t N = LocalVars[I].VarDecl;
    auto* P = N ? RecCast<TProcDecl>(GetDecl(N)) : nullptr;
    if (P) {
      Close(I);
      Cur = P;
      S = I;
      Skip = true;
    }
  }
  Close(LocalVars.size());
}

